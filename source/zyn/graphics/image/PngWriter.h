// Writes RGBA frames as PNG files for headless exports. The bytes depend
// only on the pixels: no time stamp, fixed compression settings.
#pragma once

#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

/// Writes `rgba` (w × h pixels, rows top to bottom, 4 bytes each) as an
/// 8-bit RGBA PNG. False, logged, on a size mismatch or a write failure; no
/// partial file is left behind.
[[nodiscard]] bool WritePNG(const char* path, int w, int h, const std::vector<u8>& rgba);

}  // namespace Zyn
