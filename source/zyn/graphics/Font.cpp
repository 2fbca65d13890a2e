#include <zyn/graphics/Font.h>

#include <cmath>
#include <cstdio>

#include <utf8cpp/utf8.h>

#include <zyn/core/Log.h>
#include <zyn/core/Property.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/File.h>

namespace Zyn {

namespace {

ResourceManagerBase* FontManagerOfRecord() { return GetCreateFontManager(); }

// Bytes of one glyph record in the font file: code point and four 16-bit fields.
constexpr unsigned kGlyphRecordBytes = 12;

// Moves p past one character of UTF-8 text and stores its code point in cp.
// Returns false for bytes that are not valid UTF-8; p then passes the lead
// byte and the trail bytes that belong to it, so that a broken sequence is one
// character. Never reads past a NUL: a NUL is no trail byte.
bool DecodeCharacter(const char*& p, uint32_t& cp) {
    const char* it = p;
    // The checked decoder reports errors by value here; it never throws and
    // stops at the first byte that cannot continue the sequence.
    const utf8::internal::utf_error err = utf8::internal::validate_next(it, p + 4, cp);
    if (err == utf8::internal::UTF8_OK) {
        p = it;
        return true;
    }
    const int length = utf8::internal::sequence_length(p);
    ++p;
    for (int i = 1; i < length && utf8::internal::is_trail(*p); ++i) ++p;
    return false;
}

// The font's one line break: a newline moves down by one and a half lines.
constexpr float kNewLineFactor = 1.5f;

int CharLimit(int maxChars) { return maxChars == 0 ? Font::kMaxCharsUnlimited : maxChars; }

}  // namespace

ZYN_IMPLEMENT_CLASS2(Font, "Font", &Font::StaticCreate, &FontManagerOfRecord, &Font::RegisterProps, Resource,
                     IExportable)

Font::Font(const char* name) : Resource(name) {}

Font::~Font() {
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = nullptr;
}

void Font::RegisterProps(Class* cls) {
    cls->InsertValueProp(new GetSetPointerProp<Font, Texture>(
        "Texture", "The texture which holds the glyphs", &Font::GetFontTexture, &Font::SetFontTexture, 0));
}

// ---------------------------------------------------------------------------
// File format

bool Font::LoadFromFile(File& file) {
    s32 header[3];
    if (file.Read32(&header[0], 1) != 1) return false;
    std::string textureName;
    u32 count = 0;
    if (file.Read32(&header[1], 2) != 2 || !file.ReadString(textureName) || file.Read32(&count, 1) != 1) {
        LogSend(kLogError, "Font::LoadFromFile(%s) -> truncated font header", m_Name.c_str());
        return false;
    }
    // The count comes from outside data: check it against what the stream
    // still holds before reading a single record.
    const unsigned position = file.Seek(0, 1);
    const unsigned size = file.GetFileSize();
    const unsigned remaining = size > position ? size - position : 0;
    if (count > remaining / kGlyphRecordBytes) {
        LogSend(kLogError, "Font::LoadFromFile(%s) -> %u glyphs declared, the file holds %u", m_Name.c_str(),
                count, remaining / kGlyphRecordBytes);
        return false;
    }
    std::map<int, FontGlyph> glyphs;
    for (u32 i = 0; i < count; ++i) {
        s32 code = 0;
        FontGlyph glyph;
        if (file.Read32(&code, 1) != 1 || file.Read16(&glyph, 4) != 4) {
            LogSend(kLogError, "Font::LoadFromFile(%s) -> truncated glyph table", m_Name.c_str());
            return false;
        }
        glyphs[code] = glyph;
    }

    // The new texture is taken before the old one goes, so that reloading a
    // font does not destroy and reload the texture it keeps using.
    Texture* texture = GetCreateTextureManager()->GetResourceTyped(textureName.c_str());
    // The manager answers a missing texture with the shared null texture;
    // its sprite 0 would turn every glyph into a blank 128-pixel quad.
    Texture* nullTexture = Texture::GetNullResource();
    if (texture == nullTexture) {
        texture->Release();
        texture = nullptr;
    }
    nullTexture->Release();
    if (!texture) LogSend(kLogWarning, "Could not load texture %s requested by font", textureName.c_str());
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = texture;

    m_SpaceWidth = header[0];
    m_MaxBearY = header[1];
    m_FontHeight = u32(header[2]);
    m_Glyphs.swap(glyphs);
    return true;
}

bool Font::SaveToFile(File& file) {
    if (!m_pTexture) return false;
    if (file.Write32(&m_SpaceWidth, 1) != 1) return false;
    const u32 count = u32(m_Glyphs.size());
    bool ok = file.Write32(&m_MaxBearY, 1) == 1 && file.Write32(&m_FontHeight, 1) == 1 &&
              file.WriteString(m_pTexture->GetName()) && file.Write32(&count, 1) == 1;
    for (auto it = m_Glyphs.begin(); ok && it != m_Glyphs.end(); ++it) {
        const s32 code = it->first;
        ok = file.Write32(&code, 1) == 1 && file.Write16(&it->second, 4) == 4;
    }
    if (!ok) LogSend(kLogError, "Font::SaveToFile(%s) -> write failed", m_Name.c_str());
    return ok;
}

unsigned Font::GetExportFormats() { return 1; }

void Font::GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    if (index != 0) return;
    if (description) *description = "Export Font Data";
    if (extension) *extension = ".zyn_fnt";
}

bool Font::Export(unsigned index, File& file) { return index == 0 && SaveToFile(file); }

// ---------------------------------------------------------------------------
// Building a font

void Font::SetFontTexture(Texture* texture) {
    if (texture) texture->AddRef();
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = texture;
}

bool Font::InitEmptyFont(Texture* texture, int spaceWidth, int maxBearY, unsigned fontHeight) {
    SetFontTexture(texture);
    m_SpaceWidth = spaceWidth;
    m_MaxBearY = maxBearY;
    m_FontHeight = fontHeight;
    m_Glyphs.clear();
    return true;
}

bool Font::AddGlyph(int code, unsigned short sprite, short xOffset, short yOffset, short advance) {
    if (!m_pTexture) {
        LogSend(kLogWarning, "Font::AddGlyph -> font %s has no texture", m_Name.c_str());
        return false;
    }
    if (int(sprite) >= m_pTexture->GetSpriteCount()) {
        LogSend(kLogWarning, "Font::AddGlyph -> texture %s does nnot support sprite %d",
                m_pTexture->GetName().c_str(), int(sprite));
        return false;
    }
    m_Glyphs[code] = FontGlyph{sprite, xOffset, yOffset, advance};
    if (yOffset < m_MaxBearY) m_MaxBearY = yOffset;
    return true;
}

void Font::OffsetGlyphSprites(int delta) {
    for (auto& entry : m_Glyphs) entry.second.sprite = u16(unsigned(entry.second.sprite) + unsigned(delta));
}

bool Font::GetGlyphSpriteSpacing(bool* sides) {
    for (int i = 0; i < 4; ++i) sides[i] = true;
    if (!m_pTexture) return false;
    const int spriteCount = m_pTexture->GetSpriteCount();
    for (const auto& entry : m_Glyphs) {
        const int own = entry.second.sprite;
        if (own >= spriteCount) continue;
        const Rect<short> r = m_pTexture->GetSpriteTextureRect(unsigned(own));
        for (int j = 1; j < spriteCount; ++j) {
            if (j == own) continue;
            const Rect<short> q = m_pTexture->GetSpriteTextureRect(unsigned(j));
            if (r.x2 > q.x1 && r.x1 < q.x2) {
                if (r.y1 == q.y2) sides[0] = false;
                if (r.y2 == q.y1) {
                    sides[1] = false;
                    continue;
                }
            }
            if (r.y2 > q.y1 && r.y1 < q.y2) {
                if (r.x1 == q.x2) sides[2] = false;
                if (r.x2 == q.x1) sides[3] = false;
            }
        }
    }
    return true;
}

bool Font::ExportGlyphs(File& file) {
    LogSend(kLogInfo, "Exporting font glyphs: %s", m_Name.c_str());
    if (!m_pTexture) {
        LogSend(kLogWarning, "Font::ExportGlyphs -> font %s has no texture", m_Name.c_str());
        return false;
    }
    bool ok = true;
    for (const auto& entry : m_Glyphs) {
        const FontGlyph& g = entry.second;
        const Texture::SpriteDef& sprite = m_pTexture->GetSpriteDef(g.sprite);
        file.printf("\t\t<GLYPH=%d,%d,%d,%d>\r\n", entry.first, int(g.xOffset) - sprite.xOrigin,
                    int(g.yOffset) - sprite.yOrigin, int(g.advance));

        char path[512];
        std::snprintf(path, sizeof path, "%s_%d.tga", m_Name.c_str(), entry.first);
        const Rect<short> r = m_pTexture->GetSpriteTextureRect(g.sprite);
        Image image(sprite.width, sprite.height);
        bool written = false;
        if (!image.IsEmpty() &&
            Graphics::CopyImageFromTexture(m_pTexture->GetTexHandle(), image, 0, 0, unsigned(r.x1),
                                           unsigned(r.y1), sprite.width, sprite.height)) {
            DiskFile out(path, "wb");
            written = out.IsOpen() && image.SaveToTGA(out);
        }
        if (!written) {
            LogSend(kLogWarning, "Font::ExportGlyphs -> could not write %s", path);
            ok = false;
        }
    }
    LogSend(kLogInfo, "Exporting font glyphs: %s ... DONE", m_Name.c_str());
    return ok;
}

// ---------------------------------------------------------------------------
// One line of text

const Font::FontGlyph* Font::GetGlyph(int code) const {
    auto it = m_Glyphs.find(code);
    return it == m_Glyphs.end() ? nullptr : &it->second;
}

int Font::AdvanceOf(const char*& text) const {
    uint32_t cp = 0;
    if (!DecodeCharacter(text, cp)) return m_SpaceWidth;
    const FontGlyph* g = GetGlyph(int(cp));
    return g ? g->advance : m_SpaceWidth;
}

void Font::RenderText(float x, float y, float z, const char* text, Color color, int maxChars) {
    if (!text || maxChars < 0) return;
    const int limit = CharLimit(maxChars);
    float px = x;
    float py = y;
    const char* p = text;
    for (int n = 0; n < limit && *p; ++n) {
        if (*p == '\n') {
            py += float(m_FontHeight) * kNewLineFactor;
            px = x;
            ++p;
            continue;
        }
        uint32_t cp = 0;
        const FontGlyph* g = DecodeCharacter(p, cp) ? GetGlyph(int(cp)) : nullptr;
        if (!g) {
            px += float(m_SpaceWidth);
            continue;
        }
        if (m_pTexture)
            m_pTexture->DrawSprite(g->sprite, px + float(g->xOffset), py + float(g->yOffset), z, color);
        px += float(g->advance);
    }
}

void Font::RenderTextScale(float x, float y, float z, const char* text, float scale, Color color,
                           int maxChars) {
    if (!text || maxChars < 0) return;
    const int limit = CharLimit(maxChars);
    float px = x;
    float py = y;
    const char* p = text;
    for (int n = 0; n < limit && *p; ++n) {
        if (*p == '\n') {
            py += float(m_FontHeight) * scale * kNewLineFactor;
            px = x;
            ++p;
            continue;
        }
        uint32_t cp = 0;
        const FontGlyph* g = DecodeCharacter(p, cp) ? GetGlyph(int(cp)) : nullptr;
        if (!g) {
            px += float(m_SpaceWidth) * scale;
            continue;
        }
        if (m_pTexture)
            m_pTexture->DrawSpriteEx(g->sprite, px + float(g->xOffset) * scale,
                                     py + float(g->yOffset) * scale, 0.0f, scale, scale, z, color);
        px += float(g->advance) * scale;
    }
}

void Font::GetTextRect(Rect<float>& out, float x, float y, const char* text, int maxChars) {
    out = Rect<float>(x, y + float(m_MaxBearY), x, y + float(m_MaxBearY) + float(m_FontHeight));
    if (!text || maxChars < 0) return;
    const int limit = CharLimit(maxChars);
    float px = x;
    const char* p = text;
    for (int n = 0; n < limit && *p; ++n) {
        if (*p == '\n') {
            out.y2 += float(m_FontHeight) * kNewLineFactor;
            px = x;
            ++p;
        } else {
            px += float(AdvanceOf(p));
        }
        if (px > out.x2) out.x2 = px;
    }
}

void Font::GetTextScaleRect(Rect<float>& out, float x, float y, const char* text, float scale, int maxChars) {
    out.x1 = x;
    out.y1 = y + float(m_MaxBearY) * scale;
    out.y2 = out.y1 + float(m_FontHeight) * scale;
    out.x2 = x;
    if (!text || maxChars < 0) return;
    const int limit = CharLimit(maxChars);
    // Widths in unscaled pixels; the scale is applied once at the end.
    long long pen = 0;
    long long widest = 0;
    const char* p = text;
    for (int n = 0; n < limit && *p; ++n) {
        if (*p == '\n') {
            out.y2 += float(m_FontHeight) * scale * kNewLineFactor;
            pen = 0;
            ++p;
        } else {
            pen += AdvanceOf(p);
        }
        if (pen > widest) widest = pen;
    }
    out.x2 = x + float(widest) * scale;
}

void Font::_RenderCharacters(float x, float y, float z, const char* text, Color color, int count) {
    if (!text) return;
    float px = x;
    const char* p = text;
    // The terminator is always the last character of a count; stopping there
    // keeps a miscounted line from reading past the text.
    for (int n = 0; n < count && *p; ++n) {
        const FontGlyph* g = nullptr;
        uint32_t cp = 0;
        if (*p == '\n')
            ++p;
        else if (DecodeCharacter(p, cp))
            g = GetGlyph(int(cp));
        if (!g) {
            px += float(m_SpaceWidth);
            continue;
        }
        if (m_pTexture)
            m_pTexture->DrawSprite(g->sprite, px + float(g->xOffset), y + float(g->yOffset), z, color);
        px += float(g->advance);
    }
}

void Font::_RenderCharactersScale(float x, float y, float z, const char* text, Color color, int count,
                                  float scale) {
    if (!text) return;
    float px = x;
    const char* p = text;
    for (int n = 0; n < count && *p; ++n) {
        const FontGlyph* g = nullptr;
        uint32_t cp = 0;
        if (*p == '\n')
            ++p;
        else if (DecodeCharacter(p, cp))
            g = GetGlyph(int(cp));
        if (!g) {
            px += float(m_SpaceWidth) * scale;
            continue;
        }
        if (m_pTexture)
            m_pTexture->DrawSpriteEx(g->sprite, px + float(g->xOffset) * scale, y + float(g->yOffset) * scale,
                                     0.0f, scale, scale, z, color);
        px += float(g->advance) * scale;
    }
}

// ---------------------------------------------------------------------------
// Text in a rectangle

namespace {

// Walks the text as the rectangle layout does and hands each finished line
// to the sink: Line(start, count, width), then NextLine(), which answers false
// to stop. advance(p, hasGlyph) moves p past one character and returns its width.
template <class Advance, class Sink>
void WalkLines(const char* text, float width, bool wrap, const Advance& advance, Sink& sink) {
    const char* p = text;
    const char* lineStart = text;
    float lineWidth = 0.0f;
    int chars = 0;
    // The last break opportunity of the line: just after its latest character without glyph.
    bool hasBreak = false;
    const char* breakPos = nullptr;
    int breakChars = 0;
    float widthBefore = 0.0f;
    float widthAfter = 0.0f;

    while (*p) {
        if (*p == '\n') {
            if (chars > 0) sink.Line(lineStart, chars + 1, lineWidth);
            lineWidth = 0.0f;
            chars = 0;
            hasBreak = false;
            if (!sink.NextLine()) return;
            ++p;
            lineStart = p;
            continue;
        }
        const char* next = p;
        bool hasGlyph = false;
        const float newWidth = lineWidth + advance(next, hasGlyph);
        if (!hasGlyph) {
            hasBreak = true;
            breakPos = next;
            breakChars = chars;
            widthBefore = lineWidth;
            widthAfter = newWidth;
        }
        if (!wrap || newWidth <= width) {
            lineWidth = newWidth;
            ++chars;
            p = next;
            continue;
        }
        // A single character wider than the rectangle: nothing more can be placed.
        if (chars == 0) return;
        if (hasBreak) {
            // The break character ends this line but does not count to its width.
            sink.Line(lineStart, breakChars + 1, widthBefore);
            lineStart = breakPos;
            lineWidth = newWidth - widthAfter;
            chars -= breakChars;
            p = next;
        } else {
            sink.Line(lineStart, chars, lineWidth);
            // The character that did not fit starts the next line and is read again.
            lineStart = p;
            lineWidth = 0.0f;
            chars = 0;
        }
        hasBreak = false;
        if (!sink.NextLine()) return;
    }
    if (chars > 0) sink.Line(lineStart, chars + 1, lineWidth);
}

// Counts the line breaks of a layout: each newline and each wrap is one.
struct BreakCounter {
    int breaks = 0;
    void Line(const char*, int, float) {}
    bool NextLine() {
        ++breaks;
        return true;
    }
};

// Places the lines: skips those above the rectangle, aligns the others, and
// stops after the line that reaches below it.
struct LinePlacer {
    Rect<float> box;
    float width;
    int flags;
    bool wholePixels;
    float baseY;
    float lineBottom;  // from the baseline to the bottom of the line
    float step;
    void (*emit)(void*, const Font::TextLine&);
    void* context;

    void Line(const char* start, int count, float lineWidth) {
        if (baseY + lineBottom <= box.y1) return;
        float x = box.x1;
        if (flags & TEXT_CENTER_X)
            x = wholePixels ? box.x1 + std::trunc((width - lineWidth) * 0.5f)
                            : (box.x1 + box.x2 - lineWidth) * 0.5f;
        else if (flags & TEXT_RIGHT)
            x = wholePixels ? box.x1 + width - std::trunc(lineWidth) : box.x2 - lineWidth;
        emit(context, Font::TextLine{x, baseY, start, count, lineWidth});
    }
    bool NextLine() {
        if (baseY + lineBottom > box.y2) return false;
        baseY += step;
        return true;
    }
};

struct DrawContext {
    Font* font;
    float z;
    Color color;
    float scale;
};

void DrawLine(void* context, const Font::TextLine& line) {
    DrawContext& c = *static_cast<DrawContext*>(context);
    c.font->_RenderCharacters(line.x, line.y, c.z, line.start, c.color, line.count);
}

void DrawLineScale(void* context, const Font::TextLine& line) {
    DrawContext& c = *static_cast<DrawContext*>(context);
    c.font->_RenderCharactersScale(line.x, line.y, c.z, line.start, c.color, line.count, c.scale);
}

void CollectLine(void* context, const Font::TextLine& line) {
    static_cast<std::vector<Font::TextLine>*>(context)->push_back(line);
}

}  // namespace

void Font::LayoutLines(const Rect<float>& box, float width, float height, int flags, const char* text,
                       float scale, float lineSpacing, bool wholePixels, LineFn emit, void* context) const {
    if (!text) return;
    const bool wrap = (flags & TEXT_WRAP) != 0;
    const auto advance = [this, scale](const char*& p, bool& hasGlyph) -> float {
        uint32_t cp = 0;
        const FontGlyph* g = DecodeCharacter(p, cp) ? GetGlyph(int(cp)) : nullptr;
        hasGlyph = g != nullptr;
        return float(g ? g->advance : m_SpaceWidth) * scale;
    };

    const float L = float(m_FontHeight);
    const float bear = float(m_MaxBearY);
    LinePlacer placer{box, width, flags, wholePixels, 0.0f, (bear + L) * scale, 0.0f, emit, context};
    placer.step = wholePixels ? std::trunc(L * lineSpacing) : L * lineSpacing * scale;

    int breaks = 0;
    if (flags & (TEXT_CENTER_Y | TEXT_BOTTOM)) {
        BreakCounter counter;
        WalkLines(text, width, wrap, advance, counter);
        breaks = counter.breaks;
    }
    const float B = float(breaks);
    if (wholePixels) {
        if (flags & TEXT_CENTER_Y)
            placer.baseY = box.y1 + std::trunc(((height - L) - B * L * lineSpacing) * 0.5f) - bear;
        else if (flags & TEXT_BOTTOM)
            placer.baseY = box.y1 + height - bear - L - placer.step * B;
        else
            placer.baseY = box.y1 - bear;
    } else {
        if (flags & TEXT_CENTER_Y)
            placer.baseY =
                ((box.y1 + box.y2) - L * scale - L * B * lineSpacing * scale) * 0.5f - bear * scale;
        else if (flags & TEXT_BOTTOM)
            placer.baseY = box.y2 - bear * scale - L * scale - L * B * lineSpacing * scale;
        else
            placer.baseY = box.y1 - bear * scale;
    }
    WalkLines(text, width, wrap, advance, placer);
}

void Font::RenderTextInRect(float x, float y, unsigned width, unsigned height, float z, int flags,
                            const char* text, Color color, float lineSpacing) {
    DrawContext context{this, z, color, 1.0f};
    LayoutLines(Rect<float>(x, y, x + float(width), y + float(height)), float(width), float(height), flags,
                text, 1.0f, lineSpacing, true, &DrawLine, &context);
}

void Font::RenderTextInRectScale(const Rect<float>& rect, float z, int flags, const char* text, float scale,
                                 Color color, float lineSpacing) {
    DrawContext context{this, z, color, scale};
    LayoutLines(rect, rect.x2 - rect.x1, rect.y2 - rect.y1, flags, text, scale, lineSpacing, false,
                &DrawLineScale, &context);
}

int Font::LayoutTextInRect(float x, float y, unsigned width, unsigned height, int flags, const char* text,
                           float lineSpacing, std::vector<TextLine>& out) {
    const size_t before = out.size();
    LayoutLines(Rect<float>(x, y, x + float(width), y + float(height)), float(width), float(height), flags,
                text, 1.0f, lineSpacing, true, &CollectLine, &out);
    return int(out.size() - before);
}

int Font::LayoutTextInRectScale(const Rect<float>& rect, int flags, const char* text, float scale,
                                float lineSpacing, std::vector<TextLine>& out) {
    const size_t before = out.size();
    LayoutLines(rect, rect.x2 - rect.x1, rect.y2 - rect.y1, flags, text, scale, lineSpacing, false,
                &CollectLine, &out);
    return int(out.size() - before);
}

}  // namespace Zyn
