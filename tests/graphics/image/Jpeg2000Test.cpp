#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <openjpeg.h>

#include <zyn/graphics/image/ImageDecode.h>

#include "ImageTestUtil.h"
#include "support/LogCapture.h"

using namespace ImageTest;
using ZynTest::ScopedLogCapture;

namespace {

const unsigned char kJP2Signature[12] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                         0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};

Bytes Encode(const Bytes& pixels, unsigned w, unsigned h, int channels, float ratio) {
    Bytes out;
    EXPECT_TRUE(Zyn::EncodeJP2(pixels.data(), w, h, channels, ratio, out));
    return out;
}

unsigned char ExpectedPremultiplied(unsigned c, unsigned a) {
    return (unsigned char)std::lround(c * a / 255.0);
}

// What a 4-channel decode must give for straight RGBA pixels.
Bytes Premultiplied(const Bytes& rgba) {
    Bytes out(rgba);
    for (size_t i = 0; i < out.size(); i += 4)
        for (int c = 0; c < 3; ++c) out[i + c] = ExpectedPremultiplied(rgba[i + c], rgba[i + 3]);
    return out;
}

Bytes ToBytes(const Decoded& d) {
    return Bytes(d.pixels.get(), d.pixels.get() + size_t(d.width) * d.height * d.channels);
}

class Jpeg2000Lossless : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(Jpeg2000Lossless, RoundTripIsExactAsFileAndAsCodestream) {
    const int channels = GetParam();
    const unsigned w = 37, h = 21;
    const Bytes pixels = MakePattern(w, h, channels, 7);
    const Bytes file = Encode(pixels, w, h, channels, 0.0f);
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(0, memcmp(file.data(), kJP2Signature, 12));

    const Bytes expected = channels == 4 ? Premultiplied(pixels) : pixels;
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.pixels);
    EXPECT_EQ(w, d.width);
    EXPECT_EQ(h, d.height);
    EXPECT_EQ(channels, d.channels);
    EXPECT_EQ(expected, ToBytes(d));

    const Bytes codestream = ExtractCodestream(file);
    ASSERT_GE(codestream.size(), 4u);
    EXPECT_EQ(0xFF, codestream[0]);
    EXPECT_EQ(0x4F, codestream[1]);
    const Decoded raw = Decode(codestream);
    ASSERT_TRUE(raw.pixels);
    EXPECT_EQ(channels, raw.channels);
    EXPECT_EQ(expected, ToBytes(raw));
}

INSTANTIATE_TEST_SUITE_P(Channels, Jpeg2000Lossless, ::testing::Values(1, 3, 4));

TEST(Jpeg2000, TinyAndOddSizesRoundTrip) {
    const unsigned sizes[][2] = {{1, 1}, {1, 9}, {7, 3}, {65, 33}};
    for (const auto& s : sizes) {
        const Bytes pixels = MakePattern(s[0], s[1], 3, s[0]);
        const Decoded d = Decode(Encode(pixels, s[0], s[1], 3, 0.0f));
        ASSERT_TRUE(d.pixels) << s[0] << "x" << s[1];
        EXPECT_EQ(pixels, ToBytes(d)) << s[0] << "x" << s[1];
    }
}

TEST(Jpeg2000, LossyRoundTripStaysCloseAndIsSmaller) {
    const unsigned w = 128, h = 96;
    const Bytes pixels = MakeSmooth(w, h, 3);
    const Bytes lossless = Encode(pixels, w, h, 3, 0.0f);
    const Bytes lossy = Encode(pixels, w, h, 3, 10.0f);
    EXPECT_LT(lossy.size(), lossless.size());
    EXPECT_LE(lossy.size(), pixels.size() / 10 + 512);

    const Decoded d = Decode(lossy);
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(3, d.channels);
    double sum = 0;
    int worst = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int diff = std::abs(int(d.at(i)) - int(pixels[i]));
        sum += diff;
        worst = std::max(worst, diff);
    }
    EXPECT_LT(sum / double(pixels.size()), 2.0);
    EXPECT_LT(worst, 16);
}

TEST(Jpeg2000, EncodingIsDeterministic) {
    const Bytes pixels = MakePattern(64, 48, 4, 11);
    EXPECT_EQ(Encode(pixels, 64, 48, 4, 0.0f), Encode(pixels, 64, 48, 4, 0.0f));
    EXPECT_EQ(Encode(pixels, 64, 48, 4, 20.0f), Encode(pixels, 64, 48, 4, 20.0f));
}

TEST(Jpeg2000, HalfTransparentRedIsPremultiplied) {
    const Bytes pixel = {255, 0, 0, 128};
    const Decoded d = Decode(Encode(pixel, 1, 1, 4, 0.0f));
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(4, d.channels);
    EXPECT_EQ((Bytes{128, 0, 0, 128}), ToBytes(d));
}

TEST(Jpeg2000, WiderComponentsAreScaledTo8Bits) {
    for (unsigned prec : {16u, 12u, 4u}) {
        const Bytes file = EncodeCustom(16, 4, {Component{1, 1, prec, false}}, OPJ_CLRSPC_GRAY, false);
        const Decoded d = Decode(file);
        ASSERT_TRUE(d.pixels) << prec;
        ASSERT_EQ(1, d.channels);
        // EncodeCustom's ramp: sample i of component 0 is (i * 7919) mod 2^prec.
        const unsigned maxValue = (1u << prec) - 1;
        for (unsigned i = 0; i < 64; ++i) {
            const unsigned v = (i * 7919u) % (maxValue + 1);
            EXPECT_EQ((v * 255 + maxValue / 2) / maxValue, d.at(i)) << "prec " << prec << " sample " << i;
        }
    }
}

TEST(Jpeg2000, GreyWithAlphaBecomesPremultipliedRGBA) {
    const Bytes file = EncodeCustom(8, 2, {Component{}, Component{}}, OPJ_CLRSPC_GRAY, false);
    const Decoded d = Decode(file);
    ASSERT_TRUE(d.pixels);
    ASSERT_EQ(4, d.channels);
    for (unsigned i = 0; i < 16; ++i) {
        const unsigned g = (i * 7919u) % 256, a = (i * 7919u + 31u) % 256;
        const unsigned char p = ExpectedPremultiplied(g, a);
        EXPECT_EQ((Bytes{p, p, p, (unsigned char)a}),
                  Bytes(d.pixels.get() + 4 * i, d.pixels.get() + 4 * i + 4));
    }
}

TEST(Jpeg2000, RejectsComponentsItCannotShow) {
    struct Case {
        const char* name;
        std::vector<Component> comps;
        int colourSpace;
        const char* log;
    };
    const Component plain;
    Component half = plain;
    half.dx = 2;
    half.dy = 2;
    Component signedComp = plain;
    signedComp.isSigned = true;
    Component narrow = plain;
    narrow.prec = 4;
    Component wide = plain;
    wide.prec = 20;
    const Case cases[] = {
        {"subsampled", {plain, half, half}, OPJ_CLRSPC_SRGB, "subsampled components not supported"},
        {"signed", {signedComp}, OPJ_CLRSPC_GRAY, "signed components not supported"},
        {"mixed precision", {plain, narrow, plain}, OPJ_CLRSPC_SRGB, "components of different precision"},
        {"20-bit", {wide}, OPJ_CLRSPC_GRAY, "20-bit components not supported"},
        {"five components",
         {plain, plain, plain, plain, plain},
         OPJ_CLRSPC_SRGB,
         "5 components not supported"},
        {"sYCC", {plain, plain, plain}, OPJ_CLRSPC_SYCC, "YCC colour space not supported"},
    };
    for (const Case& c : cases) {
        for (bool raw : {false, true}) {
            if (raw && c.colourSpace == OPJ_CLRSPC_SYCC) continue;  // a codestream carries no colour space
            const Bytes file = EncodeCustom(16, 16, c.comps, c.colourSpace, raw);
            ASSERT_FALSE(file.empty()) << c.name;
            ScopedLogCapture log;
            const Decoded d = Decode(file);
            EXPECT_FALSE(d.pixels) << c.name << (raw ? " (codestream)" : " (JP2)");
            EXPECT_TRUE(log->Contains(std::string("ImageDecode -> JPEG 2000 error: ") + c.log)) << c.name;
        }
    }
}

TEST(Jpeg2000, RejectsHeaderSizesBeyondTheLimitBeforeDecoding) {
    const Bytes pixels = MakePattern(16, 16, 3, 5);
    const Bytes codestream = ExtractCodestream(Encode(pixels, 16, 16, 3, 0.0f));
    ASSERT_FALSE(codestream.empty());

    // One tile as large as the image, so the header itself stays small.
    struct Case {
        unsigned size;
        unsigned maxDimension;
    };
    for (const Case c : {Case{5000, 4096}, Case{0x80000000u, 0xFFFFFFFFu}}) {
        Bytes huge = codestream;
        PutBE32(huge, kSizXsiz, c.size);
        PutBE32(huge, kSizXsiz + 4, c.size);
        PutBE32(huge, kSizXsiz + 16, c.size);
        PutBE32(huge, kSizXsiz + 20, c.size);
        ScopedLogCapture log;
        const Decoded d = Decode(huge, false, c.maxDimension);
        EXPECT_FALSE(d.pixels);
        EXPECT_TRUE(log->Contains("ImageDecode -> JPEG 2000 error: image size " + std::to_string(c.size) +
                                  " x " + std::to_string(c.size)))
            << c.size;
    }

    ScopedLogCapture log;
    EXPECT_FALSE(Decode(codestream, false, 15).pixels);
    EXPECT_TRUE(log->Contains("ImageDecode -> JPEG 2000 error: image size 16 x 16 outside 1..15"));
    EXPECT_TRUE(Decode(codestream, false, 16).pixels);
}

TEST(Jpeg2000, TruncatedFilesFailWithALogLine) {
    const Bytes pixels = MakePattern(48, 40, 3, 9);
    const Bytes file = Encode(pixels, 48, 40, 3, 0.0f);
    const Bytes codestream = ExtractCodestream(file);
    for (const Bytes* whole : {&file, &codestream}) {
        const size_t n = whole->size();
        for (size_t len : {size_t(13), size_t(40), size_t(90), n / 3, n / 2, n - 40, n - 3}) {
            const Bytes cut(whole->begin(), whole->begin() + long(len));
            ScopedLogCapture log;
            const Decoded d = Decode(cut);
            EXPECT_FALSE(d.pixels) << "length " << len << " of " << n;
            EXPECT_TRUE(log->Contains("ImageDecode -> JPEG 2000 error:")) << "length " << len << " of " << n;
        }
    }
}

TEST(Jpeg2000, DamagedBytesNeverCrash) {
    const Bytes pixels = MakePattern(32, 32, 4, 2);
    const Bytes file = Encode(pixels, 32, 32, 4, 8.0f);
    int failures = 0;
    for (size_t at = 12; at < file.size(); at += 7) {
        Bytes damaged = file;
        damaged[at] ^= 0xA5;
        ScopedLogCapture log;
        const Decoded d = Decode(damaged);
        if (d.pixels) {
            EXPECT_EQ(32u, d.width);
            EXPECT_EQ(32u, d.height);
        } else {
            ++failures;
            EXPECT_TRUE(log->Contains("ImageDecode ->")) << "damage at " << at;
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(EncodeJP2, RejectsBadArguments) {
    const Bytes pixels = MakePattern(4, 4, 4, 1);
    Bytes out = {1, 2, 3};
    ScopedLogCapture log;
    EXPECT_FALSE(Zyn::EncodeJP2(pixels.data(), 4, 4, 2, 0.0f, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(Zyn::EncodeJP2(pixels.data(), 0, 4, 3, 0.0f, out));
    EXPECT_FALSE(Zyn::EncodeJP2(nullptr, 4, 4, 3, 0.0f, out));
    EXPECT_EQ(3, log->Count("EncodeJP2 -> invalid image"));
    EXPECT_FALSE(Zyn::EncodeJP2(pixels.data(), 4, 4, 3, 0.5f, out));
    EXPECT_FALSE(Zyn::EncodeJP2(pixels.data(), 4, 4, 3, NAN, out));
    EXPECT_EQ(2, log->Count("EncodeJP2 -> invalid compression ratio"));
}
