#include "SheetLayout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <zyn/core/Log.h>

namespace FxView {

namespace {

// A 3 x 5 dot font: five rows of three bits, the high bit on the left.
struct Glyph {
    char c;
    Zyn::u8 rows[5];
};
const Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'s', {0, 3, 4, 1, 6}},
    {'-', {0, 0, 7, 0, 0}}, {' ', {0, 0, 0, 0, 0}},
};

const Zyn::u8 kLabelGrey = 200;
const Zyn::u8 kStripGrey = 24;

const Glyph* Find(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

}  // namespace

std::vector<int> SheetFrameIndices(int frameCount) {
    std::vector<int> out;
    if (frameCount <= 0) return out;
    const int count = std::min(frameCount, kSheetFrames);
    for (int j = 0; j < count; ++j) out.push_back(int((long(j) + 1) * frameCount / count) - 1);
    return out;
}

void TileSize(int w, int h, int& tileW, int& tileH) {
    tileW = w;
    tileH = h;
    if (w <= kMaxTileSide && h <= kMaxTileSide) return;
    // Scaled to fit the box; the longer side decides.
    if (w >= h) {
        tileW = kMaxTileSide;
        tileH = std::max(1, int(long(h) * kMaxTileSide / w));
    } else {
        tileH = kMaxTileSide;
        tileW = std::max(1, int(long(w) * kMaxTileSide / h));
    }
}

void DrawLabel(Zyn::ContactSheet& sheet, int x, int y, int maxX, int scale, const std::string& text) {
    const int advance = 4 * scale;
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (!g) continue;
        const int gx = x + int(i) * advance;
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 3; ++col) {
                if (!(g->rows[row] & (4 >> col))) continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx) {
                        const int px = gx + col * scale + dx;
                        const int py = y + row * scale + dy;
                        if (px < 0 || px >= maxX || px >= sheet.width || py < 0 || py >= sheet.height)
                            continue;
                        Zyn::u8* p = sheet.rgba.data() + (size_t(py) * size_t(sheet.width) + size_t(px)) * 4;
                        p[0] = p[1] = p[2] = kLabelGrey;
                        p[3] = 255;
                    }
                }
            }
        }
    }
}

bool BuildLabelledSheet(const std::vector<std::vector<Zyn::u8>>& frames, int w, int h,
                        const std::vector<std::string>& labels, Zyn::ContactSheet& sheet) {
    int tileW = 0, tileH = 0;
    TileSize(w, h, tileW, tileH);
    Zyn::ContactSheet tiles;
    if (!Zyn::BuildContactSheet(frames, w, h, kSheetColumns, tileW, tileH, tiles)) return false;
    const int rows = tiles.height / tileH;
    sheet.width = tiles.width;
    sheet.height = rows * (tileH + kLabelHeight);
    sheet.rgba.assign(size_t(sheet.width) * size_t(sheet.height) * 4, kStripGrey);
    for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
    const size_t rowBytes = size_t(tiles.width) * 4;
    for (int r = 0; r < rows; ++r) {
        for (int y = 0; y < tileH; ++y) {
            std::memcpy(sheet.rgba.data() + size_t(r * (tileH + kLabelHeight) + y) * rowBytes,
                        tiles.rgba.data() + size_t(r * tileH + y) * rowBytes, rowBytes);
        }
    }
    // Two dots a pixel where the tile leaves room for the widest label.
    const int scale = tileW >= 64 ? 2 : 1;
    for (size_t i = 0; i < labels.size() && i < frames.size(); ++i) {
        const int col = int(i % kSheetColumns);
        const int row = int(i / kSheetColumns);
        const int x = col * tileW + 3;
        const int y = row * (tileH + kLabelHeight) + tileH + (kLabelHeight - 5 * scale) / 2;
        DrawLabel(sheet, x, y, (col + 1) * tileW, scale, labels[i]);
    }
    return true;
}

TimedSheet::TimedSheet(int frameW, int frameH, double fps, int frameCount)
    : m_FrameW(frameW), m_FrameH(frameH), m_Fps(fps), m_Picked(SheetFrameIndices(frameCount)) {}

bool TimedSheet::Add(int index, const std::vector<Zyn::u8>& rgba) {
    if (m_Frames.size() >= m_Picked.size() || m_Picked[m_Frames.size()] != index) return true;
    m_Frames.push_back(rgba);
    char label[32];
    std::snprintf(label, sizeof label, "%.2f s", double(index + 1) / m_Fps);
    m_Labels.push_back(label);
    return true;
}

bool TimedSheet::Build(Zyn::ContactSheet& sheet) {
    return BuildLabelledSheet(m_Frames, m_FrameW, m_FrameH, m_Labels, sheet);
}

std::string TimedSheet::Describe() const {
    return std::to_string(m_Frames.size()) + " frames with their times";
}

}  // namespace FxView
