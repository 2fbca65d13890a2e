// Zyn::Image and its TGA reader and writer: exact bytes, row order, and
// rejection of what it cannot read (logged, never a large allocation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <zyn/graphics/Image.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

// A TGA header followed by the given pixel bytes.
Bytes Tga(unsigned type, unsigned bits, unsigned w, unsigned h, unsigned descriptor, const Bytes& pixels) {
    // Sized once: GCC 12's optimiser takes an insert after the header for
    // an overflow of it (-Warray-bounds).
    Bytes b(18 + pixels.size(), 0);
    b[2] = uint8_t(type);
    b[12] = uint8_t(w);
    b[13] = uint8_t(w >> 8);
    b[14] = uint8_t(h);
    b[15] = uint8_t(h >> 8);
    b[16] = uint8_t(bits);
    b[17] = uint8_t(descriptor);
    std::copy(pixels.begin(), pixels.end(), b.begin() + 18);
    return b;
}

Bytes Sequence(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 3 + 1);
    return b;
}

}  // namespace

TEST(Image, TgaRoundTripKeepsEveryByte) {
    Image img(3, 2);
    ASSERT_NE(img.data, nullptr);
    const Bytes pixels = Sequence(3 * 2 * 4);
    std::memcpy(img.data, pixels.data(), pixels.size());

    VectorFile out;
    ASSERT_TRUE(img.SaveToTGA(out));
    const Bytes& bytes = out.GetVector();
    const Bytes header{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 0x20};
    ASSERT_EQ(bytes.size(), 18u + pixels.size());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 18), header);
    EXPECT_EQ(Bytes(bytes.begin() + 18, bytes.end()), pixels) << "pixel bytes are written as they stand";

    out.Seek(0, 0);
    Image back(out);
    ASSERT_EQ(back.width, 3u);
    ASSERT_EQ(back.height, 2u);
    EXPECT_EQ(Bytes(back.data, back.data + pixels.size()), pixels);
}

TEST(Image, BottomFirstRowsAreTurnedOver) {
    // Two rows of one pixel: the file holds the bottom row first.
    const Bytes file = Tga(2, 32, 1, 2, 0, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    MemoryFile f(file.data(), unsigned(file.size()));
    Image img(f);
    ASSERT_EQ(img.height, 2u);
    EXPECT_EQ(Bytes(img.data, img.data + 8), (Bytes{5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(Image, RejectsWhatItCannotRead) {
    struct Case {
        Bytes file;
        const char* message;
    };
    const Case cases[] = {
        {Tga(10, 32, 1, 1, 0x20, Bytes(4)), "Function accepts only uncompressed RGB TGA files"},
        {Tga(2, 24, 1, 1, 0x20, Bytes(3)), "Only 32 bits per pixel supported"},
        {Tga(2, 32, 0, 4, 0x20, Bytes(4)), "Invalid width or height (0,4)"},
        {Tga(2, 32, 1, 1, 0x28, Bytes(4)), "Unknown flipbits (40)"},
        // Sizes from the header that the stream cannot back are refused
        // before anything is allocated.
        {Tga(2, 32, 65535, 65535, 0x20, Bytes(16)), "Pixel data truncated (65535,65535)"},
        {Tga(2, 32, 2, 2, 0, Bytes(15)), "Pixel data truncated (2,2)"},
    };
    for (const Case& c : cases) {
        ScopedLogCapture log;
        MemoryFile f(c.file.data(), unsigned(c.file.size()));
        Image img(f);
        EXPECT_EQ(img.data, nullptr) << c.message;
        EXPECT_EQ(img.width, 0u) << c.message;
        EXPECT_EQ(img.height, 0u) << c.message;
        EXPECT_TRUE(log->Contains(std::string(" W. Image::Image(File &f) -> ") + c.message)) << c.message;
    }

    // A short header stops silently.
    ScopedLogCapture log;
    const Bytes shortHeader(17, 0);
    MemoryFile f(shortHeader.data(), unsigned(shortHeader.size()));
    Image img(f);
    EXPECT_EQ(img.data, nullptr);
    EXPECT_TRUE(log->m_Lines.empty());
}

TEST(Image, EmptyImageIsNotSaved) {
    Image img(0, 5);
    EXPECT_EQ(img.data, nullptr);
    VectorFile out;
    EXPECT_FALSE(img.SaveToTGA(out));
    EXPECT_TRUE(out.GetVector().empty());
}
