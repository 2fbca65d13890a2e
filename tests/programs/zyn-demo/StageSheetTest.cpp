// The headless contact sheet: one row per stage in the order they came,
// frames picked inside each stage, short rows padded with black.
#include <gtest/gtest.h>

#include <vector>

#include "StageSheet.h"

using Demo::StageSheet;

namespace {

std::vector<Zyn::u8> Solid(int w, int h, Zyn::u8 r, Zyn::u8 g, Zyn::u8 b) {
    std::vector<Zyn::u8> rgba(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = 255;
    }
    return rgba;
}

struct Rgb {
    int r, g, b;
};

Rgb TileCentre(const Zyn::ContactSheet& sheet, const StageSheet& s, int column, int row) {
    const int x = column * s.GetTileWidth() + s.GetTileWidth() / 2;
    const int y = row * s.GetTileHeight() + s.GetTileHeight() / 2;
    const size_t i = (size_t(y) * size_t(sheet.width) + size_t(x)) * 4;
    return {sheet.rgba[i], sheet.rgba[i + 1], sheet.rgba[i + 2]};
}

}  // namespace

TEST(StageSheet, PicksEveryFrameOfAShortStage) {
    EXPECT_EQ(StageSheet::PickFrames(0), std::vector<int>());
    EXPECT_EQ(StageSheet::PickFrames(3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(StageSheet::PickFrames(4), (std::vector<int>{0, 1, 2, 3}));
}

TEST(StageSheet, PicksFramesEvenlyInsideALongStage) {
    EXPECT_EQ(StageSheet::PickFrames(11), (std::vector<int>{2, 4, 6, 8}));
    const std::vector<int> picked = StageSheet::PickFrames(97);
    ASSERT_EQ(picked.size(), size_t(StageSheet::kColumns));
    EXPECT_GT(picked.front(), 0);
    EXPECT_LT(picked.back(), 96);
    for (size_t i = 1; i < picked.size(); ++i) EXPECT_GT(picked[i], picked[i - 1]);
}

TEST(StageSheet, ReducesWideFramesAndKeepsTheirShape) {
    StageSheet wide(1024, 768);
    EXPECT_EQ(wide.GetTileWidth(), StageSheet::kMaxTileWidth);
    EXPECT_EQ(wide.GetTileHeight(), 192);
    StageSheet small(100, 50);
    EXPECT_EQ(small.GetTileWidth(), 100);
    EXPECT_EQ(small.GetTileHeight(), 50);
}

TEST(StageSheet, GivesEachStageARowInOrder) {
    const int w = 64, h = 48;
    StageSheet sheet(w, h);
    // Stage 0: eleven frames growing brighter; stage 3: two green; stage 1: six blue.
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(sheet.Add(0, Solid(w, h, Zyn::u8(20 * i), 0, 0)));
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(sheet.Add(3, Solid(w, h, 0, 200, 0)));
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(sheet.Add(1, Solid(w, h, 0, 0, 200)));
    EXPECT_EQ(sheet.GetRowCount(), 3);

    Zyn::ContactSheet out;
    ASSERT_TRUE(sheet.Build(out));
    EXPECT_EQ(out.width, StageSheet::kColumns * w);
    EXPECT_EQ(out.height, 3 * h);
    // Row 0 shows frames 2, 4, 6 and 8 of the first stage.
    for (int c = 0; c < 4; ++c) EXPECT_EQ(TileCentre(out, sheet, c, 0).r, 20 * (2 * c + 2)) << c;
    EXPECT_EQ(TileCentre(out, sheet, 0, 1).g, 200);
    EXPECT_EQ(TileCentre(out, sheet, 1, 1).g, 200);
    const Rgb pad = TileCentre(out, sheet, 2, 1);
    EXPECT_EQ(pad.r + pad.g + pad.b, 0);
    EXPECT_EQ(out.rgba[(size_t(h) * 3 / 2 * size_t(out.width) + size_t(w) * 5 / 2) * 4 + 3], 255);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(TileCentre(out, sheet, c, 2).b, 200) << c;
}

TEST(StageSheet, HasNoSheetWithoutFrames) {
    StageSheet sheet(64, 48);
    Zyn::ContactSheet out;
    EXPECT_FALSE(sheet.Build(out));
}

TEST(StageSheet, RefusesAFrameOfTheWrongSize) {
    StageSheet sheet(64, 48);
    EXPECT_FALSE(sheet.Add(0, Solid(32, 48, 1, 2, 3)));
}
