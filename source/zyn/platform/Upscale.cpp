#include <zyn/platform/internal/Upscale.h>

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Zyn {
namespace Backends {

namespace {

// (3a + b) / 4 as two rounded averages; off by at most one.
inline u8 Near(u8 a, u8 b) {
    const unsigned ab = (unsigned(a) + b + 1) >> 1;
    return u8((a + ab + 1) >> 1);
}

#if defined(__SSE2__)
inline __m128i Near(__m128i a, __m128i b) { return _mm_avg_epu8(a, _mm_avg_epu8(a, b)); }
#endif

// One row's worth of bytes blended towards its neighbour row.
void BlendRows(const u8* row, const u8* other, u8* out, size_t bytes) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= bytes; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(other + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Near(a, b));
    }
#endif
    for (; i < bytes; ++i) out[i] = Near(row[i], other[i]);
}

// Doubles a row horizontally. `padded` holds the row with one copy of its
// edge pixel before and after it.
void StretchRow(const u8* padded, int sw, u8* out, int dw) {
    const u8* v = padded + 4;
    int o = 0;
#if defined(__SSE2__)
    // Four source pixels give eight: each blended with its left neighbour,
    // then with its right, interleaved.
    for (int i = 0; i + 4 <= sw && o + 8 <= dw; i += 4, o += 8) {
        const __m128i mid = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i * 4));
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i * 4 - 4));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i * 4 + 4));
        const __m128i even = Near(mid, left);
        const __m128i odd = Near(mid, right);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(o) * 4), _mm_unpacklo_epi32(even, odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(o) * 4 + 16), _mm_unpackhi_epi32(even, odd));
    }
#endif
    for (; o < dw; ++o) {
        const int i = o / 2;
        const u8* mid = v + i * 4;
        const u8* next = (o & 1) ? mid + 4 : mid - 4;
        for (int c = 0; c < 4; ++c) out[size_t(o) * 4 + size_t(c)] = Near(mid[c], next[c]);
    }
}

}  // namespace

void UpscaleDouble(const u8* src, int sw, int sh, size_t srcStride, u8* dst, int dw, int dh, size_t dstStride) {
    if (!src || !dst || sw <= 0 || sh <= 0 || (dw != 2 * sw && dw != 2 * sw - 1) ||
        (dh != 2 * sh && dh != 2 * sh - 1))
        return;
    const size_t rowBytes = size_t(sw) * 4;
    std::vector<u8> padded(rowBytes + 8);
    u8* blended = padded.data() + 4;
    // Row y of the picture, counted from the top.
    auto row = [&](int y) { return src + size_t(sh - 1 - (y < 0 ? 0 : y >= sh ? sh - 1 : y)) * srcStride; };
    for (int o = 0; o < dh; ++o) {
        const int y = o / 2;
        BlendRows(row(y), row((o & 1) ? y + 1 : y - 1), blended, rowBytes);
        std::memcpy(padded.data(), blended, 4);
        std::memcpy(blended + rowBytes, blended + rowBytes - 4, 4);
        StretchRow(padded.data(), sw, dst + size_t(o) * dstStride, dw);
    }
}

}  // namespace Backends
}  // namespace Zyn
