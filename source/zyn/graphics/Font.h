// A bitmap font resource: glyphs are sprites of one shared texture. Draws
// NUL-terminated UTF-8 text on one line or laid out in a rectangle, and
// measures it. Text is never trusted: a byte sequence that is not valid UTF-8
// counts as one character without glyph (blank space of the space width).
// Drawing belongs to the frame thread; measuring touches no GL state.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <zyn/core/Interfaces.h>
#include <zyn/resources/Resource.h>

namespace Zyn {

class File;
class Texture;

/// Layout flags of the rectangle functions.
enum TextFlags : int {
    TEXT_RIGHT = 1,     // lines end at the right edge
    TEXT_CENTER_X = 2,  // lines centred horizontally (wins over TEXT_RIGHT)
    TEXT_CENTER_Y = 4,  // the block of lines centred vertically
    TEXT_BOTTOM = 8,    // the block ends at the bottom edge (TEXT_CENTER_Y wins)
    TEXT_WRAP = 16      // lines break at the rectangle's width
};

class Font : public Resource, public IExportable {
    ZYN_DECLARE_CLASS(Font)

public:
    /// One glyph, 8 bytes: a sprite of the font texture placed relative to the pen.
    struct FontGlyph {
        u16 sprite;
        s16 xOffset;  // added to the pen x (DrawSprite then subtracts the sprite origin)
        s16 yOffset;  // added to the baseline y
        s16 advance;  // pen advance after the glyph
    };

    /// One line laid out in a rectangle: where it is drawn and which bytes of the text it covers.
    struct TextLine {
        float x;            // pen start
        float y;            // baseline
        const char* start;  // first byte of the line inside the laid-out text
        int count;          // characters, including a closing newline or terminator
        float width;        // measured width (without a trailing break character)
    };

    /// Characters drawn for maxChars 0.
    static constexpr int kMaxCharsUnlimited = 100000;

    explicit Font(const char* name = "");
    ~Font() override;
    ZYN_STATIC_CREATE(Font)

    /// Reads the ".zyn_fnt" format and takes its texture from the texture manager.
    /// A file that is short or whose glyph count exceeds the stream is rejected
    /// (false, logged) and leaves the font as it was.
    bool LoadFromFile(File& file) override;
    /// Writes the ".zyn_fnt" format; false without texture or on a failed write.
    [[nodiscard]] bool SaveToFile(File& file);

    // IExportable: 0 is the font file.
    unsigned GetExportFormats() override;
    void GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    bool Export(unsigned index, File& file) override;

    /// Borrowed; null when the font has no texture.
    Texture* GetFontTexture() const { return m_pTexture; }
    /// Takes a reference to the new texture (may be null) and drops the old one.
    void SetFontTexture(Texture* texture);

    /// Replaces the texture and the metrics and clears the glyphs. Always true.
    bool InitEmptyFont(Texture* texture, int spaceWidth, int maxBearY, unsigned fontHeight);
    /// Sets (or replaces) the glyph of a code point. False (logged) when the
    /// texture lacks the sprite or the font has no texture.
    bool AddGlyph(int code, unsigned short sprite, short xOffset, short yOffset, short advance);
    /// Adds delta to every glyph's sprite id (16-bit wrap-around).
    void OffsetGlyphSprites(int delta);
    /// sides[0..3] (top, bottom, left, right): true when no glyph sprite touches
    /// another sprite of the texture on that side. False without texture.
    bool GetGlyphSpriteSpacing(bool* sides);
    /// Writes one GLYPH line per glyph to file and each glyph's pixels to
    /// "<font name>_<code>.tga" in the working directory. Needs a GL texture.
    /// False when a glyph image could not be written (the others still are).
    bool ExportGlyphs(File& file);

    // One line from (x, y) (the pen on the baseline); LF starts a new line 1.5
    // font heights lower. maxChars 0 means no limit; a negative value draws nothing.
    void RenderText(float x, float y, float z, const char* text, Color color, int maxChars);
    void RenderTextScale(float x, float y, float z, const char* text, float scale, Color color, int maxChars);
    /// The rectangle RenderText would cover: from the top of the tallest glyph of
    /// the first line to one font height below the last line, as wide as the widest line.
    void GetTextRect(Rect<float>& out, float x, float y, const char* text, int maxChars);
    void GetTextScaleRect(Rect<float>& out, float x, float y, const char* text, float scale, int maxChars);

    /// Lays the text out in the rectangle by the flags and draws it. Lines
    /// above the rectangle are skipped; the line that crosses its bottom is
    /// the last one drawn.
    void RenderTextInRect(float x, float y, unsigned width, unsigned height, float z, int flags,
                          const char* text, Color color, float lineSpacing);
    void RenderTextInRectScale(const Rect<float>& rect, float z, int flags, const char* text, float scale,
                               Color color, float lineSpacing);
    /// The lines RenderTextInRect would draw, appended to out, without drawing.
    /// Returns the number appended. The lines point into text.
    int LayoutTextInRect(float x, float y, unsigned width, unsigned height, int flags, const char* text,
                         float lineSpacing, std::vector<TextLine>& out);
    int LayoutTextInRectScale(const Rect<float>& rect, int flags, const char* text, float scale,
                              float lineSpacing, std::vector<TextLine>& out);

    // Draw exactly count characters without newline handling (LF and the
    // terminator draw nothing and advance by the space width).
    void _RenderCharacters(float x, float y, float z, const char* text, Color color, int count);
    void _RenderCharactersScale(float x, float y, float z, const char* text, Color color, int count,
                                float scale);

    /// Borrowed; null when the code point has no glyph.
    const FontGlyph* GetGlyph(int code) const;
    const std::map<int, FontGlyph>& GetGlyphs() const { return m_Glyphs; }
    int GetSpaceWidth() const { return m_SpaceWidth; }
    int GetMaxBearY() const { return m_MaxBearY; }
    unsigned GetFontHeight() const { return m_FontHeight; }

    static void RegisterProps(Class* cls);

private:
    // Pen advance of the character at text, which is moved past it.
    int AdvanceOf(const char*& text) const;
    typedef void (*LineFn)(void* context, const TextLine& line);
    // The rectangle layout shared by drawing and LayoutTextInRect*: hands each
    // visible line to emit. wholePixels selects the unscaled rules (truncated
    // line step and centring).
    void LayoutLines(const Rect<float>& box, float width, float height, int flags, const char* text,
                     float scale, float lineSpacing, bool wholePixels, LineFn emit, void* context) const;

    Texture* m_pTexture = nullptr;  // one reference held
    std::map<int, FontGlyph> m_Glyphs;
    s32 m_SpaceWidth = 0;
    s32 m_MaxBearY = 0;
    u32 m_FontHeight = 0;
};

static_assert(sizeof(Font::FontGlyph) == 8, "FontGlyph is an 8-byte record");

class FontManager;
/// The font manager, created on first call; borrowed, never null.
FontManager* GetCreateFontManager();

}  // namespace Zyn
