#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <png.h>

#include <zyn/graphics/image/ContactSheet.h>
#include <zyn/graphics/image/PngWriter.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace fs = std::filesystem;

namespace {

std::vector<u8> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

u32 BigEndian32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | u32(p[3]); }

class PngFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zyn-png-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_Dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_Dir); }
    fs::path m_Dir;
};

std::vector<u8> Solid(int w, int h, u8 r, u8 g, u8 b) {
    std::vector<u8> v(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < v.size(); i += 4) {
        v[i] = r;
        v[i + 1] = g;
        v[i + 2] = b;
        v[i + 3] = 255;
    }
    return v;
}

}  // namespace

TEST_F(PngFixture, RoundTripsPixelsWithAFixedHeaderAndSameBytesEveryTime) {
    const int w = 3, h = 2;
    std::vector<u8> rgba;
    for (int i = 0; i < w * h; ++i) {
        rgba.push_back(u8(i * 40));
        rgba.push_back(u8(255 - i));
        rgba.push_back(u8(i * 7));
        rgba.push_back(u8(100 + i));
    }
    const fs::path a = m_Dir / "a.png", b = m_Dir / "b.png";
    ASSERT_TRUE(WritePNG(a.c_str(), w, h, rgba));
    ASSERT_TRUE(WritePNG(b.c_str(), w, h, rgba));
    const std::vector<u8> bytes = ReadBytes(a);
    EXPECT_EQ(bytes, ReadBytes(b));

    // Signature, then IHDR: width, height, depth 8, colour type 6 (RGBA).
    ASSERT_GT(bytes.size(), 33u);
    const u8 signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature, signature + 8, bytes.begin()));
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "IHDR");
    EXPECT_EQ(BigEndian32(&bytes[16]), 3u);
    EXPECT_EQ(BigEndian32(&bytes[20]), 2u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], 6);
    // No time chunk that would change from run to run.
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("tIME"), std::string::npos);

    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, a.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<u8> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(back, rgba);
}

TEST_F(PngFixture, RefusesBadInputWithoutLeavingAFile) {
    ScopedLogCapture log;
    const fs::path p = m_Dir / "bad.png";
    EXPECT_FALSE(WritePNG(p.c_str(), 2, 2, std::vector<u8>(15)));
    EXPECT_TRUE(log->Contains("WritePNG -> 15 bytes do not make a 2 x 2 RGBA image"));
    EXPECT_FALSE(WritePNG(p.c_str(), 0, 2, std::vector<u8>()));
    EXPECT_FALSE(WritePNG(p.c_str(), -4, -4, std::vector<u8>(64)));
    EXPECT_FALSE(fs::exists(p));
    const fs::path missing = m_Dir / "no" / "such.png";
    EXPECT_FALSE(WritePNG(missing.c_str(), 1, 1, std::vector<u8>(4)));
    EXPECT_TRUE(log->Contains("WritePNG -> cannot create"));
}

TEST(ContactSheet, TilesFramesInRowsAndFillsTheRestBlack) {
    const std::vector<std::vector<u8>> frames = {Solid(4, 4, 255, 0, 0), Solid(4, 4, 0, 255, 0),
                                                 Solid(4, 4, 0, 0, 255), Solid(4, 4, 9, 9, 9)};
    ContactSheet sheet;
    ASSERT_TRUE(BuildContactSheet(frames, 4, 4, 3, 2, 2, sheet));
    ASSERT_EQ(sheet.width, 6);
    ASSERT_EQ(sheet.height, 4);
    ASSERT_EQ(sheet.rgba.size(), size_t(6 * 4 * 4));
    auto px = [&](int x, int y) { return &sheet.rgba[(size_t(y) * 6 + size_t(x)) * 4]; };
    EXPECT_EQ(px(0, 0)[0], 255);
    EXPECT_EQ(px(3, 1)[1], 255);
    EXPECT_EQ(px(5, 0)[2], 255);
    EXPECT_EQ(px(1, 3)[0], 9);
    // The two unused tiles of the second row.
    for (int x = 2; x < 6; ++x) {
        EXPECT_EQ(px(x, 2)[0], 0);
        EXPECT_EQ(px(x, 3)[3], 255);
    }
}

TEST(ContactSheet, AveragesTheAreaOfEachTilePixel) {
    // Left half white, right half black, scaled to 2 x 1: exact halves;
    // to 1 x 1: the rounded mean.
    std::vector<u8> frame = Solid(4, 2, 0, 0, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c) frame[(size_t(y) * 4 + size_t(x)) * 4 + size_t(c)] = 255;
    ContactSheet sheet;
    ASSERT_TRUE(BuildContactSheet({frame}, 4, 2, 1, 2, 1, sheet));
    EXPECT_EQ(sheet.rgba[0], 255);
    EXPECT_EQ(sheet.rgba[4], 0);
    ASSERT_TRUE(BuildContactSheet({frame}, 4, 2, 1, 1, 1, sheet));
    EXPECT_EQ(sheet.rgba[0], 128);
    EXPECT_EQ(sheet.rgba[3], 255);
}

TEST(ContactSheet, RefusesMismatchedOrOversizedInput) {
    ScopedLogCapture log;
    ContactSheet sheet;
    EXPECT_FALSE(BuildContactSheet({Solid(4, 4, 1, 1, 1), std::vector<u8>(10)}, 4, 4, 2, 2, 2, sheet));
    EXPECT_TRUE(log->Contains("BuildContactSheet -> a frame is not 4 x 4 RGBA"));
    EXPECT_FALSE(BuildContactSheet({}, 4, 4, 2, 2, 2, sheet));
    EXPECT_FALSE(BuildContactSheet({Solid(1, 1, 1, 1, 1)}, 1, 1, 1, 100000, 10, sheet));
    EXPECT_TRUE(sheet.rgba.empty());
}
