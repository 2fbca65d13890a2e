// The binary sprite file ("_ex"): loaded onto a 96 x 48 texture and onto one
// without size, at an offset taken from the input; the sprites are then
// measured, moved and drawn, and saved, which must load back unchanged.
#include <cstring>

#include <zyn/graphics/Texture.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "FuzzSupport.h"

namespace {

Zyn::Texture* g_pSized = nullptr;    // owned for the process
Zyn::Texture* g_pUnsized = nullptr;  // owned for the process
bool g_bGraphics = false;

void Exercise(Zyn::Texture& t) {
    const unsigned count = unsigned(t.GetSpriteCount());
    ZYN_FUZZ_CHECK(count >= 1);
    // The same sprites saved and loaded onto a texture of the same size
    // (here: the same texture after a reset) come back bit for bit.
    Zyn::VectorFile saved;
    ZYN_FUZZ_CHECK(t.SaveTextureExData(saved));
    std::vector<Zyn::Texture::SpriteDef> before;
    for (unsigned i = 0; i < count; ++i) before.push_back(t.GetSpriteDef(i));
    if (count > 1) {
        t.ResetSprites();
        saved.Seek(0, 0);
        ZYN_FUZZ_CHECK(t.LoadTextureExData(saved, 0, 0));
        ZYN_FUZZ_CHECK(unsigned(t.GetSpriteCount()) == count);
        for (unsigned i = 1; i < count; ++i)
            ZYN_FUZZ_CHECK(std::memcmp(&before[i], &t.GetSpriteDef(i), sizeof before[i]) == 0);
    }

    for (unsigned i = 0; i <= count; ++i) {
        (void)t.GetSpriteTextureRect(i);
        t.TranslateSpriteDef(i, 3, -5);
    }
    Zyn::VectorFile text;
    ZYN_FUZZ_CHECK(t.Export(2, text));
    if (g_bGraphics && ZynFuzz::BeginTinyFrame()) {
        const unsigned drawn = count < 40 ? count : 40;
        for (unsigned i = 0; i < drawn; ++i) {
            t.DrawSprite(i, 10.0f, 20.0f, 0.5f, 0xFFFFFFFF);
            t.DrawSpriteEx(i, 30.0f, 30.0f, 0.3f, 1.5f, -2.0f, 0.5f, 0x80FF0000);
        }
        ZynFuzz::EndTinyFrame();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    g_bGraphics = ZynFuzz::InitGraphics();
    g_pSized = new Zyn::Texture("sized.tga");
    g_pSized->AddRef();
    if (!g_bGraphics || !g_pSized->InitEmptyTexture(96, 48, false)) g_bGraphics = false;
    g_pUnsized = new Zyn::Texture("unsized.tga");
    g_pUnsized->AddRef();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    Zyn::Texture& t = (data[0] & 1) && g_bGraphics ? *g_pSized : *g_pUnsized;
    const int offsetX = int8_t(data[1]) * ((data[0] & 2) ? 1000 : 1);
    const int offsetY = int8_t(data[2]) * ((data[0] & 4) ? 1000 : 1);
    t.ResetSprites();
    Zyn::MemoryFile file(data + 3, unsigned(size - 3));
    const bool loaded = t.LoadTextureExData(file, offsetX, offsetY);
    if (!loaded) ZYN_FUZZ_CHECK(t.GetSpriteCount() >= 1);
    Exercise(t);
    t.ResetSprites();
    return 0;
}
