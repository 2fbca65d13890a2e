// The contact sheet of a preview run: which frames it shows, and the sheet
// itself, built from those frames with the time of each written beneath it.
#pragma once

#include <string>
#include <vector>

#include <zyn/graphics/image/ContactSheet.h>

#include "HeadlessRecorder.h"

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

/// The recorder's plan for this sheet: keeps the frames SheetFrameIndices
/// picks out of frameCount, each labelled with its time, (k + 1) / fps
/// seconds for frame k.
class TimedSheet : public ZynTool::SheetPlan {
public:
    TimedSheet(int frameW, int frameH, double fps, int frameCount);
    bool Add(int index, const std::vector<Zyn::u8>& rgba) override;
    bool Build(Zyn::ContactSheet& sheet) override;
    std::string Describe() const override;

private:
    int m_FrameW, m_FrameH;
    double m_Fps;
    std::vector<int> m_Picked;
    std::vector<std::vector<Zyn::u8>> m_Frames;  // the picked frames so far, whole
    std::vector<std::string> m_Labels;
};

}  // namespace FxView
