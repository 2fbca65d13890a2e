// The processor's stretch of frames drawn at half size, against the exact
// bilinear weights, over sizes that reach both its vector and its scalar
// paths and windows of odd size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <zyn/platform/internal/Upscale.h>

using namespace Zyn;

namespace {

// The exact value of output byte (x, y, c): 3/4 of the nearest source pixel
// and 1/4 of the next in each direction, the edge pixel repeated. `src` is
// bottom-up as GL reads it.
double Exact(const std::vector<u8>& src, int sw, int sh, int x, int y, int c) {
    auto at = [&](int sx, int sy) {
        sx = sx < 0 ? 0 : sx >= sw ? sw - 1 : sx;
        sy = sy < 0 ? 0 : sy >= sh ? sh - 1 : sy;
        return double(src[(size_t(sh - 1 - sy) * size_t(sw) + size_t(sx)) * 4 + size_t(c)]);
    };
    const int nx = x / 2, ny = y / 2;
    const int ox = (x & 1) ? nx + 1 : nx - 1;
    const int oy = (y & 1) ? ny + 1 : ny - 1;
    return (9 * at(nx, ny) + 3 * at(ox, ny) + 3 * at(nx, oy) + at(ox, oy)) / 16;
}

}  // namespace

TEST(Upscale, DoublesWithBilinearWeightsAndKeepsToItsRows) {
    struct Case {
        int sw, sh, dw, dh;
    };
    // One pixel; a row; widths around the four-pixel vector step; an odd window.
    const Case cases[] = {{1, 1, 2, 2}, {2, 1, 4, 2}, {3, 2, 5, 3}, {4, 4, 8, 8},
                          {5, 3, 10, 6}, {37, 23, 73, 45}, {64, 9, 128, 18}};
    unsigned seed = 7;
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.sw << "x" << k.sh << " -> " << k.dw << "x" << k.dh);
        std::vector<u8> src(size_t(k.sw) * size_t(k.sh) * 4);
        for (u8& b : src) {
            seed = seed * 1103515245u + 12345u;
            b = u8(seed >> 16);
        }
        // A wider stride than the row, with a guard value around every row.
        const size_t stride = size_t(k.dw) * 4 + 12;
        std::vector<u8> dst(stride * size_t(k.dh + 1), 0xA5);
        Backends::UpscaleDouble(src.data(), k.sw, k.sh, size_t(k.sw) * 4, dst.data(), k.dw, k.dh, stride);
        double worst = 0;
        for (int y = 0; y < k.dh; ++y)
            for (int x = 0; x < k.dw; ++x)
                for (int c = 0; c < 4; ++c) {
                    const double d = std::abs(dst[size_t(y) * stride + size_t(x) * 4 + size_t(c)] -
                                              Exact(src, k.sw, k.sh, x, y, c));
                    worst = d > worst ? d : worst;
                }
        EXPECT_LE(worst, 1.5);
        for (int y = 0; y <= k.dh; ++y)
            for (size_t i = y < k.dh ? size_t(k.dw) * 4 : 0; i < stride; ++i)
                ASSERT_EQ(dst[size_t(y) * stride + i], 0xA5) << "wrote past the row at " << y;
    }

    // Sizes that are not double the source's draw nothing.
    std::vector<u8> src(16, 9), dst(64, 0);
    Backends::UpscaleDouble(src.data(), 2, 2, 8, dst.data(), 2, 4, 16);
    Backends::UpscaleDouble(src.data(), 2, 2, 8, dst.data(), 4, 5, 16);
    EXPECT_EQ(dst, std::vector<u8>(64, 0));
}
