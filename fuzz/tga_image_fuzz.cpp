// The TGA reader of Zyn::Image: whatever it accepts it must write back as a
// TGA that reads to the same pixels.
#include <cstring>

#include <zyn/graphics/Image.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Zyn::MemoryFile file(data, unsigned(size));
    Zyn::Image image(file);
    if (image.IsEmpty()) {
        ZYN_FUZZ_CHECK(image.width == 0 && image.height == 0);
        return 0;
    }
    ZYN_FUZZ_CHECK(image.width > 0 && image.width <= 0xFFFF && image.height > 0 && image.height <= 0xFFFF);
    // 18 header bytes and every pixel came from the input.
    ZYN_FUZZ_CHECK(18 + size_t(image.width) * image.height * 4 <= size);

    Zyn::VectorFile out;
    ZYN_FUZZ_CHECK(image.SaveToTGA(out));
    out.Seek(0, 0);
    Zyn::Image again(out);
    ZYN_FUZZ_CHECK(again.width == image.width && again.height == image.height);
    ZYN_FUZZ_CHECK(std::memcmp(again.data, image.data, size_t(image.width) * image.height * 4) == 0);
    return 0;
}
