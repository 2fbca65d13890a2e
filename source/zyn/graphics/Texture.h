// A named, shared texture resource: one GL texture and a table of sprites
// (rectangles of the texture with an origin), addressed by a small id.
// Sprite 0 always exists and covers the whole texture. Drawing and loading
// issue GL calls: frame thread only; the sprite drawing calls share one
// static quad and are not re-entrant.
#pragma once

#include <string>
#include <vector>

#include <zyn/core/Interfaces.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/resources/Resource.h>

namespace Zyn {

class File;
class TextureManager;

class Texture : public Resource, public IExportable, public IImportable {
    ZYN_DECLARE_CLASS(Texture)

public:
    /// One sprite; the binary sprite file stores exactly these 24 bytes.
    struct SpriteDef {
        u16 width;
        u16 height;
        s16 xOrigin;
        s16 yOrigin;
        float uLeft;
        float uRight;
        float vTop;
        float vBottom;
    };

    explicit Texture(const char* name = "");
    ~Texture() override;
    ZYN_STATIC_CREATE(Texture)

    /// The process-wide texture "null_texture" (no GL texture, only sprite 0),
    /// with one more reference for the caller. Never destroyed by Release.
    static Texture* GetNullResource();
    /// Deletes the object, except for the null texture.
    void DeleteThis() override;

    /// Loads the image (with its "_a" alpha and "_ex" sprite side files) or a
    /// ".tex" descriptor. An image that does not decode still gives true with
    /// no GL texture; only a descriptor without a usable colour image fails.
    bool LoadFromFile(File& file) override;
    /// A zero-filled RGBA texture; false (logged) when it cannot be made.
    bool InitEmptyTexture(unsigned width, unsigned height, bool mipmaps);

    // Sprites. Corners in pixels, (x2, y2) exclusive. Return the new id.
    int RegisterSprite(int x1, int y1, int x2, int y2);
    int RegisterSprite(int x1, int y1, int x2, int y2, short xOrigin, short yOrigin);
    /// Leaves only sprite 0, the whole texture with its origin at the centre.
    void ResetSprites();
    int GetSpriteCount() const { return int(m_Sprites.size()); }
    /// Moves a sprite's rectangle by whole pixels; sprite 0 and unknown ids stay.
    void TranslateSpriteDef(unsigned id, int dx, int dy);
    /// The sprite's rectangle in texture pixels; unknown ids give sprite 0's.
    Rect<short> GetSpriteTextureRect(unsigned id) const;
    /// Borrowed, valid until the table changes; unknown ids give sprite 0.
    const SpriteDef& GetSpriteDef(unsigned id) const { return m_Sprites[id < m_Sprites.size() ? id : 0]; }

    // Drawing through the renderer's batch; unknown ids draw sprite 0.
    /// Origin at (x, y).
    void DrawSprite(unsigned id, float x, float y, float z, Color color);
    /// Top-left corner at (x, y); the origin is ignored.
    void DrawSpriteSimple(unsigned id, float x, float y, float z, Color color);
    /// Scaled about the origin, then turned about it (radians, clockwise on screen).
    void DrawSpriteEx(unsigned id, float x, float y, float angle, float scaleX, float scaleY, float z,
                      Color color);
    /// As above with one colour per corner: top-left, top-right, bottom-right, bottom-left.
    void DrawSpriteEx(unsigned id, float x, float y, float angle, float scaleX, float scaleY, float z,
                      Color c0, Color c1, Color c2, Color c3);

    // The binary sprite file (the "_ex" side file).
    [[nodiscard]] bool SaveTextureExData(File& file);
    /// Appends the file's sprites 1..n-1, shifted by the offset in pixels and
    /// rescaled when the file was saved for another texture size.
    [[nodiscard]] bool LoadTextureExData(File& file, int offsetX, int offsetY);
    /// The texture's pixels as TGA; false when there is no GL texture.
    [[nodiscard]] bool SaveTexture(File& file);

    // IExportable: 0 TGA image, 1 binary sprite file, 2 sprite text.
    unsigned GetExportFormats() override;
    void GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    bool Export(unsigned index, File& file) override;
    // IImportable: 0 binary sprite file, 1 sprite text.
    unsigned GetImportFormats() override;
    void GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    bool Import(unsigned index, File& file) override;

    /// Borrowed; null when there is no GL texture.
    TexHandle GetTexHandle() const { return m_Handle; }
    unsigned GetWidth() const { return m_Width; }
    unsigned GetHeight() const { return m_Height; }

    static void RegisterProps(Class* cls);

    /// Textures loaded while this is set get mipmaps.
    static bool ms_bMipMaps;
    /// Mipmapped textures loaded while this is set blend two mipmap levels
    /// when sampled (true, the default); else they take the nearest level.
    static bool ms_bBlendMipLevels;
    /// The one quad every sprite drawing call fills and sends.
    static BasicVertex ms_SpriteVertex[4];

private:
    void ReleaseGLTexture();
    // The extension of the binary sprite file: the name's extension + "_ex".
    std::string ExDataExtension() const;
    bool ExportSpriteText(File& file);
    bool ImportSpriteText(File& file);
    // Fills the texture coordinates of the shared quad and sends it.
    void SendSpriteQuad(const SpriteDef& s);

    TexHandle m_Handle;  // owned; released with the texture
    u32 m_Width = 0;
    u32 m_Height = 0;
    std::vector<SpriteDef> m_Sprites;
};

static_assert(sizeof(Texture::SpriteDef) == 24, "SpriteDef is a 24-byte file record");

}  // namespace Zyn
