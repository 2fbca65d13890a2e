// The contact sheet of a preview run: which frames it shows, and the sheet
// itself, built from those frames with the time of each written beneath it.
#pragma once

#include <string>
#include <vector>

#include <zyn/graphics/image/ContactSheet.h>

namespace FxView {

/// At most this many frames go on the sheet, this many to a row.
constexpr int kSheetFrames = 16;
constexpr int kSheetColumns = 4;
/// A tile fits in a box of this many pixels a side, never enlarged.
constexpr int kMaxTileSide = 256;
/// Height of the strip under every row that holds the times.
constexpr int kLabelHeight = 14;

/// Indices of the frames on the sheet, evenly spread over frameCount frames
/// and ending with the last one; all of them when there are few.
std::vector<int> SheetFrameIndices(int frameCount);

/// Tile size of a frame of w x h pixels.
void TileSize(int w, int h, int& tileW, int& tileH);

/// Tiles the frames (each w x h RGBA) in rows of kSheetColumns and writes
/// labels[i] beneath tile i. False, logged, when the frames do not fit.
bool BuildLabelledSheet(const std::vector<std::vector<Zyn::u8>>& frames, int w, int h,
                        const std::vector<std::string>& labels, Zyn::ContactSheet& sheet);

/// Draws text (digits, '.', ' ', 's' and '-') into the sheet with its top-left
/// corner at (x, y), each glyph scale pixels per dot, clipped to [x, maxX).
void DrawLabel(Zyn::ContactSheet& sheet, int x, int y, int maxX, int scale, const std::string& text);

}  // namespace FxView
