// TGA from memory: uncompressed and run-length encoded true colour (24 and 32 bits, stored
// B, G, R[, A]) and 8-bit greyscale, with the origin at the top left or the bottom left.
// The format has no signature, so the header is validated strictly before anything else.

#include <cstdlib>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/graphics/internal/ImageDecodeImpl.h>

namespace Zyn {
namespace ImageDecodeImpl {

namespace {

const char kFormat[] = "TGA";
const size_t kHeaderSize = 18;

enum TgaType { kTrueColour = 2, kGrey = 3, kTrueColourRLE = 10, kGreyRLE = 11 };
const unsigned char kTopOrigin = 0x20;

struct TgaHeader {
    unsigned idLength;
    unsigned colourMapType;
    unsigned imageType;
    unsigned colourMapLength;
    unsigned colourMapEntryBits;
    unsigned width;
    unsigned height;
    unsigned bitsPerPixel;
    unsigned descriptor;
};

unsigned Read16(const unsigned char* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }

TgaHeader ParseHeader(const unsigned char* d) {
    TgaHeader h;
    h.idLength = d[0];
    h.colourMapType = d[1];
    h.imageType = d[2];
    h.colourMapLength = Read16(d + 5);
    h.colourMapEntryBits = d[7];
    h.width = Read16(d + 12);
    h.height = Read16(d + 14);
    h.bitsPerPixel = d[16];
    h.descriptor = d[17];
    return h;
}

bool Fail(const char* reason) {
    LogSend(kLogError, "ImageDecode -> TGA error: %s", reason);
    return false;
}

// Copies one pixel from file order (B, G, R[, A] or grey) to R, G, B[, A] or grey.
inline void StorePixel(const unsigned char* src, unsigned char* dst, int bytesPerPixel) {
    if (bytesPerPixel == 1) {
        dst[0] = src[0];
        return;
    }
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    if (bytesPerPixel == 4) dst[3] = src[3];
}

}  // namespace

bool LooksLikeTGA(const unsigned char* data, size_t size) {
    if (size < kHeaderSize) return false;
    const TgaHeader h = ParseHeader(data);
    const bool grey = h.imageType == kGrey || h.imageType == kGreyRLE;
    const bool colour = h.imageType == kTrueColour || h.imageType == kTrueColourRLE;
    if (!grey && !colour) return false;
    if (h.colourMapType > 1) return false;
    if (h.colourMapType == 0 && (h.colourMapLength != 0 || h.colourMapEntryBits != 0)) return false;
    if (h.colourMapType == 1 && h.colourMapEntryBits != 15 && h.colourMapEntryBits != 16 &&
        h.colourMapEntryBits != 24 && h.colourMapEntryBits != 32)
        return false;
    if (grey && h.bitsPerPixel != 8) return false;
    if (colour && h.bitsPerPixel != 24 && h.bitsPerPixel != 32) return false;
    // Alpha bits: 0 or 8, and 8 only with 32-bit pixels; interleaving bits unused.
    const unsigned alphaBits = h.descriptor & 0x0F;
    if (alphaBits != 0 && !(alphaBits == 8 && h.bitsPerPixel == 32)) return false;
    if (h.descriptor & 0xC0) return false;
    return true;
}

bool DecodeTGA(const unsigned char* data, size_t size, unsigned maxDimension, DecodedPixels& out) {
    const TgaHeader h = ParseHeader(data);
    if (h.descriptor & 0x10) return Fail("right-to-left pixel order not supported");
    if (!CheckDimensions(kFormat, h.width, h.height, maxDimension)) return false;

    const int bytesPerPixel = int(h.bitsPerPixel / 8);
    const size_t mapBytes =
        h.colourMapType == 1 ? size_t(h.colourMapLength) * ((h.colourMapEntryBits + 7) / 8) : 0;
    size_t pos = kHeaderSize + h.idLength + mapBytes;
    if (pos > size) return Fail("truncated header");

    const size_t pixelCount = size_t(h.width) * h.height;
    const bool rle = h.imageType == kTrueColourRLE || h.imageType == kGreyRLE;
    // Uncompressed data must all be there before anything is allocated.
    if (!rle && (size - pos) / size_t(bytesPerPixel) < pixelCount) return Fail("truncated pixel data");
    // A run packet of one header byte and one pixel expands to at most 128 pixels.
    if (rle && (size - pos) < pixelCount / 128 * (1 + size_t(bytesPerPixel)))
        return Fail("truncated pixel data");

    unsigned char* pixels = AllocatePixels(kFormat, h.width, h.height, bytesPerPixel);
    if (!pixels) return false;

    if (!rle) {
        for (size_t i = 0; i < pixelCount; ++i, pos += bytesPerPixel)
            StorePixel(data + pos, pixels + i * bytesPerPixel, bytesPerPixel);
    } else {
        size_t i = 0;
        while (i < pixelCount) {
            if (pos >= size) {
                free(pixels);
                return Fail("truncated pixel data");
            }
            const unsigned packet = data[pos++];
            const size_t count = (packet & 0x7F) + 1;
            const bool run = (packet & 0x80) != 0;
            const size_t need = run ? size_t(bytesPerPixel) : count * bytesPerPixel;
            if (count > pixelCount - i) {
                free(pixels);
                return Fail("run-length packet past the end of the image");
            }
            if (size - pos < need) {
                free(pixels);
                return Fail("truncated pixel data");
            }
            for (size_t k = 0; k < count; ++k, ++i)
                StorePixel(data + pos + (run ? 0 : k * bytesPerPixel), pixels + i * bytesPerPixel,
                           bytesPerPixel);
            pos += need;
        }
    }

    // Rows stored bottom first are turned so that the top row comes first.
    if (!(h.descriptor & kTopOrigin)) {
        const size_t stride = size_t(h.width) * bytesPerPixel;
        unsigned char* tmp = static_cast<unsigned char*>(malloc(stride));
        if (!tmp) {
            free(pixels);
            return Fail("out of memory");
        }
        for (unsigned top = 0, bottom = h.height - 1; top < bottom; ++top, --bottom) {
            memcpy(tmp, pixels + top * stride, stride);
            memcpy(pixels + top * stride, pixels + bottom * stride, stride);
            memcpy(pixels + bottom * stride, tmp, stride);
        }
        free(tmp);
    }

    out.pixels = pixels;
    out.width = h.width;
    out.height = h.height;
    out.components = bytesPerPixel;
    return true;
}

}  // namespace ImageDecodeImpl
}  // namespace Zyn
