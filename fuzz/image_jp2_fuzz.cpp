// The image decoder for JPEG 2000 files (".jp2"), as LoadTextureData reaches it.
#include "ImageDecodeHarness.h"

namespace {
const unsigned char kSignature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ZynFuzz::DecodeOne(data, size, kSignature, sizeof kSignature);
}
