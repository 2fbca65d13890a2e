// Rasterising a TrueType or OpenType font with FreeType into glyph art:
// antialiased coverage as the alpha of white pixels, placed and advanced by
// FreeType's metrics at one pixel size.
#pragma once

#include <string>
#include <vector>

#include "FontBuild.h"

namespace ZynFont {

/// Inclusive range of Unicode code points.
struct CodeRange {
    unsigned first = 0;
    unsigned last = 0;
};

/// Largest code point a range may name.
constexpr unsigned kMaxCodePoint = 0x10FFFF;

/// Parses a comma-separated list of ranges ("32-126,160-255,0x100-0x17F")
/// and single codes, decimal or 0x hexadecimal. False with the reason in error.
bool ParseRanges(const std::string& text, std::vector<CodeRange>& out, std::string& error);

/// What a rasterisation made of the requested codes.
struct RasterReport {
    int requested = 0;  // distinct codes named by the ranges
    int missing = 0;    // codes the font has no glyph for (left out)
    int failed = 0;     // glyphs FreeType could not render (left out)
};

/// Fills art's glyphs (ascending code order) and its metrics (space width,
/// line height, maxBearY) from the font file at pixelSize. Codes without a
/// glyph in the font are left out. False with the reason in error.
bool RasteriseFont(const std::string& path, unsigned pixelSize, const std::vector<CodeRange>& ranges,
                   FontArt& art, RasterReport& report, std::string& error);

}  // namespace ZynFont
