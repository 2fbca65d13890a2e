#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include "ImageTestUtil.h"
#include "support/LogCapture.h"

using namespace ImageTest;
using ZynTest::ScopedLogCapture;

namespace {

Bytes Pixel(const Decoded& d, unsigned i) {
    return Bytes(d.pixels.get() + size_t(i) * d.channels, d.pixels.get() + size_t(i + 1) * d.channels);
}

// Rewrites IHDR's width and height and its CRC, so that only the size is wrong.
void SetPngSize(Bytes& png, unsigned w, unsigned h) {
    PutBE32(png, 16, w);
    PutBE32(png, 20, h);
    const unsigned crc = unsigned(crc32(0, png.data() + 12, 17));
    PutBE32(png, 29, crc);
}

}  // namespace

TEST(PngDecode, GreyAndRGBAreExact) {
    const Bytes grey = MakePattern(19, 11, 1, 1);
    const Decoded g = Decode(WritePNG(grey, 19, 11, PNG_COLOR_TYPE_GRAY));
    ASSERT_TRUE(g.pixels);
    EXPECT_EQ(1, g.channels);
    EXPECT_EQ(grey, Bytes(g.pixels.get(), g.pixels.get() + grey.size()));

    const Bytes rgb = MakePattern(19, 11, 3, 2);
    const Decoded c = Decode(WritePNG(rgb, 19, 11, PNG_COLOR_TYPE_RGB));
    ASSERT_TRUE(c.pixels);
    EXPECT_EQ(3, c.channels);
    EXPECT_EQ(rgb, Bytes(c.pixels.get(), c.pixels.get() + rgb.size()));
}

TEST(PngDecode, InterlacedMatchesPlain) {
    const Bytes rgb = MakePattern(23, 17, 3, 4);
    const Decoded d = Decode(WritePNG(rgb, 23, 17, PNG_COLOR_TYPE_RGB, true));
    ASSERT_TRUE(d.pixels);
    EXPECT_EQ(rgb, Bytes(d.pixels.get(), d.pixels.get() + rgb.size()));
}

TEST(PngDecode, AlphaIsPremultiplied) {
    const Bytes rgba = {255, 0, 0, 128, 10, 200, 30, 255, 255, 255, 255, 0, 100, 50, 25, 64};
    const Decoded d = Decode(WritePNG(rgba, 2, 2, PNG_COLOR_TYPE_RGB_ALPHA));
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(4, d.channels);
    EXPECT_EQ((Bytes{128, 0, 0, 128}), Pixel(d, 0));
    EXPECT_EQ((Bytes{10, 200, 30, 255}), Pixel(d, 1));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), Pixel(d, 2));
    EXPECT_EQ((Bytes{25, 13, 6, 64}), Pixel(d, 3));
}

TEST(PngDecode, GreyAlphaAndTransparentPaletteBecomeRGBA) {
    const Bytes ga = {200, 128, 40, 255};
    const Decoded g = Decode(WritePNG(ga, 2, 1, PNG_COLOR_TYPE_GRAY_ALPHA));
    ASSERT_TRUE(g.pixels);
    ASSERT_EQ(4, g.channels);
    EXPECT_EQ((Bytes{100, 100, 100, 128}), Pixel(g, 0));
    EXPECT_EQ((Bytes{40, 40, 40, 255}), Pixel(g, 1));

    const Decoded p = Decode(WritePalettePNG());
    ASSERT_TRUE(p.pixels);
    ASSERT_EQ(4, p.channels);
    EXPECT_EQ((Bytes{255, 0, 0, 255}), Pixel(p, 0));
    EXPECT_EQ((Bytes{0, 128, 0, 128}), Pixel(p, 1));
    EXPECT_EQ((Bytes{0, 0, 255, 255}), Pixel(p, 2));
    EXPECT_EQ((Bytes{255, 255, 255, 255}), Pixel(p, 3));
}

TEST(PngDecode, SixteenBitSamplesAreScaled) {
    const std::vector<unsigned short> samples = {0, 65535, 257 * 100, 32896, 100, 65400};
    const Decoded d = Decode(WritePNG16(samples, 2, 1, PNG_COLOR_TYPE_RGB));
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(3, d.channels);
    EXPECT_EQ((Bytes{0, 255, 100, 128, 0, 254}), Bytes(d.pixels.get(), d.pixels.get() + 6));
}

TEST(PngDecode, TruncatedAndDamagedFilesFail) {
    const Bytes file = WritePNG(MakePattern(40, 30, 3, 6), 40, 30, PNG_COLOR_TYPE_RGB);
    const size_t n = file.size();
    for (size_t len : {size_t(8), size_t(20), size_t(33), size_t(50), n / 2, n - 12, n - 1}) {
        ScopedLogCapture log;
        EXPECT_FALSE(Decode(Bytes(file.begin(), file.begin() + long(len))).pixels) << "length " << len;
        EXPECT_TRUE(log->Contains("ImageDecode -> PNG error:")) << "length " << len;
    }
    Bytes damaged = file;
    damaged[n / 2] ^= 0xFF;
    ScopedLogCapture log;
    EXPECT_FALSE(Decode(damaged).pixels);
    EXPECT_TRUE(log->Contains("ImageDecode -> PNG error:"));
}

TEST(PngDecode, RejectsSizesBeyondTheLimit) {
    Bytes file = WritePNG(MakePattern(4, 4, 1, 6), 4, 4, PNG_COLOR_TYPE_GRAY);
    SetPngSize(file, 60000, 60000);
    ScopedLogCapture log;
    EXPECT_FALSE(Decode(file, false, 4096).pixels);
    EXPECT_TRUE(log->Contains("ImageDecode -> PNG error: image size 60000 x 60000 outside 1..4096"));

    SetPngSize(file, 0, 4);
    EXPECT_FALSE(Decode(file).pixels);
    EXPECT_EQ(2, log->Count("ImageDecode -> PNG error:"));
}
