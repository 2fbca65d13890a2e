// The image decoder for raw JPEG 2000 codestreams, as LoadTextureData reaches it.
#include "ImageDecodeHarness.h"

namespace {
const unsigned char kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ZynFuzz::DecodeOne(data, size, kSignature, sizeof kSignature);
}
