// The body shared by the per-format image decoder harnesses. The first input
// byte holds the options: bit 0 asks for RGBA, bit 1 puts the format's
// signature in front of the rest (so that mutations of the body still reach
// the decoder), bit 2 caps the size at 64 pixels. Every decoded buffer is
// read to its last byte, so that a short allocation shows.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include <zyn/graphics/image/ImageDecode.h>

#include "FuzzSupport.h"

namespace ZynFuzz {

// The renderer's limit when no GL context answers; large enough to reach
// every size computation, small enough to keep a unit within memory.
const unsigned kDecodeMaxDimension = 8192;

// Keeps the read of every pixel byte from being optimised away.
inline volatile unsigned g_PixelSum = 0;

inline int DecodeOne(const uint8_t* data, size_t size, const unsigned char* signature, size_t signatureSize) {
    if (size < 1) return 0;
    const uint8_t options = data[0];
    const bool forceRGBA = options & 1;
    const unsigned maxDimension = (options & 4) ? 64 : kDecodeMaxDimension;
    std::vector<unsigned char> body;
    if ((options & 2) && signatureSize) body.assign(signature, signature + signatureSize);
    body.insert(body.end(), data + 1, data + size);
    if (body.empty()) return 0;

    unsigned w = 0xDEAD, h = 0xBEEF;
    int c = -7;
    unsigned char* pixels = Zyn::DecodeImage(body.data(), body.size(), &w, &h, &c, forceRGBA, maxDimension);
    if (!pixels) {
        // Failures leave the outputs alone.
        ZYN_FUZZ_CHECK(w == 0xDEAD && h == 0xBEEF && c == -7);
        return 0;
    }
    ZYN_FUZZ_CHECK(w >= 1 && w <= maxDimension && h >= 1 && h <= maxDimension);
    ZYN_FUZZ_CHECK(c == 1 || c == 3 || c == 4);
    ZYN_FUZZ_CHECK(!forceRGBA || c == 4);
    const size_t bytes = size_t(w) * h * size_t(c);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += pixels[i];
    if (c == 4) {
        // Premultiplied: no colour byte above its alpha.
        for (size_t i = 0; i < bytes; i += 4)
            ZYN_FUZZ_CHECK(pixels[i] <= pixels[i + 3] && pixels[i + 1] <= pixels[i + 3] &&
                           pixels[i + 2] <= pixels[i + 3]);
    }
    g_PixelSum = sum;
    std::free(pixels);
    return 0;
}

}  // namespace ZynFuzz
