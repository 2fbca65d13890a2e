// Building a bitmap font through the font manager's importer: glyph images and
// their export text are written into a folder, imported there (the binary-tree
// packer places the images into the texture), and the texture, its sprite
// table and the font are collected as the bytes of their files. Shared by
// zynfont and zyn-debugfont, so that every font we ship comes out of the same
// chain. Import and collection need the GL context of an OffscreenGL.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <zyn/graphics/Image.h>

namespace Zyn {
class GLSurface;
}

namespace ZynFont {

/// One glyph to build: its image is white with the coverage as alpha.
struct GlyphArt {
    int code = 0;
    int xOffset = 0;  // the image's top-left corner from the pen
    int yOffset = 0;  // from the baseline; negative above it
    int advance = 0;
    std::unique_ptr<Zyn::Image> image;  // null for a glyph without pixels (a space)
};

/// A font to build. Its files are NAME.zyn_fnt, NAME.tga and NAME.tga_ex.
struct FontArt {
    std::string name;
    unsigned textureWidth = 0;
    unsigned textureHeight = 0;
    bool spacing = true;  // one transparent pixel after every glyph
    int spaceWidth = 0;
    int maxBearY = 0;  // the smallest yOffset: top of the tallest glyph
    unsigned fontHeight = 0;
    std::vector<GlyphArt> glyphs;  // ascending code order, each code once

    std::string FontName() const { return name + ".zyn_fnt"; }
    std::string TextureName() const { return name + ".tga"; }
    std::string SpriteFileName() const { return name + ".tga_ex"; }
};

/// Largest texture side the importer makes.
constexpr unsigned kMaxTextureSize = 4096;

/// The font export text of the art, as FontManager::Export writes it.
std::string ExportText(const FontArt& art, const char* appName);

/// Writes DIR/TEXT_NAME (the export text) and DIR/font_exports/<font name>_<code>.tga
/// for every glyph with pixels. False with the reason in error.
bool WriteFontExport(const FontArt& art, const char* appName, const std::string& dir,
                     const std::string& textName, std::string& error);

/// Number of glyphs the importer's packer leaves out of a width x height texture.
int CountUnplaced(const FontArt& art, unsigned width, unsigned height);

/// The smallest power-of-two texture (each step doubles the width, then the
/// height) that holds every glyph. False when kMaxTextureSize squared does not.
bool ChooseTextureSize(const FontArt& art, unsigned& width, unsigned& height);

/// Runs the font manager's importer on DIR/TEXT_NAME inside DIR, where it
/// finds "font_exports". False with the reason in error.
bool ImportFontExport(const std::string& dir, const std::string& textName, std::string& error);

/// The three files of one imported font.
struct BuiltFont {
    std::string textureName;
    std::vector<unsigned char> texture;  // TGA
    std::vector<unsigned char> sprites;  // the texture's "_ex" sprite table
    std::vector<unsigned char> font;     // ".zyn_fnt"
    int glyphCount = 0;
};

/// Collects the files of the managed font named fontName, then lets the font
/// go (and its texture with it when nothing else holds it). False with the
/// reason in error.
bool CollectBuiltFont(const std::string& fontName, BuiltFont& out, std::string& error);

/// Names of the fonts the font manager holds, in its key order.
std::vector<std::string> ManagedFontNames();

/// Writes bytes to path; false with the reason in error.
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error);

/// A headless GL context for the duration of a run; textures need one.
class OffscreenGL {
public:
    OffscreenGL();
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;
    bool Start();

private:
    std::unique_ptr<Zyn::GLSurface> m_pSurface;
    bool m_bStarted = false;
};

}  // namespace ZynFont
