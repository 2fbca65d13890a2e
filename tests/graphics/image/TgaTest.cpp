#include <gtest/gtest.h>

#include "ImageTestUtil.h"
#include "support/LogCapture.h"

using namespace ImageTest;
using ZynTest::ScopedLogCapture;

namespace {

Bytes All(const Decoded& d) {
    return Bytes(d.pixels.get(), d.pixels.get() + size_t(d.width) * d.height * d.channels);
}

}  // namespace

TEST(TgaDecode, BothOriginsAndBothEncodingsGiveTopRowFirst) {
    // Runs of equal pixels so that the run-length files hold run and raw packets.
    Bytes rgb = MakePattern(13, 9, 3, 2);
    for (size_t i = 0; i < 3 * 40; ++i) rgb[i] = 77;
    for (bool top : {true, false})
        for (bool rle : {false, true}) {
            const Bytes file = WriteTGA(rgb, 13, 9, 3, top, rle);
            const Decoded d = Decode(file);
            ASSERT_TRUE(d.pixels) << "top " << top << " rle " << rle;
            EXPECT_EQ(13u, d.width);
            EXPECT_EQ(9u, d.height);
            EXPECT_EQ(3, d.channels);
            EXPECT_EQ(rgb, All(d)) << "top " << top << " rle " << rle;
        }
}

TEST(TgaDecode, FileBytesAreBlueGreenRed) {
    // One 2 x 2 bottom-left image written by hand: file row 0 is the bottom row.
    Bytes file(18, 0);
    file[2] = 2;
    file[12] = 2;
    file[14] = 2;
    file[16] = 24;
    const unsigned char body[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    file.insert(file.end(), body, body + sizeof body);
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.pixels);
    EXPECT_EQ((Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}), All(d));
}

TEST(TgaDecode, GreyAndAlpha) {
    const Bytes grey = MakePattern(7, 5, 1, 3);
    for (bool rle : {false, true}) {
        const Decoded g = Decode(WriteTGA(grey, 7, 5, 1, false, rle));
        ASSERT_TRUE(g.pixels);
        EXPECT_EQ(1, g.channels);
        EXPECT_EQ(grey, All(g));
    }
    const Bytes rgba = {255, 0, 0, 128, 0, 0, 255, 255};
    const Decoded a = Decode(WriteTGA(rgba, 2, 1, 4, true, true));
    ASSERT_TRUE(a.pixels);
    EXPECT_EQ(4, a.channels);
    EXPECT_EQ((Bytes{128, 0, 0, 128, 0, 0, 255, 255}), All(a));
}

TEST(TgaDecode, TruncatedFilesFail) {
    const Bytes rgb = MakePattern(16, 16, 3, 5);
    for (bool rle : {false, true}) {
        const Bytes file = WriteTGA(rgb, 16, 16, 3, false, rle);
        for (size_t len : {size_t(18), size_t(19), size_t(100), file.size() / 2, file.size() - 1}) {
            ScopedLogCapture log;
            EXPECT_FALSE(Decode(Bytes(file.begin(), file.begin() + long(len))).pixels) << "length " << len;
            EXPECT_TRUE(log->Contains("ImageDecode -> TGA error: truncated")) << "length " << len;
        }
    }
}

TEST(TgaDecode, RejectsBadHeadersAndPackets) {
    const Bytes base = WriteTGA(MakePattern(4, 4, 3, 5), 4, 4, 3, true, false);
    {
        // A header promising 65535 x 65535 is refused before any pixel memory is taken.
        Bytes huge = base;
        huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
        ScopedLogCapture log;
        EXPECT_FALSE(Decode(huge, false, 4096).pixels);
        EXPECT_TRUE(log->Contains("ImageDecode -> TGA error: image size 65535 x 65535 outside 1..4096"));
        Bytes empty = base;
        empty[12] = empty[13] = 0;
        EXPECT_FALSE(Decode(empty).pixels);
        EXPECT_TRUE(log->Contains("ImageDecode -> TGA error: image size 0 x 4 outside 1..4096"));
    }
    {
        Bytes mirrored = base;
        mirrored[17] |= 0x10;
        ScopedLogCapture log;
        EXPECT_FALSE(Decode(mirrored).pixels);
        EXPECT_TRUE(log->Contains("ImageDecode -> TGA error: right-to-left pixel order not supported"));
    }
    {
        // A run of 128 pixels in a 16-pixel image.
        Bytes overrun(base.begin(), base.begin() + 18);
        overrun[2] = 10;
        overrun.insert(overrun.end(), {0xFF, 1, 2, 3});
        overrun.resize(overrun.size() + 64, 0);
        ScopedLogCapture log;
        EXPECT_FALSE(Decode(overrun).pixels);
        EXPECT_TRUE(log->Contains("ImageDecode -> TGA error: run-length packet past the end of the image"));
    }
    {
        // Unsupported depths and types are not taken for TGA at all.
        for (int field : {2, 16}) {
            Bytes odd = base;
            odd[field] = field == 2 ? 1 : 16;
            ScopedLogCapture log;
            EXPECT_FALSE(Decode(odd).pixels);
            EXPECT_TRUE(log->Contains("ImageDecode -> unknown image format"));
        }
    }
}
