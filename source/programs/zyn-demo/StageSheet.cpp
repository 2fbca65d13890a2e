#include "StageSheet.h"

#include <algorithm>

namespace Demo {

StageSheet::StageSheet(int frameW, int frameH) : m_FrameW(frameW), m_FrameH(frameH) {
    m_TileW = std::min(frameW, kMaxTileWidth);
    m_TileH = std::max(1, int((long(m_TileW) * frameH + frameW / 2) / std::max(1, frameW)));
}

std::vector<int> StageSheet::PickFrames(int n) {
    std::vector<int> picked;
    if (n <= kColumns) {
        for (int i = 0; i < n; ++i) picked.push_back(i);
        return picked;
    }
    // Evenly inside (0, n - 1): the first frame of a stage often still
    // shows the one before.
    for (int k = 1; k <= kColumns; ++k)
        picked.push_back(int((long(k) * (n - 1) * 2 + kColumns + 1) / (2 * (kColumns + 1))));
    return picked;
}

bool StageSheet::Add(int stage, const std::vector<Zyn::u8>& rgba) {
    if (stage != m_Stage) {
        CloseRow();
        m_Stage = stage;
    }
    Zyn::ContactSheet tile;
    if (!Zyn::BuildContactSheet({rgba}, m_FrameW, m_FrameH, 1, m_TileW, m_TileH, tile)) return false;
    m_Current.push_back(std::move(tile.rgba));
    return true;
}

void StageSheet::CloseRow() {
    if (m_Current.empty()) return;
    std::vector<std::vector<Zyn::u8>> row;
    for (int i : PickFrames(int(m_Current.size()))) row.push_back(m_Current[size_t(i)]);
    m_Rows.push_back(std::move(row));
    m_Current.clear();
}

bool StageSheet::Build(Zyn::ContactSheet& sheet) {
    CloseRow();
    // Short rows are padded with black tiles so that each stage starts a row.
    std::vector<std::vector<Zyn::u8>> tiles;
    std::vector<Zyn::u8> black(size_t(m_TileW) * size_t(m_TileH) * 4, 0);
    for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
    for (const auto& row : m_Rows) {
        for (int i = 0; i < kColumns; ++i) tiles.push_back(i < int(row.size()) ? row[size_t(i)] : black);
    }
    if (tiles.empty()) return false;
    return Zyn::BuildContactSheet(tiles, m_TileW, m_TileH, kColumns, m_TileW, m_TileH, sheet);
}

}  // namespace Demo
