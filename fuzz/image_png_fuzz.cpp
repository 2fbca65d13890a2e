// The image decoder for PNG, as LoadTextureData reaches it.
#include "ImageDecodeHarness.h"

namespace {
const unsigned char kSignature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ZynFuzz::DecodeOne(data, size, kSignature, sizeof kSignature);
}
