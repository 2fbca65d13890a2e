// Font files (".zyn_fnt"): loaded over the debug font's texture (or any
// name), then text is measured, laid out and drawn with what was read.
#include <string>
#include <vector>

#include <zyn/graphics/Font.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "FuzzSupport.h"

namespace {

bool g_bGraphics = false;

const char* const kTexts[] = {"Hello, world!\nSecond line", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                              "bad \xC3 \xFF\xFE utf-8", "", "a\n\n\nb c d e f g h i j k l m n o p"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    g_bGraphics = ZynFuzz::InitGraphics();
    if (g_bGraphics) ZynFuzz::HoldSceneResources();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Zyn::Ref<Zyn::Font> font(new Zyn::Font("fuzz.zyn_fnt"));
    Zyn::MemoryFile file(data, unsigned(size));
    if (!font->LoadFromFile(file)) return 0;

    // A loaded font writes back what it read (when it found its texture).
    Zyn::VectorFile saved;
    if (font->GetFontTexture()) {
        ZYN_FUZZ_CHECK(font->SaveToFile(saved));
        saved.Seek(0, 0);
        Zyn::Ref<Zyn::Font> again(new Zyn::Font("again.zyn_fnt"));
        ZYN_FUZZ_CHECK(again->LoadFromFile(saved));
        ZYN_FUZZ_CHECK(again->GetGlyphs().size() == font->GetGlyphs().size());
    }
    bool sides[4];
    (void)font->GetGlyphSpriteSpacing(sides);

    std::vector<Zyn::Font::TextLine> lines;
    Zyn::Rect<float> rect;
    const bool draw = g_bGraphics && font->GetFontTexture() && ZynFuzz::BeginTinyFrame();
    for (const char* text : kTexts) {
        font->GetTextRect(rect, 3.0f, 20.0f, text, 0);
        font->GetTextScaleRect(rect, 3.0f, 20.0f, text, 0.5f, 7);
        lines.clear();
        font->LayoutTextInRect(0.0f, 0.0f, 50, 40, Zyn::TEXT_WRAP | Zyn::TEXT_CENTER_X | Zyn::TEXT_CENTER_Y, text,
                               1.0f, lines);
        font->LayoutTextInRectScale(Zyn::Rect<float>(2, 2, 60, 60), Zyn::TEXT_WRAP | Zyn::TEXT_RIGHT | Zyn::TEXT_BOTTOM,
                                    text, 1.5f, 1.2f, lines);
        if (draw) {
            font->RenderText(2.0f, 20.0f, 0.5f, text, 0xFFFFFFFF, 0);
            font->RenderTextInRect(0.0f, 0.0f, 64, 64, 0.5f, Zyn::TEXT_WRAP, text, 0xFFFFFFFF, 1.0f);
        }
    }
    if (draw) ZynFuzz::EndTinyFrame();
    return 0;
}
