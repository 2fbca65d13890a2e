// The contact sheet of a headless run: one row per stage of the demo, in the
// order the stages came, each row showing frames spread over that stage.
// Frames are offered one by one as they are rendered; only the reduced
// tiles of the current stage are kept.
#pragma once

#include <vector>

#include <zyn/graphics/image/ContactSheet.h>

namespace Demo {

class StageSheet {
public:
    /// Tiles of at most kMaxTileWidth pixels across, never enlarged.
    static constexpr int kColumns = 4;
    static constexpr int kMaxTileWidth = 256;

    StageSheet(int frameW, int frameH);

    /// Offers the next frame (frameW x frameH RGBA) and the stage it shows.
    /// False, logged, when it cannot be reduced.
    [[nodiscard]] bool Add(int stage, const std::vector<Zyn::u8>& rgba);
    /// The sheet of the rows so far, the current stage's included. False,
    /// logged, when it cannot be built (no frame yet, too large).
    [[nodiscard]] bool Build(Zyn::ContactSheet& sheet);

    /// Which of n frames of a stage fill its row: spread evenly inside the
    /// stage, its first and last frames left out when there are enough.
    static std::vector<int> PickFrames(int n);

    int GetTileWidth() const { return m_TileW; }
    int GetTileHeight() const { return m_TileH; }
    int GetRowCount() const { return int(m_Rows.size()) + (m_Current.empty() ? 0 : 1); }

private:
    void CloseRow();

    int m_FrameW, m_FrameH, m_TileW, m_TileH;
    int m_Stage = -1;
    std::vector<std::vector<Zyn::u8>> m_Current;            // tiles of the current stage
    std::vector<std::vector<std::vector<Zyn::u8>>> m_Rows;  // finished rows, kColumns tiles or fewer
};

}  // namespace Demo
