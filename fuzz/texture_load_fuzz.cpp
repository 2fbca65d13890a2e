// Texture files as the texture manager loads them: with the first byte even,
// an image with its "_a" alpha and "_ex" sprite side files; odd, a ".tex"
// descriptor whose lines may name "color.img", "alpha.img" and "sprites.ex".
// The rest of the input is split at "ZYN|" into the main file and the three
// side files.
#include <zyn/graphics/Texture.h>
#include <zyn/io/MemoryFile.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    ZynFuzz::InitGraphics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool descriptor = data[0] & 1;
    const std::vector<ZynFuzz::Bytes> parts = ZynFuzz::Split(data + 1, size - 1, 4);
    ZynFuzz::MemPackage* package = ZynFuzz::Package();
    const char* const name = descriptor ? "fuzz.tex" : "fuzz.png";
    static const char* const kImageSides[] = {"fuzz.png_a", "fuzz.png_ex", "fuzz.png"};
    static const char* const kDescriptorSides[] = {"color.img", "alpha.img", "sprites.ex"};
    const char* const* sides = descriptor ? kDescriptorSides : kImageSides;
    for (size_t i = 1; i < parts.size(); ++i) package->Set(sides[i - 1], parts[i]);

    {
        Zyn::Ref<Zyn::Texture> texture(new Zyn::Texture(name));
        Zyn::MemoryFile file(parts[0].data(), unsigned(parts[0].size()));
        const bool loaded = texture->LoadFromFile(file);
        ZYN_FUZZ_CHECK(descriptor || loaded);
        ZYN_FUZZ_CHECK(texture->GetSpriteCount() >= 1);
        if (!texture->GetTexHandle().IsNull())
            ZYN_FUZZ_CHECK(texture->GetWidth() >= 1 && texture->GetHeight() >= 1);
        for (int i = 0; i <= texture->GetSpriteCount() && i < 64; ++i)
            (void)texture->GetSpriteTextureRect(unsigned(i));
    }
    package->Clear();
    return 0;
}
