#include <gtest/gtest.h>

#include <cstdlib>

#include "ImageTestUtil.h"
#include "support/LogCapture.h"

using namespace ImageTest;
using ZynTest::ScopedLogCapture;

namespace {

// Largest difference between decoded samples and the source, sample by sample.
int WorstDifference(const Decoded& d, const Bytes& source) {
    int worst = 0;
    for (size_t i = 0; i < source.size(); ++i)
        worst = std::max(worst, std::abs(int(d.at(i)) - int(source[i])));
    return worst;
}

// Offset of the first SOF0/SOF2 segment's height field.
size_t FindFrameSize(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    return 0;
}

}  // namespace

TEST(JpegDecode, GreyAndColourDecodeCloseToTheSource) {
    const unsigned w = 40, h = 24;
    const Bytes grey = MakeSmooth(w, h, 1);
    const Decoded g = Decode(WriteJPEG(grey, w, h, 1));
    ASSERT_TRUE(g.pixels);
    EXPECT_EQ(w, g.width);
    EXPECT_EQ(h, g.height);
    EXPECT_EQ(1, g.channels);
    EXPECT_LE(WorstDifference(g, grey), 8);

    const Bytes rgb = MakeSmooth(w, h, 3);
    for (bool progressive : {false, true}) {
        const Decoded c = Decode(WriteJPEG(rgb, w, h, 3, progressive));
        ASSERT_TRUE(c.pixels);
        EXPECT_EQ(3, c.channels);
        EXPECT_LE(WorstDifference(c, rgb), 16) << (progressive ? "progressive" : "baseline");
    }
}

TEST(JpegDecode, ForcedRGBAIsOpaque) {
    const Bytes rgb(8 * 8 * 3, 200);
    const Decoded d = Decode(WriteJPEG(rgb, 8, 8, 3), true);
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(4, d.channels);
    for (unsigned i = 0; i < 64; ++i) {
        EXPECT_EQ(255, d.at(4 * i + 3));
        EXPECT_NEAR(200, d.at(4 * i), 2);
    }
}

TEST(JpegDecode, RejectsCMYK) {
    const Bytes cmyk = MakePattern(8, 8, 4, 5);
    ScopedLogCapture log;
    EXPECT_FALSE(Decode(WriteJPEG(cmyk, 8, 8, 4)).pixels);
    EXPECT_TRUE(log->Contains("ImageDecode -> JPEG error: CMYK images not supported"));
}

TEST(JpegDecode, TruncatedFilesFail) {
    for (bool progressive : {false, true}) {
        const Bytes file = WriteJPEG(MakePattern(64, 48, 3, 8), 64, 48, 3, progressive);
        const size_t n = file.size();
        for (size_t len : {size_t(3), size_t(20), size_t(200), n / 2, n - 10, n - 2}) {
            ScopedLogCapture log;
            EXPECT_FALSE(Decode(Bytes(file.begin(), file.begin() + long(len))).pixels) << "length " << len;
            EXPECT_TRUE(log->Contains("ImageDecode -> JPEG error:")) << "length " << len;
        }
    }
}

TEST(JpegDecode, RejectsSizesBeyondTheLimit) {
    Bytes file = WriteJPEG(MakePattern(8, 8, 3, 1), 8, 8, 3);
    const size_t at = FindFrameSize(file);
    ASSERT_NE(0u, at);
    file[at] = 0xEA;  // height 60000
    file[at + 1] = 0x60;
    ScopedLogCapture log;
    EXPECT_FALSE(Decode(file, false, 4096).pixels);
    EXPECT_TRUE(log->Contains("ImageDecode -> JPEG error: image size 8 x 60000 outside 1..4096"));
}
