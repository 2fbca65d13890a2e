// A plain RGBA pixel buffer (4 bytes a pixel, rows top to bottom) with a TGA
// reader and writer. Pixel bytes are kept as they stand; no channel swapping.
#pragma once

#include <zyn/core/Types.h>

namespace Zyn {

class File;

class Image {
public:
    /// Allocates width x height pixels, uninitialised. Sizes whose byte count
    /// does not fit the address space give an empty image (logged).
    Image(unsigned width, unsigned height);
    /// Reads an uncompressed 32-bit TGA. On any failure the image stays empty
    /// (data null, width = height = 0) and the reason is logged.
    explicit Image(File& file);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    /// Writes an uncompressed 32-bit TGA with a top-left origin.
    /// False for an empty image or a short write.
    [[nodiscard]] bool SaveToTGA(File& file);

    bool IsEmpty() const { return data == nullptr; }

    /// width x height x 4 bytes, owned by the image (array delete).
    u8* data = nullptr;
    u32 width = 0;
    u32 height = 0;
};

}  // namespace Zyn
