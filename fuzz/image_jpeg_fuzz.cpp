// The image decoder for JPEG, as LoadTextureData reaches it.
#include "ImageDecodeHarness.h"

namespace {
const unsigned char kSignature[] = {0xFF, 0xD8, 0xFF};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ZynFuzz::DecodeOne(data, size, kSignature, sizeof kSignature);
}
