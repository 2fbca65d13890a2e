// Alpha merging: a colour image and an alpha image (the input split at the
// first "ZYN|"), decoded through LoadTextureData and merged into one texture.
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/io/MemoryFile.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    ZynFuzz::InitGraphics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool mipmaps = data[0] & 1;
    const std::vector<ZynFuzz::Bytes> parts = ZynFuzz::Split(data + 1, size - 1, 2);
    if (parts.size() != 2) return 0;
    Zyn::MemoryFile color(parts[0].data(), unsigned(parts[0].size()));
    Zyn::MemoryFile alpha(parts[1].data(), unsigned(parts[1].size()));
    Zyn::TexHandle tex = Zyn::Graphics::CreateAlphaMergedTexture(color, alpha, mipmaps);
    if (!tex.IsNull()) {
        unsigned w = 0, h = 0;
        Zyn::Graphics::GetTextureSize(tex, &w, &h);
        ZYN_FUZZ_CHECK(w >= 1 && h >= 1);
        Zyn::Graphics::ReleaseTexture(tex);
    }
    return 0;
}
