#include "FontBuild.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <list>
#include <system_error>

#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/FontPacker.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace ZynFont {

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// Runs a piece of work inside a folder and comes back to where it started.
class ScopedFolder {
public:
    explicit ScopedFolder(const std::string& dir) {
        std::error_code ec;
        m_Home = std::filesystem::current_path(ec);
        if (ec) return;
        std::filesystem::current_path(dir, ec);
        m_bEntered = !ec;
    }
    ~ScopedFolder() {
        std::error_code ec;
        if (m_bEntered) std::filesystem::current_path(m_Home, ec);
    }
    bool IsEntered() const { return m_bEntered; }

private:
    std::filesystem::path m_Home;
    bool m_bEntered = false;
};

}  // namespace

std::string ExportText(const FontArt& art, const char* appName) {
    std::string text = Printf("# ZYN Font Export (%s)\r\n", appName ? appName : "");
    text += "# Number of textures: 1\r\n";
    text += "# TEXTURE tag help: <TEXTURE=name,width, height>\r\n";
    text +=
        "# FONT tag help: <FONT=font_name,top_spacing, bottom_spacing, left_spacing, right_scpaing, "
        "font_height, space_width, max_bear_y>\r\n";
    text += "# GLYPH tag help: <GLYPH=unicode_id,x_img_offset, y_img_offset, character_advance>\r\n";
    text += "# Graphics exported to: cur_dir\\font_exports\r\n\r\n";
    text += Printf("<TEXTURE=%s,%u,%u>\r\n", art.TextureName().c_str(), art.textureWidth, art.textureHeight);
    const int s = art.spacing ? 1 : 0;
    text += Printf("\t<FONT=%s,%d,%d,%d,%d,%u,%d,%d>\r\n", art.FontName().c_str(), s, s, s, s, art.fontHeight,
                   art.spaceWidth, art.maxBearY);
    for (const GlyphArt& g : art.glyphs)
        text += Printf("\t\t<GLYPH=%d,%d,%d,%d>\r\n", g.code, g.xOffset, g.yOffset, g.advance);
    text += "\t</FONT>\r\n</TEXTURE>\r\n";
    return text;
}

bool WriteFontExport(const FontArt& art, const char* appName, const std::string& dir,
                     const std::string& textName, std::string& error) {
    const std::string folder = dir + "/font_exports";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Printf("cannot create %s: %s", folder.c_str(), std::strerror(errno));
        return false;
    }
    for (const GlyphArt& g : art.glyphs) {
        if (!g.image || g.image->IsEmpty()) continue;
        const std::string path = Printf("%s/%s_%d.tga", folder.c_str(), art.FontName().c_str(), g.code);
        DiskFile out(path.c_str(), "wb");
        if (!out.IsOpen() || !g.image->SaveToTGA(out)) {
            error = "cannot write " + path;
            return false;
        }
    }
    const std::string text = ExportText(art, appName);
    return WriteBytes(dir + "/" + textName, std::vector<unsigned char>(text.begin(), text.end()), error);
}

int CountUnplaced(const FontArt& art, unsigned width, unsigned height) {
    // The same list, order and rules as the importer's packing of one font.
    FontImportInfo info;
    std::vector<GlyphImport*> list;
    std::vector<GlyphImport> glyphs(art.glyphs.size());
    for (size_t i = 0; i < art.glyphs.size(); ++i) {
        const GlyphArt& a = art.glyphs[i];
        const bool hasImage = a.image && !a.image->IsEmpty();
        glyphs[i].code = a.code;
        glyphs[i].width = hasImage ? a.image->width : 0;
        glyphs[i].height = hasImage ? a.image->height : 0;
        glyphs[i].owner = &info;
        list.push_back(&glyphs[i]);
    }
    SortGlyphsForPacking(list);
    const unsigned gap = art.spacing ? 1 : 0;
    TexturePlaceNode root(0, width, 0, height);
    int unplaced = 0;
    // Sprite 0 is the whole texture; glyph sprite ids are 16-bit.
    int sprites = 1;
    for (GlyphImport* g : list) {
        if (sprites >= 0x10000) {
            ++unplaced;
            continue;
        }
        if ((g->width == 0 && gap == 0) || root.InsertNode(g, gap))
            ++sprites;
        else
            ++unplaced;
    }
    return unplaced;
}

bool ChooseTextureSize(const FontArt& art, unsigned& width, unsigned& height) {
    const unsigned gap = art.spacing ? 1 : 0;
    unsigned long long area = 0;
    for (const GlyphArt& g : art.glyphs)
        if (g.image && !g.image->IsEmpty())
            area += (unsigned long long)(g.image->width + gap) * (g.image->height + gap);
        else
            area += gap;
    for (unsigned w = 64, h = 64; h <= kMaxTextureSize;) {
        if ((unsigned long long)w * h >= area && CountUnplaced(art, w, h) == 0) {
            width = w;
            height = h;
            return true;
        }
        if (w == h)
            w *= 2;
        else
            h *= 2;
        if (w > kMaxTextureSize) break;
    }
    return false;
}

bool ImportFontExport(const std::string& dir, const std::string& textName, std::string& error) {
    ScopedFolder inside(dir);
    if (!inside.IsEntered()) {
        error = "cannot enter " + dir;
        return false;
    }
    DiskFile text(textName.c_str(), "rb");
    if (!text.IsOpen()) {
        error = "cannot read " + dir + "/" + textName;
        return false;
    }
    if (!GetCreateFontManager()->Import(0, text)) {
        error = "the font manager could not import " + dir + "/" + textName;
        return false;
    }
    return true;
}

bool CollectBuiltFont(const std::string& fontName, BuiltFont& out, std::string& error) {
    Object* found = GetCreateFontManager()->FindObject(fontName.c_str(), &Font::sm_Class, -1);
    // Held for the collection; letting go at the end releases what the import made.
    Ref<Font> font(ZYN_Cast<Font, Object>(found));
    Texture* texture = font ? font->GetFontTexture() : nullptr;
    if (!texture) {
        error = "the import made no font " + fontName + " with a texture";
        return false;
    }
    VectorFile image, sprites, file;
    if (!texture->SaveTexture(image) || !texture->SaveTextureExData(sprites) || !font->SaveToFile(file)) {
        error = "cannot save the texture, sprite table or font of " + fontName;
        return false;
    }
    out.textureName = texture->GetName();
    out.texture = image.GetVector();
    out.sprites = sprites.GetVector();
    out.font = file.GetVector();
    out.glyphCount = int(font->GetGlyphs().size());
    return true;
}

std::vector<std::string> ManagedFontNames() {
    std::list<Object*> fonts;
    GetCreateFontManager()->EnumObjects(0, fonts);
    std::vector<std::string> names;
    for (Object* f : fonts) names.push_back(f->GetName());
    return names;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    DiskFile out(path.c_str(), "wb");
    if (!out.IsOpen() || out.Write(bytes.data(), unsigned(bytes.size())) != bytes.size()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

OffscreenGL::OffscreenGL() = default;

OffscreenGL::~OffscreenGL() {
    if (m_bStarted) Graphics::ShutDown();
}

bool OffscreenGL::Start() {
    m_pSurface.reset(CreateOffscreenSurface());
    AppSettings s;
    s.screenWidth = s.appWidth = 64;
    s.screenHeight = s.appHeight = 64;
    s.windowed = true;
    m_bStarted = Graphics::Init(m_pSurface.get(), s);
    return m_bStarted;
}

}  // namespace ZynFont
