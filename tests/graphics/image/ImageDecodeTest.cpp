#include <gtest/gtest.h>

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

#include "ImageTestUtil.h"
#include "support/LogCapture.h"

using namespace ImageTest;
using ZynTest::ScopedLogCapture;

namespace {

Bytes All(const Decoded& d) {
    return Bytes(d.pixels.get(), d.pixels.get() + size_t(d.width) * d.height * d.channels);
}

Bytes EncodeLossless(const Bytes& pixels, unsigned w, unsigned h, int channels) {
    Bytes out;
    EXPECT_TRUE(Zyn::EncodeJP2(pixels.data(), w, h, channels, 0.0f, out));
    return out;
}

// The same pixels in every format that stores them exactly.
std::vector<std::pair<const char*, Bytes>> AllFormats(const Bytes& pixels, unsigned w, unsigned h,
                                                      int channels) {
    const int pngType =
        channels == 1 ? PNG_COLOR_TYPE_GRAY : (channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA);
    return {{"JP2", EncodeLossless(pixels, w, h, channels)},
            {"PNG", WritePNG(pixels, w, h, pngType)},
            {"TGA", WriteTGA(pixels, w, h, channels, false, true)}};
}

}  // namespace

TEST(ImageDecode, ChannelRulesAreTheSameForEveryFormat) {
    const Bytes grey = {0, 90, 255, 17};
    const Bytes rgb = {1, 2, 3, 40, 50, 60, 255, 0, 128, 9, 9, 9};
    const Bytes rgba = {255, 0, 0, 128, 10, 20, 30, 255, 200, 100, 50, 0, 99, 199, 255, 51};

    for (const auto& f : AllFormats(grey, 2, 2, 1)) {
        const Decoded plain = Decode(f.second);
        ASSERT_TRUE(plain.pixels) << f.first;
        EXPECT_EQ(1, plain.channels) << f.first;
        EXPECT_EQ(grey, All(plain)) << f.first;
        const Decoded forced = Decode(f.second, true);
        ASSERT_TRUE(forced.pixels) << f.first;
        EXPECT_EQ(4, forced.channels) << f.first;
        EXPECT_EQ((Bytes{0, 0, 0, 255, 90, 90, 90, 255, 255, 255, 255, 255, 17, 17, 17, 255}), All(forced))
            << f.first;
    }
    for (const auto& f : AllFormats(rgb, 2, 2, 3)) {
        const Decoded plain = Decode(f.second);
        ASSERT_TRUE(plain.pixels) << f.first;
        EXPECT_EQ(3, plain.channels) << f.first;
        EXPECT_EQ(rgb, All(plain)) << f.first;
        const Decoded forced = Decode(f.second, true);
        ASSERT_TRUE(forced.pixels) << f.first;
        EXPECT_EQ(4, forced.channels) << f.first;
        EXPECT_EQ((Bytes{1, 2, 3, 255, 40, 50, 60, 255, 255, 0, 128, 255, 9, 9, 9, 255}), All(forced))
            << f.first;
    }
    for (const auto& f : AllFormats(rgba, 2, 2, 4))
        for (bool force : {false, true}) {
            const Decoded d = Decode(f.second, force);
            ASSERT_TRUE(d.pixels) << f.first;
            EXPECT_EQ(4, d.channels) << f.first;
            EXPECT_EQ((Bytes{128, 0, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0, 20, 40, 51, 51}), All(d))
                << f.first;
        }
}

TEST(ImageDecode, BadCallsFailWithoutTouchingTheOutputs) {
    const Bytes tga = WriteTGA(MakePattern(2, 2, 3, 1), 2, 2, 3, true, false);
    unsigned w = 7, h = 8;
    int c = 9;
    ScopedLogCapture log;
    EXPECT_EQ(nullptr, Zyn::DecodeImage(tga.data(), 0, &w, &h, &c, false, 4096));
    EXPECT_EQ(nullptr, Zyn::DecodeImage(nullptr, 10, &w, &h, &c, false, 4096));
    EXPECT_EQ(2, log->Count("ImageDecode -> no image data"));
    EXPECT_EQ(nullptr, Zyn::DecodeImage(tga.data(), tga.size(), nullptr, &h, &c, false, 4096));
    EXPECT_TRUE(log->Contains("ImageDecode -> no place for the result"));
    EXPECT_EQ(nullptr, Zyn::DecodeImage(tga.data(), tga.size(), &w, &h, &c, false, 1));
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l',
                        'd', '!', '!', '!', '!', '!', '!', '!', '!'};
    EXPECT_EQ(nullptr, Zyn::DecodeImage(text.data(), text.size(), &w, &h, &c, false, 4096));
    EXPECT_TRUE(log->Contains("ImageDecode -> unknown image format (19 bytes)"));
    EXPECT_EQ(7u, w);
    EXPECT_EQ(8u, h);
    EXPECT_EQ(9, c);
}

namespace {

std::vector<std::pair<const char*, Bytes>> SmallFilesOfEveryKind() {
    const Bytes rgb = MakeSmooth(12, 10, 3);
    const Bytes jp2 = EncodeLossless(rgb, 12, 10, 3);
    return {{"JP2", jp2},
            {"J2K", ExtractCodestream(jp2)},
            {"PNG", WritePNG(rgb, 12, 10, PNG_COLOR_TYPE_RGB, true)},
            {"JPEG", WriteJPEG(rgb, 12, 10, 3, true)},
            {"TGA", WriteTGA(rgb, 12, 10, 3, false, false)},
            {"TGA RLE", WriteTGA(rgb, 12, 10, 3, true, true)}};
}

}  // namespace

TEST(ImageDecode, EveryCutOffFileFailsWithALogLine) {
    for (const auto& f : SmallFilesOfEveryKind()) {
        ASSERT_TRUE(Decode(f.second).pixels) << f.first;
        for (size_t len = 1; len < f.second.size(); ++len) {
            ScopedLogCapture log;
            const Decoded d = Decode(Bytes(f.second.begin(), f.second.begin() + long(len)));
            EXPECT_FALSE(d.pixels) << f.first << " cut to " << len << " of " << f.second.size();
            EXPECT_TRUE(log->Contains("ImageDecode ->")) << f.first << " cut to " << len;
        }
    }
}

TEST(ImageDecode, DamagedFilesDecodeToTheirSizeOrFailWithALogLine) {
    for (const auto& f : SmallFilesOfEveryKind()) {
        for (size_t at = 0; at < f.second.size(); at += 3) {
            for (unsigned char flip : {0x01, 0x80, 0xFF}) {
                Bytes damaged = f.second;
                damaged[at] ^= flip;
                ScopedLogCapture log;
                const Decoded d = Decode(damaged, false, 64);
                if (d.pixels) {
                    EXPECT_LE(d.width, 64u) << f.first << " damaged at " << at;
                    EXPECT_LE(d.height, 64u) << f.first << " damaged at " << at;
                } else {
                    EXPECT_TRUE(log->Contains("ImageDecode ->")) << f.first << " damaged at " << at;
                }
            }
        }
    }
}

// A prefetched image is taken only by a decode of exactly its bytes and
// channel rule, gives the pixels a plain decode gives, and is taken once; a
// limit that refuses it, or a failed prefetch, decodes (and reports) as usual.
TEST(ImageDecode, PrefetchedImagesAreTheImagesAPlainDecodeGives) {
    const Bytes rgba = MakePattern(37, 23, 4, 7);
    const Bytes jp2 = EncodeLossless(rgba, 37, 23, 4);
    const Bytes png = WritePNG(MakePattern(16, 9, 3, 3), 16, 9, PNG_COLOR_TYPE_RGB);
    Bytes damaged = jp2;
    damaged.resize(damaged.size() / 2);
    const Bytes plainJp2 = All(Decode(jp2, true));
    const Bytes plainPng = All(Decode(png, false));
    const Bytes plainPngAsRGBA = All(Decode(png, true));
    ASSERT_FALSE(plainJp2.empty());
    ASSERT_NE(plainPng.size(), plainPngAsRGBA.size());

    Zyn::PrefetchImages({{jp2, true}, {png, false}, {damaged, false}, {jp2, true}});
    struct Case {
        const char* what;
        const Bytes* file;
        bool forceRGBA;
        unsigned maxDimension;
        const Bytes* expected;  // null: the decode fails
    };
    const Case cases[] = {
        {"the JP2 as prefetched", &jp2, true, 4096, &plainJp2},
        {"the PNG as 4 channels: not what was prefetched", &png, true, 4096, &plainPngAsRGBA},
        {"the PNG as prefetched", &png, false, 4096, &plainPng},
        {"the second copy of the JP2, under a limit that refuses it", &jp2, true, 30, nullptr},
        {"the damaged file", &damaged, false, 4096, nullptr},
        {"the JP2 again, with nothing prefetched left", &jp2, true, 4096, &plainJp2},
    };
    for (const Case& c : cases) {
        ScopedLogCapture log;
        const Decoded d = Decode(*c.file, c.forceRGBA, c.maxDimension);
        if (!c.expected) {
            EXPECT_FALSE(d.pixels) << c.what;
            EXPECT_EQ(log->Count("ImageDecode ->"), 1) << c.what << ": reported once, by the taker";
            continue;
        }
        ASSERT_TRUE(d.pixels) << c.what;
        EXPECT_EQ(All(d), *c.expected) << c.what;
    }
}

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The batch's worker prunes the folder after its last image; waits for it.
bool GoneWithin(const std::string& path, double seconds) {
    for (int i = 0; i < int(seconds * 100); ++i) {
        if (!Exists(path)) return true;
        usleep(10000);
    }
    return !Exists(path);
}

}  // namespace

// Decoded pixels kept between runs stand in for a decode only when intact;
// a damaged entry is decoded again and written anew, and what the latest
// batch did not ask for is removed.
TEST(ImageDecode, DecodedImageCacheServesIntactEntriesOnly) {
    char pattern[] = "/tmp/zyn-pixcache-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/cache/images";
    Zyn::SetDecodedImageCache(folder + "/");
    namespace Impl = Zyn::ImageDecodeImpl;

    const Bytes jp2 = EncodeLossless(MakePattern(37, 23, 4, 7), 37, 23, 4);
    const Bytes plain = All(Decode(jp2, true));
    ASSERT_FALSE(plain.empty());
    const std::string jp2Entry = folder + "/" + Impl::CacheEntryName(jp2.data(), jp2.size(), true);

    // A first run decodes and keeps the pixels; its batch ends by pruning
    // what it did not ask for, which is waited for before the cache is
    // planted with more.
    ASSERT_EQ(mkdir((std::string(pattern) + "/cache").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteWhole(folder + "/stale.pix", "left by another art pack");
    Zyn::PrefetchImages({{jp2, true}});
    EXPECT_EQ(All(Decode(jp2, true)), plain);
    ASSERT_TRUE(GoneWithin(folder + "/stale.pix", 10.0));
    ASSERT_TRUE(Exists(jp2Entry));
    const std::string intact = ReadWhole(jp2Entry);
    EXPECT_EQ(intact.size(), 32u + plain.size());

    // An intact entry is all a prefetch needs: these bytes do not decode.
    const Bytes garbage(300, 0x5A);
    const Bytes planted = MakePattern(5, 4, 4, 1);
    const std::string garbageEntry = folder + "/" + Impl::CacheEntryName(garbage.data(), garbage.size(), false);
    WriteWhole(garbageEntry,
               Impl::CacheEntryHeader(planted.data(), 5, 4, 4) + std::string(planted.begin(), planted.end()));
    WriteWhole(folder + "/stale.pix", "left by another art pack");
    Zyn::PrefetchImages({{garbage, false}});
    {
        ScopedLogCapture log;
        const Decoded d = Decode(garbage, false);
        ASSERT_TRUE(d.pixels);
        EXPECT_EQ(d.width, 5u);
        EXPECT_EQ(All(d), planted);
    }
    EXPECT_TRUE(GoneWithin(folder + "/stale.pix", 10.0));
    EXPECT_TRUE(GoneWithin(jp2Entry, 10.0)) << "not asked for by the latest batch";
    EXPECT_TRUE(Exists(garbageEntry));

    // One changed pixel byte, or a cut: the entry is not used.
    std::string damaged = ReadWhole(garbageEntry);
    damaged[40] ^= 1;
    WriteWhole(garbageEntry, damaged);
    WriteWhole(jp2Entry, intact.substr(0, intact.size() - 7));
    Zyn::PrefetchImages({{garbage, false}, {jp2, true}});
    {
        ScopedLogCapture log;
        EXPECT_FALSE(Decode(garbage, false).pixels) << "decoded again, and these bytes do not decode";
    }
    EXPECT_EQ(All(Decode(jp2, true)), plain);
    EXPECT_EQ(ReadWhole(jp2Entry), intact) << "written anew";

    Zyn::SetDecodedImageCache("");
    std::remove(garbageEntry.c_str());
    std::remove(jp2Entry.c_str());
    rmdir(folder.c_str());
    rmdir((std::string(pattern) + "/cache").c_str());
    rmdir(pattern);
}
