// Tiles a series of frames, scaled down, into one overview image for
// headless exports.
#pragma once

#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

struct ContactSheet {
    int width = 0;
    int height = 0;
    std::vector<u8> rgba;  // rows top to bottom, 4 bytes a pixel
};

/// Places `frames` (each frameW × frameH RGBA, top row first) left to right
/// and top to bottom in rows of `columns` tiles of tileW × tileH pixels,
/// each the box-filtered average of its part of the frame. Unused tiles are
/// opaque black. False, logged, on bad sizes, frames of the wrong length or
/// a sheet larger than 8192 pixels a side.
[[nodiscard]] bool BuildContactSheet(const std::vector<std::vector<u8>>& frames, int frameW, int frameH,
                                     int columns, int tileW, int tileH, ContactSheet& sheet);

}  // namespace Zyn
