// Frames drawn at half size are shown stretched over the window by the
// processor where the window system cannot stretch them: one pass over the
// window's pixels, far cheaper than rasterising all of them.
#pragma once

#include <cstddef>

#include <zyn/core/Types.h>

namespace Zyn {
namespace Backends {

/// Doubles a frame of 4-byte pixels in each direction with bilinear weights
/// (3/4 the nearest source pixel, 1/4 the next one, clamped at the edges),
/// every byte alike. `src` holds `sh` rows of `sw` pixels, `srcStride`
/// bytes apart, bottom row first as GL reads them; `dst` gets `dh` rows of
/// `dw` pixels, `dstStride` bytes apart, top row first. `dw` and `dh` may be
/// one short of double (an odd window drops the last column or row); other
/// sizes draw nothing.
void UpscaleDouble(const u8* src, int sw, int sh, size_t srcStride, u8* dst, int dw, int dh, size_t dstStride);

}  // namespace Backends
}  // namespace Zyn
