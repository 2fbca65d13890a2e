// The debug font's glyph art: our own 5 x 9 pixel design for the printable
// ASCII characters 33-126 (the space has no glyph; the font draws it as blank
// space). Rows 0-6 stand on the baseline, rows 7-8 hold the descenders.
#pragma once

namespace DebugFont {

constexpr int kFirstCode = 33;
constexpr int kLastCode = 126;
constexpr int kGlyphCount = kLastCode - kFirstCode + 1;
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 9;
/// Rows of a glyph above the baseline.
constexpr int kAscent = 7;

/// True when pixel (x, y) of the glyph of `code` is inked; false for codes
/// outside kFirstCode..kLastCode or pixels outside the glyph box.
bool IsInked(int code, int x, int y);

/// False (with the reason on stderr) when the art table is malformed.
bool CheckArt();

}  // namespace DebugFont
