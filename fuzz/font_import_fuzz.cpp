// The font import text (the font manager's import format): the input split
// at the first "ZYN|" into the text and one glyph image, which is stored as
// "font_exports/f_65.tga" next to two fixed glyph images. The import runs in
// the temporary folder; the fonts and textures it made are dropped after
// each input, and every glyph sprite must lie inside its texture.
#include <unistd.h>

#include <cstdio>
#include <list>
#include <string>
#include <sys/stat.h>

#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/MemoryFile.h>

#include "FuzzSupport.h"

namespace {

std::string g_StartDir;

void WriteGlyph(const std::string& path, unsigned w, unsigned h) {
    Zyn::Image image(w, h);
    for (size_t i = 0; i < size_t(w) * h * 4; ++i) image.data[i] = uint8_t(i * 7);
    Zyn::DiskFile file(path.c_str(), "wb");
    ZYN_FUZZ_CHECK(file.IsOpen() && image.SaveToTGA(file));
}

// Drops what nobody holds, fonts first: they hold their textures.
void DropManaged() {
    std::list<Zyn::Object*> fonts;
    Zyn::GetCreateFontManager()->EnumObjects(0, fonts);
    for (Zyn::Object* f : fonts)
        if (f->GetRefCount() == 0) Zyn::Ref<Zyn::Object>{f};
    std::list<Zyn::Object*> textures;
    Zyn::GetCreateTextureManager()->EnumObjects(0, textures);
    for (Zyn::Object* t : textures)
        if (t->GetRefCount() == 0) Zyn::Ref<Zyn::Object>{t};
}

void CheckFonts() {
    std::list<Zyn::Object*> fonts;
    Zyn::GetCreateFontManager()->EnumObjects(0, fonts);
    for (Zyn::Object* o : fonts) {
        Zyn::Font* font = ZYN_Cast<Zyn::Font, Zyn::Object>(o);
        ZYN_FUZZ_CHECK(font != nullptr);
        Zyn::Texture* texture = font->GetFontTexture();
        if (!texture) continue;
        for (const auto& glyph : font->GetGlyphs()) {
            // A later block that names the same texture starts its sprite
            // table again: the earlier fonts' ids may then be past its end,
            // which draws sprite 0.
            if (glyph.second.sprite >= unsigned(texture->GetSpriteCount())) continue;
            const Zyn::Rect<short> r = texture->GetSpriteTextureRect(glyph.second.sprite);
            ZYN_FUZZ_CHECK(r.x1 >= 0 && r.y1 >= 0 && r.x2 <= int(texture->GetWidth()) &&
                           r.y2 <= int(texture->GetHeight()));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    ZynFuzz::InitGraphics();
    char cwd[4096];
    ZYN_FUZZ_CHECK(getcwd(cwd, sizeof cwd) != nullptr);
    g_StartDir = cwd;
    const std::string folder = ZynFuzz::TempDir() + "/font_exports";
    mkdir(folder.c_str(), 0700);
    WriteGlyph(folder + "/f_66.tga", 7, 9);
    WriteGlyph(folder + "/f_67.tga", 12, 3);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<ZynFuzz::Bytes> parts = ZynFuzz::Split(data, size, 2);
    // The importer reads "font_exports" below the working directory; libFuzzer
    // itself only uses its paths between inputs.
    ZYN_FUZZ_CHECK(chdir(ZynFuzz::TempDir().c_str()) == 0);
    const std::string glyph = "font_exports/f_65.tga";
    if (parts.size() > 1) {
        FILE* f = std::fopen(glyph.c_str(), "wb");
        ZYN_FUZZ_CHECK(f != nullptr);
        ZYN_FUZZ_CHECK(parts[1].empty() || std::fwrite(parts[1].data(), 1, parts[1].size(), f) == parts[1].size());
        std::fclose(f);
    } else {
        std::remove(glyph.c_str());
    }
    Zyn::MemoryFile text(parts[0].data(), unsigned(parts[0].size()));
    (void)Zyn::GetCreateFontManager()->Import(0, text);
    CheckFonts();
    DropManaged();
    ZYN_FUZZ_CHECK(chdir(g_StartDir.c_str()) == 0);
    return 0;
}
