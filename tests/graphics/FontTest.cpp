// Fonts: the ".zyn_fnt" format (exact bytes, round trip, truncated and
// oversized files), measuring, the rectangle layout (wrapping, alignment,
// vertical placement, line spacing), text that is not valid UTF-8, the font
// manager, and the compiled-in debug font drawn on an offscreen frame and
// compared pixel by pixel with its glyph art.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <programs/zyn-debugfont/DebugFontArt.h>
#include <zyn/core/Property.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/Package.h>
#include <zyn/io/SimpleFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/graphics/image/PngWriter.h>
#include <zyn/platform/WindowSystem.h>

#include "TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace G = Zyn::Graphics;

namespace {

// A font for measuring and layout: no GL texture, every glyph on sprite 0.
// Letters advance 10, 'i' 4, U+00E9 7; characters without glyph 5. Lines are
// 10 pixels high and glyphs rise 8 pixels above the baseline.
struct MetricsFont {
    Ref<Texture> texture{new Texture("metrics.tga")};
    Ref<Font> font{new Font("metrics.zyn_fnt")};
    MetricsFont() {
        font->InitEmptyFont(texture.Get(), 5, -8, 10);
        for (int c = 'A'; c <= 'Z'; ++c) font->AddGlyph(c, 0, 0, -8, 10);
        font->AddGlyph('i', 0, 0, -8, 4);
        font->AddGlyph(0xE9, 0, 1, -6, 7);
    }
    float Width(const char* text, int maxChars = 0) {
        Rect<float> r;
        font->GetTextRect(r, 0.0f, 0.0f, text, maxChars);
        return r.x2 - r.x1;
    }
    std::vector<Font::TextLine> Lay(float x, float y, unsigned w, unsigned h, int flags, const char* text,
                                    float lineSpacing = 1.0f) {
        std::vector<Font::TextLine> lines;
        const int count = font->LayoutTextInRect(x, y, w, h, flags, text, lineSpacing, lines);
        EXPECT_EQ(count, int(lines.size()));
        return lines;
    }
};

void ExpectLine(const Font::TextLine& line, float x, float y, const char* start, int count, float width) {
    EXPECT_FLOAT_EQ(line.x, x);
    EXPECT_FLOAT_EQ(line.y, y);
    EXPECT_EQ(line.start, start);
    EXPECT_EQ(line.count, count);
    EXPECT_FLOAT_EQ(line.width, width);
}

Bytes SavedBytes(Font& font) {
    VectorFile out;
    EXPECT_TRUE(font.SaveToFile(out));
    return out.GetVector();
}

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

}  // namespace

// ---------------------------------------------------------------------------
// The font file

TEST(FontFile, ExactBytesOfTheFormat) {
    MetricsFont m;
    Ref<Font> font(new Font("two.zyn_fnt"));
    font->InitEmptyFont(m.texture.Get(), 5, -8, 10);
    ASSERT_TRUE(font->AddGlyph(0xE9, 0, 1, -6, 7));
    ASSERT_TRUE(font->AddGlyph('A', 0, 0, -8, 10));

    Bytes expected;
    Put32(expected, 5);
    Put32(expected, uint32_t(-8));
    Put32(expected, 10);
    Put32(expected, 11);
    for (char c : std::string("metrics.tga")) expected.push_back(uint8_t(c));
    Put32(expected, 2);
    // Ascending code order, whatever the order of AddGlyph.
    Put32(expected, 'A');
    for (int v : {0, 0, -8, 10}) Put16(expected, uint16_t(v));
    Put32(expected, 0xE9);
    for (int v : {0, 1, -6, 7}) Put16(expected, uint16_t(v));
    EXPECT_EQ(SavedBytes(*font.Get()), expected);

    // Export format 0 is the same file; there is no other.
    EXPECT_EQ(font->GetExportFormats(), 1u);
    std::string desc = "-", ext = "-";
    font->GetExportFormatDesc(0, &desc, &ext);
    EXPECT_EQ(desc, "Export Font Data");
    EXPECT_EQ(ext, ".zyn_fnt");
    desc = ext = "-";
    font->GetExportFormatDesc(1, &desc, &ext);
    EXPECT_EQ(desc + ext, "--");
    VectorFile exported;
    EXPECT_TRUE(font->Export(0, exported));
    EXPECT_EQ(exported.GetVector(), expected);
    VectorFile other;
    EXPECT_FALSE(font->Export(1, other));
    EXPECT_TRUE(other.GetVector().empty());

    // Without texture nothing is written.
    Ref<Font> bare(new Font("bare"));
    VectorFile none;
    EXPECT_FALSE(bare->SaveToFile(none));
    EXPECT_TRUE(none.GetVector().empty());
}

TEST(FontFile, RoundTripWithoutItsTextureKeepsMetricsAndGlyphs) {
    MetricsFont m;
    const Bytes bytes = SavedBytes(*m.font.Get());
    Texture* nullTexture = Texture::GetNullResource();
    const int nullRefs = nullTexture->GetRefCount();

    ScopedLogCapture log;
    Ref<Font> copy(new Font("copy.zyn_fnt"));
    MemoryFile in(bytes.data(), unsigned(bytes.size()));
    ASSERT_TRUE(copy->LoadFromFile(in));
    // The texture is in no package: the font goes on without one (not with the null texture).
    EXPECT_TRUE(log->Contains(" W. Could not load texture metrics.tga requested by font"));
    EXPECT_EQ(copy->GetFontTexture(), nullptr);
    EXPECT_EQ(nullTexture->GetRefCount(), nullRefs);
    nullTexture->Release();

    EXPECT_EQ(copy->GetSpaceWidth(), 5);
    EXPECT_EQ(copy->GetMaxBearY(), -8);
    EXPECT_EQ(copy->GetFontHeight(), 10u);
    ASSERT_EQ(copy->GetGlyphs().size(), m.font->GetGlyphs().size());
    for (const auto& entry : m.font->GetGlyphs()) {
        const Font::FontGlyph* g = copy->GetGlyph(entry.first);
        ASSERT_NE(g, nullptr) << entry.first;
        EXPECT_EQ(std::memcmp(g, &entry.second, sizeof *g), 0) << entry.first;
    }
    // Still good for measuring.
    Rect<float> r;
    copy->GetTextRect(r, 0, 0, "AiB", 0);
    EXPECT_FLOAT_EQ(r.x2, 24.0f);
    // Drawing without texture draws nothing and does not fail.
    copy->RenderText(0, 0, 0, "AB", 0xFFFFFFFF, 0);
    copy->RenderTextInRect(0, 0, 100, 100, 0, TEXT_WRAP, "AB", 0xFFFFFFFF, 1.0f);
}

TEST(FontFile, EveryTruncationIsRejectedAndLeavesTheFontAsItWas) {
    MetricsFont m;
    const Bytes bytes = SavedBytes(*m.font.Get());
    Ref<Font> font(new Font("victim.zyn_fnt"));
    font->InitEmptyFont(nullptr, 3, -2, 4);
    ScopedLogCapture log;
    for (size_t n = 0; n < bytes.size(); ++n) {
        const Bytes cut(bytes.begin(), bytes.begin() + long(n));
        MemoryFile in(cut.data(), unsigned(cut.size()));
        EXPECT_FALSE(font->LoadFromFile(in)) << n << " bytes";
    }
    EXPECT_TRUE(log->Contains(" E. Font::LoadFromFile(victim.zyn_fnt) -> truncated font header"));
    EXPECT_TRUE(font->GetGlyphs().empty());
    EXPECT_EQ(font->GetSpaceWidth(), 3);
    EXPECT_EQ(font->GetFontHeight(), 4u);
    // Nothing was asked of the texture manager.
    EXPECT_FALSE(log->Contains("Could not load texture"));
}

TEST(FontFile, GlyphCountBeyondTheStreamIsRejectedBeforeReading) {
    Bytes b;
    Put32(b, 5);
    Put32(b, uint32_t(-8));
    Put32(b, 10);
    Put32(b, 1);
    b.push_back('t');
    Put32(b, 0x40000000u);  // a billion glyphs claimed, one present
    Put32(b, 'A');
    for (int i = 0; i < 4; ++i) Put16(b, 1);

    ScopedLogCapture log;
    Ref<Font> font(new Font("huge.zyn_fnt"));
    MemoryFile in(b.data(), unsigned(b.size()));
    EXPECT_FALSE(font->LoadFromFile(in));
    EXPECT_TRUE(log->Contains(
        " E. Font::LoadFromFile(huge.zyn_fnt) -> 1073741824 glyphs declared, the file holds 1"));
    EXPECT_TRUE(font->GetGlyphs().empty());
}

// ---------------------------------------------------------------------------
// Building a font

TEST(FontBuild, TextureReferencesBalance) {
    Ref<Texture> a(new Texture("a.tga"));
    Ref<Texture> b(new Texture("b.tga"));
    {
        Ref<Font> font(new Font("refs"));
        font->SetFontTexture(a.Get());
        EXPECT_EQ(a->GetRefCount(), 2);
        font->SetFontTexture(a.Get());
        EXPECT_EQ(a->GetRefCount(), 2);
        font->InitEmptyFont(b.Get(), 1, 0, 1);
        EXPECT_EQ(a->GetRefCount(), 1);
        EXPECT_EQ(b->GetRefCount(), 2);
        EXPECT_EQ(font->GetFontTexture(), b.Get());
    }
    EXPECT_EQ(b->GetRefCount(), 1);
}

TEST(FontBuild, AddGlyphChecksTheSpriteAndLowersTheBearing) {
    MetricsFont m;
    ScopedLogCapture log;
    EXPECT_FALSE(m.font->AddGlyph('x', 1, 0, -20, 4));
    EXPECT_TRUE(log->Contains(" W. Font::AddGlyph -> texture metrics.tga does nnot support sprite 1"));
    EXPECT_EQ(m.font->GetGlyph('x'), nullptr);
    EXPECT_EQ(m.font->GetMaxBearY(), -8);

    EXPECT_TRUE(m.font->AddGlyph('A', 0, 2, -12, 9));
    EXPECT_EQ(m.font->GetGlyph('A')->advance, 9);
    EXPECT_EQ(m.font->GetMaxBearY(), -12);
    EXPECT_TRUE(m.font->AddGlyph('B', 0, 0, -3, 9));
    EXPECT_EQ(m.font->GetMaxBearY(), -12);

    Ref<Font> bare(new Font("bare"));
    EXPECT_FALSE(bare->AddGlyph('A', 0, 0, 0, 1));
    EXPECT_TRUE(log->Contains(" W. Font::AddGlyph -> font bare has no texture"));

    // Sprite ids wrap around in 16 bits.
    m.font->OffsetGlyphSprites(-1);
    EXPECT_EQ(m.font->GetGlyph('A')->sprite, 65535);
    m.font->OffsetGlyphSprites(1);
    EXPECT_EQ(m.font->GetGlyph('A')->sprite, 0);
}

TEST(FontClass, RecordFactoryManagerAndTextureProperty) {
    EXPECT_STREQ(Font::sm_Class.GetClassName(), "Font");
    EXPECT_TRUE(Font::sm_Class.Supports(&Resource::sm_Class));
    EXPECT_TRUE(Font::sm_Class.Supports(&IExportable::sm_Class));
    EXPECT_EQ(Font::sm_Class.GetResourceManager(), static_cast<ResourceManagerBase*>(GetCreateFontManager()));

    Object* made = Font::sm_Class.CreateInstance("made.zyn_fnt");
    Ref<Font> font(ZYN_Cast<Font, Object>(made));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->GetName(), "made.zyn_fnt");
    EXPECT_NE((ZYN_Cast<IExportable, Object>(made)), nullptr);

    auto* prop = dynamic_cast<TypedValueProperty<void*>*>(FindValueProperty(&Font::sm_Class, "Texture"));
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(prop->GetValueClass(), &Texture::sm_Class);
    Ref<Texture> t(new Texture("prop.tga"));
    void* value = t.Get();
    EXPECT_TRUE(prop->Set(made, value));
    EXPECT_EQ(font->GetFontTexture(), t.Get());
    EXPECT_EQ(t->GetRefCount(), 2);
    EXPECT_EQ(prop->Get(made), static_cast<void*>(t.Get()));
    EXPECT_EQ(prop->GetValue(made), "prop.tga (Texture)");
}

// ---------------------------------------------------------------------------
// Measuring

TEST(FontMeasure, TextRectsFollowThePen) {
    MetricsFont m;
    Rect<float> r;
    m.font->GetTextRect(r, 10, 20, "", 0);
    EXPECT_EQ(r.x1, 10);
    EXPECT_EQ(r.y1, 12);
    EXPECT_EQ(r.x2, 10);
    EXPECT_EQ(r.y2, 22);

    // A character without glyph (the space) advances by the space width.
    m.font->GetTextRect(r, 10, 20, "A B", 0);
    EXPECT_EQ(r.x2, 35);
    // The widest line; each newline adds one and a half lines.
    m.font->GetTextRect(r, 10, 20, "AB\nABC\nA", 0);
    EXPECT_EQ(r.x2, 40);
    EXPECT_EQ(r.y2, 22 + 30);
    // maxChars counts newlines too; negative measures nothing.
    EXPECT_EQ(m.Width("ABC", 2), 20);
    EXPECT_EQ(m.Width("A\nBC", 3), 10);
    EXPECT_EQ(m.Width("ABC", -1), 0);

    m.font->GetTextScaleRect(r, 100, 20, "AB\nA", 2.0f, 0);
    EXPECT_EQ(r.x1, 100);
    EXPECT_EQ(r.y1, 4);
    EXPECT_EQ(r.y2, 4 + 20 + 30);
    EXPECT_EQ(r.x2, 140);
}

TEST(FontMeasure, InvalidUtf8IsOneCharacterWithoutGlyph) {
    MetricsFont m;
    EXPECT_EQ(m.Width("\xC3\xA9"), 7);  // U+00E9 has a glyph
    EXPECT_EQ(m.Width("A\xFF"
                      "B"),
              25);  // a byte that never starts a character
    EXPECT_EQ(m.Width("\x80\x80"
                      "A"),
              20);  // two stray trail bytes are two characters
    EXPECT_EQ(m.Width("\xE2\x82"
                      "A"),
              15);  // incomplete sequence: lead and trail together
    EXPECT_EQ(m.Width("\xC0\x80"
                      "A"),
              15);  // overlong encoding of NUL
    EXPECT_EQ(m.Width("\xED\xA0\x80"
                      "A"),
              15);  // a surrogate
    EXPECT_EQ(m.Width("\xF4\x90\x80\x80"
                      "A"),
              15);  // beyond U+10FFFF
    EXPECT_EQ(m.Width("\xE2\n"
                      "AB"),
              20);                         // a newline ends the broken sequence
    EXPECT_EQ(m.Width("\xC3\xA9", 1), 7);  // one character, two bytes

    // A lead byte at the very end: nothing is read past the terminator (ASan checks).
    std::unique_ptr<char[]> tail(new char[3]{'A', '\xF0', '\0'});
    EXPECT_EQ(m.Width(tail.get()), 15);
    std::vector<Font::TextLine> lines;
    m.font->LayoutTextInRect(0, 0, 100, 100, TEXT_WRAP | TEXT_CENTER_Y, tail.get(), 1.0f, lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].count, 3);
    EXPECT_FLOAT_EQ(lines[0].width, 15);
    // Decoding without drawing: stops at the terminator however large the count.
    m.font->SetFontTexture(nullptr);
    m.font->_RenderCharacters(0, 0, 0, tail.get(), 0xFFFFFFFF, 100);
    m.font->SetFontTexture(m.texture.Get());

    // A broken sequence is a place where wrapped text may break.
    const char* text =
        "AAAA\xFF"
        "BBBB";
    lines = m.Lay(0, 0, 60, 100, TEXT_WRAP, text);
    ASSERT_EQ(lines.size(), 2u);
    ExpectLine(lines[0], 0, 8, text, 5, 40);
    ExpectLine(lines[1], 0, 18, text + 5, 5, 40);
}

// ---------------------------------------------------------------------------
// Layout in a rectangle (letters 10 wide, space 5, lines of 10, bearing -8)

TEST(FontLayout, WrapsAfterTheSpaceAndAlignsByTheWordWidth) {
    MetricsFont m;
    const char* text = "AAAA BBBB";
    auto lines = m.Lay(100, 50, 60, 100, TEXT_WRAP, text);
    ASSERT_EQ(lines.size(), 2u);
    // The trailing space belongs to the first line but not to its width.
    ExpectLine(lines[0], 100, 58, text, 5, 40);
    ExpectLine(lines[1], 100, 68, text + 5, 5, 40);

    lines = m.Lay(100, 50, 60, 100, TEXT_WRAP | TEXT_CENTER_X, text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].x, 110);
    EXPECT_FLOAT_EQ(lines[1].x, 110);
    lines = m.Lay(100, 50, 60, 100, TEXT_WRAP | TEXT_RIGHT, text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].x, 120);
    // Centring wins over right alignment and truncates to whole pixels.
    lines = m.Lay(100, 50, 61, 100, TEXT_WRAP | TEXT_RIGHT | TEXT_CENTER_X, text);
    EXPECT_FLOAT_EQ(lines[0].x, 110);

    // Without the wrap bit the text stays on one line, however long.
    lines = m.Lay(100, 50, 60, 100, TEXT_CENTER_X, text);
    ASSERT_EQ(lines.size(), 1u);
    ExpectLine(lines[0], 100 - 12, 58, text, 10, 85);

    // A space that overflows ends its line; the next starts after it.
    const char* full = "AAAAAA B";
    lines = m.Lay(0, 0, 60, 100, TEXT_WRAP, full);
    ASSERT_EQ(lines.size(), 2u);
    ExpectLine(lines[0], 0, 8, full, 7, 60);
    ExpectLine(lines[1], 0, 18, full + 7, 2, 10);
}

TEST(FontLayout, LongWordsBreakBetweenCharactersAndTooWideCharactersStop) {
    MetricsFont m;
    const char* word = "ABCDEFGH";
    auto lines = m.Lay(0, 0, 35, 100, TEXT_WRAP, word);
    ASSERT_EQ(lines.size(), 3u);
    ExpectLine(lines[0], 0, 8, word, 3, 30);
    ExpectLine(lines[1], 0, 18, word + 3, 3, 30);
    ExpectLine(lines[2], 0, 28, word + 6, 3, 20);

    // The first character is wider than the rectangle: nothing at all.
    EXPECT_TRUE(m.Lay(0, 0, 5, 100, TEXT_WRAP, "AB").empty());
    // Later: the lines emitted so far stay, nothing after them.
    lines = m.Lay(0, 0, 8, 100, TEXT_WRAP, "ii\nA\nii");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].count, 3);
}

TEST(FontLayout, VerticalPlacementAndLineSpacing) {
    MetricsFont m;
    // Centred: y + trunc((H - L - B * L * spacing) / 2) - maxBearY.
    auto lines = m.Lay(0, 50, 100, 30, TEXT_CENTER_Y, "A");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FLOAT_EQ(lines[0].y, 68);
    lines = m.Lay(0, 50, 100, 5, TEXT_CENTER_Y, "A");  // H < L: trunc(-2.5) = -2
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FLOAT_EQ(lines[0].y, 56);
    lines = m.Lay(0, 50, 100, 30, TEXT_CENTER_Y | TEXT_BOTTOM, "A\nB");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].y, 63);
    EXPECT_FLOAT_EQ(lines[1].y, 73);
    // Wraps count as line breaks too.
    lines = m.Lay(0, 50, 60, 30, TEXT_CENTER_Y | TEXT_WRAP, "AAAA BBBB");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].y, 63);

    // Bottom: the last line ends at the bottom edge.
    lines = m.Lay(0, 50, 100, 30, TEXT_BOTTOM, "A\nB");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].y, 68);
    EXPECT_FLOAT_EQ(lines[1].y, 78);

    // Empty lines take their place; the spacing step is truncated to whole pixels.
    const char* text = "A\n\nB";
    lines = m.Lay(0, 50, 100, 100, 0, text);
    ASSERT_EQ(lines.size(), 2u);
    ExpectLine(lines[0], 0, 58, text, 2, 10);
    ExpectLine(lines[1], 0, 78, text + 3, 2, 10);
    lines = m.Lay(0, 50, 100, 100, 0, "A\nB", 1.55f);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[1].y, 73);
}

TEST(FontLayout, TextTallerThanTheRectangle) {
    MetricsFont m;
    const char* text = "A\nB\nC\nD\nE";
    // The line that crosses the bottom edge is the last one.
    auto lines = m.Lay(0, 50, 100, 25, 0, text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].start, text + 4);
    EXPECT_FLOAT_EQ(lines[2].y, 78);
    // Aligned to the bottom, the first lines lie above the top and are not drawn.
    lines = m.Lay(0, 50, 100, 25, TEXT_BOTTOM, text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].start, text + 4);
    EXPECT_FLOAT_EQ(lines[0].y, 53);
    EXPECT_FLOAT_EQ(lines[2].y, 73);
}

TEST(FontLayout, ScaledLayoutKeepsFractions) {
    MetricsFont m;
    const char* text = "AA AA";
    std::vector<Font::TextLine> lines;
    EXPECT_EQ(m.font->LayoutTextInRectScale(Rect<float>(100, 50, 160, 150), TEXT_WRAP | TEXT_CENTER_X, text,
                                            2.0f, 1.0f, lines),
              2);
    ASSERT_EQ(lines.size(), 2u);
    ExpectLine(lines[0], 110, 66, text, 3, 40);
    ExpectLine(lines[1], 110, 86, text + 3, 3, 40);

    lines.clear();
    m.font->LayoutTextInRectScale(Rect<float>(0, 0, 61, 41), TEXT_CENTER_X | TEXT_CENTER_Y, "A", 1.5f, 1.0f,
                                  lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FLOAT_EQ(lines[0].x, 23.0f);                  // (0 + 61 - 15) / 2
    EXPECT_FLOAT_EQ(lines[0].y, (41 - 15) * 0.5f + 12);  // ((y1 + y2) - L s) / 2 - maxBearY s

    lines.clear();
    m.font->LayoutTextInRectScale(Rect<float>(0, 0, 100, 40), TEXT_BOTTOM | TEXT_RIGHT, "A\nAB", 0.5f, 2.0f,
                                  lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FLOAT_EQ(lines[0].y, 40 + 4 - 5 - 10);  // y2 - maxBearY s - L s - L B spacing s
    EXPECT_FLOAT_EQ(lines[1].y, 40 + 4 - 5);
    EXPECT_FLOAT_EQ(lines[1].x, 90);
}

// ---------------------------------------------------------------------------
// The font manager

TEST(FontManagerTest, RecordAndInterfaces) {
    FontManager* manager = GetCreateFontManager();
    EXPECT_EQ(manager, Singleton<FontManager>::Get());
    EXPECT_EQ(manager->GetName(), "FontManager");
    EXPECT_STREQ(manager->GetClass()->GetClassName(), "FontManager");
    EXPECT_TRUE(manager->GetClass()->Supports(&ResourceManagerBase::sm_Class));
    EXPECT_EQ((ZYN_Cast<IExportable, Object>(manager)), static_cast<IExportable*>(manager));
    EXPECT_EQ((ZYN_Cast<IImportable, Object>(manager)), static_cast<IImportable*>(manager));
    EXPECT_NE(FindGroupProperty(manager->GetClass(), "Fonts"), nullptr);

    std::string desc, ext;
    manager->GetExportFormatDesc(0, &desc, &ext);
    EXPECT_EQ(desc + ext, "Export Fonts.txt");
    manager->GetImportFormatDesc(0, &desc, &ext);
    EXPECT_EQ(desc + ext, "Import Fonts.txt");

    // Export and import themselves are covered in FontImportTest.cpp.
    VectorFile f;
    EXPECT_FALSE(manager->Export(1, f));
    EXPECT_TRUE(f.GetVector().empty());
}

TEST(FontManagerTest, SharesFontsByNameAndAnswersNullForMissingOrBroken) {
    MetricsFont m;
    Bytes good = SavedBytes(*m.font.Get());
    Bytes bad(good.begin(), good.begin() + 20);
    ScopedPackage package;
    package.Add("good.zyn_fnt", good);
    package.Add("bad.zyn_fnt", bad);
    FontManager* manager = GetCreateFontManager();
    const unsigned before = manager->GetResourceCount();

    ScopedLogCapture log;
    EXPECT_EQ(manager->GetResourceTyped("none.zyn_fnt"), nullptr);
    EXPECT_TRUE(log->Contains(" W. Resource <none.zyn_fnt> not found..."));
    EXPECT_EQ(manager->GetResourceTyped("bad.zyn_fnt"), nullptr);
    EXPECT_TRUE(log->Contains(" W. Could not load resource <bad.zyn_fnt>..."));
    EXPECT_EQ(manager->GetResourceCount(), before);

    Font* a = manager->GetResourceTyped("good.zyn_fnt");
    Font* b = manager->GetResourceTyped("good.zyn_fnt");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(a->GetGlyphs().size(), m.font->GetGlyphs().size());
    EXPECT_EQ(manager->GetResourceCount(), before + 1);
    b->Release();
    EXPECT_EQ(a->Release(), 0);
    EXPECT_EQ(manager->GetResourceCount(), before);
}

// ---------------------------------------------------------------------------
// The compiled-in debug font on an offscreen frame

namespace {

constexpr int kFrameW = 256;
constexpr int kFrameH = 128;
constexpr int kAdvance = DebugFont::kGlyphWidth + 1;

// An offscreen frame of 256 x 128 logical pixels. The first set-up in the
// process goes through Root::Init, which mounts the "cppfontfile" package.
class DebugFontFrame : public ::testing::Test {
protected:
    void SetUp() override {
        m_pSurface.reset(CreateOffscreenSurface());
        AppSettings s;
        s.screenWidth = s.appWidth = kFrameW;
        s.screenHeight = s.appHeight = kFrameH;
        s.windowed = true;
        Root* root = Singleton<Root>::Get();
        if (!root->IsInited()) {
            WindowSystem::SetSurface(m_pSurface.get());
            ASSERT_TRUE(root->Init(s));
        } else {
            ASSERT_TRUE(G::Init(m_pSurface.get(), s));
        }
        m_pFont = GetCreateFontManager()->GetResourceTyped("debugfont.zyn_fnt");
        ASSERT_NE(m_pFont, nullptr);
        BeginFrame();
    }
    void TearDown() override {
        if (m_pFont) m_pFont->Release();
        G::ShutDown();
        WindowSystem::SetSurface(nullptr);
        m_pSurface.reset();
    }
    void BeginFrame() {
        ASSERT_TRUE(G::BeginRendering());
        G::SetScreenViewport(Rect<short>(0, 0, kFrameW, kFrameH));
        G::SetRenderMode(RENDER_2D);
        G::SetProjection2D(kFrameW, kFrameH);
        G::ResetSceneTransform();
        G::SetClipping2D(nullptr);
        G::SetBlendingMode(BLEND_ALPHA);
        G::ClearScreenViewport(0xFF000000, true, 1.0f, true);
    }
    void Finish() {
        G::EndRendering();
        ASSERT_TRUE(m_pSurface->ReadPixels(m_Pixels));
        ASSERT_EQ(m_Pixels.size(), size_t(kFrameW * kFrameH * 4));
    }
    const u8* At(int x, int y) const { return m_Pixels.data() + (size_t(y) * kFrameW + size_t(x)) * 4; }

    // Marks the art of ASCII text drawn with the pen at (x, baseline).
    void Stamp(int x, int baseline, const char* text) {
        for (const char* p = text; *p; ++p, x += kAdvance)
            for (int gy = 0; gy < DebugFont::kGlyphHeight; ++gy)
                for (int gx = 0; gx < DebugFont::kGlyphWidth; ++gx)
                    if (DebugFont::IsInked(*p, gx, gy)) {
                        const int px = x + gx;
                        const int py = baseline - DebugFont::kAscent + gy;
                        if (px >= 0 && px < kFrameW && py >= 0 && py < kFrameH)
                            m_Expected[size_t(py) * kFrameW + px] = 1;
                    }
    }
    // Every stamped pixel is pure white and every other one black.
    void ExpectFrameMatchesStamps() {
        int wrong = 0;
        std::string first;
        for (int y = 0; y < kFrameH; ++y)
            for (int x = 0; x < kFrameW; ++x) {
                const u8* p = At(x, y);
                const int want = m_Expected[size_t(y) * kFrameW + x] ? 255 : 0;
                if (p[0] == want && p[1] == want && p[2] == want) continue;
                if (!wrong++) first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        EXPECT_EQ(wrong, 0) << "first wrong pixel at " << first;
    }

    std::unique_ptr<GLSurface> m_pSurface;
    std::vector<u8> m_Pixels;
    std::vector<u8> m_Expected = std::vector<u8>(size_t(kFrameW) * kFrameH, 0);
    Font* m_pFont = nullptr;
};

}  // namespace

TEST_F(DebugFontFrame, LoadsFromTheCompiledInPackage) {
    Package* cpp = nullptr;
    for (Package* p : Singleton<Root>::Get()->GetPackageGroup().GetList())
        if (p->GetName() == "cppfontfile") cpp = p;
    ASSERT_NE(cpp, nullptr);
    ASSERT_NE((ZYN_Cast<CppPackage, Package>(cpp)), nullptr);
    // The three files, in the sizes their formats give for 94 glyphs.
    const std::pair<const char*, unsigned> files[] = {{"debugfont.tga", 18 + 128 * 64 * 4},
                                                      {"debugfont.tga_ex", 12 + 24 * 95},
                                                      {"debugfont.zyn_fnt", 33 + 12 * 94}};
    for (const auto& f : files) {
        std::unique_ptr<File> file(cpp->OpenFile(f.first));
        ASSERT_NE(file, nullptr) << f.first;
        EXPECT_EQ(file->GetFileSize(), f.second) << f.first;
    }

    Texture* texture = m_pFont->GetFontTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetName(), "debugfont.tga");
    EXPECT_TRUE(texture->GetTexHandle().IsOk());
    EXPECT_EQ(texture->GetWidth(), 128u);
    EXPECT_EQ(texture->GetHeight(), 64u);
    EXPECT_EQ(texture->GetSpriteCount(), 95);
    EXPECT_EQ(m_pFont->GetGlyphs().size(), 94u);
    EXPECT_EQ(m_pFont->GetGlyph(' '), nullptr);
    EXPECT_NE(m_pFont->GetGlyph('~'), nullptr);
    EXPECT_EQ(m_pFont->GetSpaceWidth(), 6);
    EXPECT_EQ(m_pFont->GetFontHeight(), 10u);
    EXPECT_EQ(m_pFont->GetMaxBearY(), -7);

    // Monospaced: "fps 60" is six cells wide.
    Rect<float> r;
    m_pFont->GetTextRect(r, 900, 10, "fps 60\ntpf 0.016667", 0);
    EXPECT_EQ(r.x2 - r.x1, 12 * 6);
    EXPECT_EQ(r.y1, 3);
    EXPECT_EQ(r.y2, 3 + 10 + 15);

    // Every glyph keeps a gap to every other sprite.
    bool sides[4] = {false, false, false, false};
    EXPECT_TRUE(m_pFont->GetGlyphSpriteSpacing(sides));
    EXPECT_TRUE(sides[0] && sides[1] && sides[2] && sides[3]);

    // A second request shares the font.
    Font* again = GetCreateFontManager()->GetResourceTyped("debugfont.zyn_fnt");
    EXPECT_EQ(again, m_pFont);
    EXPECT_EQ(m_pFont->GetRefCount(), 2);
    again->Release();
}

TEST_F(DebugFontFrame, DrawnTextIsWhiteExactlyWhereTheGlyphArtIsInked) {
    const char* all =
        "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
    m_pFont->RenderText(3, 12, 0, "The quick brown fox jumps 0.016667", 0xFFFFFFFF, 0);
    m_pFont->RenderText(3, 30, 0, all, 0xFFFFFFFF, 40);
    m_pFont->RenderText(3, 42, 0, all + 40, 0xFFFFFFFF, 40);
    m_pFont->RenderText(3, 54, 0, all + 80, 0xFFFFFFFF, 0);
    // A newline goes down one and a half lines, back to the start x.
    m_pFont->RenderText(3, 70, 0, "fps 60\ntpf", 0xFFFFFFFF, 0);
    // Bytes that are not UTF-8 are blanks of the space width.
    m_pFont->RenderText(3, 100, 0,
                        "A\xFF\xFE"
                        "B\xE2\x82",
                        0xFFFFFFFF, 0);
    Finish();

    Stamp(3, 12, "The quick brown fox jumps 0.016667");
    Stamp(3, 30, std::string(all, 40).c_str());
    Stamp(3, 42, std::string(all + 40, 40).c_str());
    Stamp(3, 54, all + 80);
    Stamp(3, 70, "fps 60");
    Stamp(3, 85, "tpf");
    Stamp(3, 100, "A  B");
    ExpectFrameMatchesStamps();
}

TEST_F(DebugFontFrame, WrappedAndAlignedTextLandsWhereTheLayoutSays) {
    // "fps fps " is 42 wide without its space; "fps" 18. Rectangle 60 wide.
    m_pFont->RenderTextInRect(10, 10, 60, 60, 0, TEXT_WRAP | TEXT_CENTER_X, "fps fps fps", 0xFFFFFFFF, 1.0f);
    // Right-aligned at the bottom of a 50 x 40 box at (150, 20), with 1.5 line spacing.
    m_pFont->RenderTextInRect(150, 20, 50, 40, 0, TEXT_WRAP | TEXT_RIGHT | TEXT_BOTTOM, "ab cd ef gh",
                              0xFFFFFFFF, 1.5f);
    // Scaled twice: every pixel of the art becomes a 2 x 2 block.
    m_pFont->RenderTextInRectScale(Rect<float>(10, 80, 110, 120), 0, 0, "Zy", 2.0f, 0xFFFFFFFF, 1.0f);
    Finish();

    // Centred: 10 + trunc((60 - 42) / 2) and 10 + trunc((60 - 18) / 2); baselines 10 + 7 and 10 + 7 + 10.
    Stamp(19, 17, "fps fps");
    Stamp(31, 27, "fps");
    // "ab cd ef" (48 wide) fills the first line, "gh" the second: one break.
    // Bottom: baseline 20 + 40 + 7 - 10 - 15 = 42, then 57; right edge 200.
    Stamp(200 - 48, 42, "ab cd ef");
    Stamp(200 - 12, 57, "gh");

    // Compare the unscaled part exactly, leaving out the scaled text below y = 80.
    for (size_t i = size_t(78) * kFrameW * 4; i < m_Pixels.size(); i += 4) {
        const bool lit = m_Pixels[i] > 0;
        const int x = int(i / 4 % kFrameW);
        const int y = int(i / 4 / kFrameW);
        // The scaled glyphs' boxes: 'Z' at x 10..20, 'y' at 22..32, rows 80..98.
        const bool inBoxes = y >= 80 && y < 98 && ((x >= 10 && x < 20) || (x >= 22 && x < 32));
        if (lit) {
            EXPECT_TRUE(inBoxes) << x << ", " << y;
        }
        m_Pixels[i] = m_Pixels[i + 1] = m_Pixels[i + 2] = 0;
    }
    ExpectFrameMatchesStamps();
}

TEST_F(DebugFontFrame, ScaledTextCoversTheBlocksOfItsInkedPixels) {
    m_pFont->RenderTextScale(10, 40, 0, "Zyn", 2.0f, 0xFFFFFFFF, 0);
    Finish();
    // The top-left corner of each glyph lands at pen + 2 * (0, -7).
    int inked = 0, covered = 0;
    for (int i = 0; i < 3; ++i)
        for (int gy = 0; gy < DebugFont::kGlyphHeight; ++gy)
            for (int gx = 0; gx < DebugFont::kGlyphWidth; ++gx) {
                if (!DebugFont::IsInked("Zyn"[i], gx, gy)) continue;
                ++inked;
                // Each pixel of the 2 x 2 block samples its own texel at a weight of 9/16
                // or more (filtered alpha, then blended by alpha again).
                const u8* p = At(10 + i * 12 + gx * 2, 40 - 14 + gy * 2);
                covered += p[0] >= 64 ? 1 : 0;
            }
    EXPECT_GT(inked, 30);
    EXPECT_EQ(covered, inked);
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x)
            if (At(x, y)[0] > 0) {
                EXPECT_TRUE(x >= 9 && x < 10 + 36 && y >= 25 && y < 26 + 18) << x << ", " << y;
            }
}

TEST_F(DebugFontFrame, GlyphExportWritesOffsetsAndThePixelsOfEachSprite) {
    Texture* texture = m_pFont->GetFontTexture();
    Ref<Font> tiny(new Font("tiny"));
    tiny->InitEmptyFont(texture, 6, -7, 10);
    // The glyph offsets place the sprite origin; the export writes the corner's.
    const Font::FontGlyph& a = *m_pFont->GetGlyph('A');
    const Texture::SpriteDef& box = texture->GetSpriteDef(a.sprite);
    ASSERT_TRUE(tiny->AddGlyph('A', a.sprite, s16(1 + box.xOrigin), s16(-7 + box.yOrigin), 6));
    ASSERT_TRUE(tiny->AddGlyph('~', m_pFont->GetGlyph('~')->sprite, box.xOrigin, s16(-4 + box.yOrigin), 5));

    char dirTemplate[] = "/tmp/zyn-font-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dirTemplate), 0);
    VectorFile lines;
    const bool ok = tiny->ExportGlyphs(lines);
    std::unique_ptr<Image> glyph;
    {
        DiskFile in("tiny_65.tga", "rb");
        glyph.reset(new Image(in));
    }
    const bool tildeWritten = SimpleFile::DoesFileExist("tiny_126.tga");
    std::remove("tiny_65.tga");
    std::remove("tiny_126.tga");
    ASSERT_EQ(chdir(cwd), 0);
    rmdir(dirTemplate);

    EXPECT_TRUE(ok);
    EXPECT_TRUE(tildeWritten);
    // Offsets of the sprite's top-left corner from the pen.
    const std::string text(lines.GetVector().begin(), lines.GetVector().end());
    EXPECT_EQ(text, "\t\t<GLYPH=65,1,-7,6>\r\n\t\t<GLYPH=126,0,-4,5>\r\n");
    ASSERT_EQ(glyph->width, 5u);
    ASSERT_EQ(glyph->height, 9u);
    int wrong = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 5; ++x)
            wrong += (glyph->data[(y * 5 + x) * 4 + 3] == 255) != DebugFont::IsInked('A', x, y);
    EXPECT_EQ(wrong, 0);
}

TEST_F(DebugFontFrame, SpriteSpacingFindsTheSidesWhereSpritesTouch) {
    Ref<Texture> texture(new Texture("touching.tga"));
    ASSERT_TRUE(texture->InitEmptyTexture(32, 32, false));
    const int centre = texture->RegisterSprite(8, 8, 16, 16);
    texture->RegisterSprite(16, 8, 24, 16);  // right neighbour
    texture->RegisterSprite(8, 16, 16, 24);  // below
    texture->RegisterSprite(0, 0, 8, 8);     // only a corner touches
    Ref<Font> font(new Font("touching"));
    font->InitEmptyFont(texture.Get(), 4, -8, 8);
    ASSERT_TRUE(font->AddGlyph('x', u16(centre), 0, -8, 8));
    bool sides[4] = {false, false, false, false};
    EXPECT_TRUE(font->GetGlyphSpriteSpacing(sides));
    EXPECT_TRUE(sides[0]);   // top
    EXPECT_FALSE(sides[1]);  // bottom
    EXPECT_TRUE(sides[2]);   // left
    EXPECT_FALSE(sides[3]);  // right
}

TEST_F(DebugFontFrame, DemoFrameForTheEye) {
    m_pFont->RenderText(4, 12, 0, "Zyn debug font - ASCII 33..126", 0xFFFFFFFF, 0);
    m_pFont->RenderText(4, 26, 0, "!\"#$%&'()*+,-./0123456789:;<=>?@", 0xFFFFFFFF, 0);
    m_pFont->RenderText(4, 38, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`", 0xFFFFFFFF, 0);
    m_pFont->RenderText(4, 50, 0, "abcdefghijklmnopqrstuvwxyz{|}~", 0xFFFFFFFF, 0);
    m_pFont->RenderText(180, 100, 0, "fps 60\ntpf 0.016667", 0xFFFFFFFF, 0);
    m_pFont->RenderTextInRect(4, 60, 120, 64, 0, TEXT_WRAP | TEXT_CENTER_X,
                              "Text laid out in a box, wrapped at spaces and centred line by line.",
                              0xFFFFFF00, 1.2f);
    m_pFont->RenderTextScale(132, 80, 0, "Scale 2", 2.0f, 0xFF80FF80, 0);
    m_pFont->RenderTextScale(132, 110, 0, "Qg", 3.0f, 0xFFFF8080, 0);
    Finish();
    EXPECT_TRUE(WritePNG("font_demo.png", kFrameW, kFrameH, m_Pixels));
    int lit = 0;
    for (size_t i = 0; i < m_Pixels.size(); i += 4) lit += m_Pixels[i] || m_Pixels[i + 1] || m_Pixels[i + 2];
    EXPECT_GT(lit, 2000);
}
