// The sprite text format (Texture::Import(1, ...)) onto a 96 x 48 texture
// and onto one without size. What the sized texture imported is exported
// and imported again, which must give as many sprites.
#include <zyn/graphics/Texture.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "FuzzSupport.h"

namespace {

Zyn::Texture* g_pSized = nullptr;    // owned for the process
Zyn::Texture* g_pUnsized = nullptr;  // owned for the process
bool g_bSized = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    g_pSized = new Zyn::Texture("sized.tga");
    g_pSized->AddRef();
    g_bSized = ZynFuzz::InitGraphics() && g_pSized->InitEmptyTexture(96, 48, false);
    g_pUnsized = new Zyn::Texture("unsized.tga");
    g_pUnsized->AddRef();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Zyn::Texture& t = (data[0] & 1) && g_bSized ? *g_pSized : *g_pUnsized;
    t.ResetSprites();
    Zyn::MemoryFile file(data + 1, unsigned(size - 1));
    const bool imported = t.Import(1, file);
    const int count = t.GetSpriteCount();
    ZYN_FUZZ_CHECK(count >= 1);
    for (int i = 0; i <= count; ++i) (void)t.GetSpriteTextureRect(unsigned(i));
    Zyn::VectorFile text;
    ZYN_FUZZ_CHECK(t.Export(2, text));
    // A texture without size exports "0,0", which the format refuses.
    if (imported && t.GetWidth() > 0) {
        text.Seek(0, 0);
        ZYN_FUZZ_CHECK(t.Import(1, text));
        ZYN_FUZZ_CHECK(t.GetSpriteCount() == count);
    }
    t.ResetSprites();
    return 0;
}
