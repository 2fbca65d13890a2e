// The TGA decoder, as LoadTextureData reaches it: TGA has no signature, so
// the option bit that would add one adds nothing.
#include "ImageDecodeHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return ZynFuzz::DecodeOne(data, size, nullptr, 0);
}
