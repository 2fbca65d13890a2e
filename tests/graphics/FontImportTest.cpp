// Font export and import through the font manager: the binary-tree packer's
// splits and placements, the import of glyph images into a texture, the
// export-import round trip, damaged texts and glyph images, and the zynfont
// tool run on a real TrueType font whose output is loaded and drawn.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/FontPacker.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/PacPackage.h>
#include <zyn/io/SimpleFile.h>
#include <zyn/io/VectorFile.h>

#include "TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace G = Zyn::Graphics;

namespace {

// ---------------------------------------------------------------------------
// Helpers

// The export and import work in "font_exports" below the working directory:
// each test runs in a fresh folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        char path[] = "/tmp/zyn-fontimport-XXXXXX";
        if (mkdtemp(path)) m_Path = path;
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) m_Home = cwd;
        m_bEntered = !m_Path.empty() && !m_Home.empty() && chdir(m_Path.c_str()) == 0;
    }
    ~ScratchFolder() {
        if (m_bEntered && chdir(m_Home.c_str()) != 0) std::abort();
        std::error_code ec;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
    }
    bool IsEntered() const { return m_bEntered; }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path, m_Home;
    bool m_bEntered = false;
};

std::string Cwd() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

// Pixel bytes as Image keeps them (no channel swap): the texture gets the same bytes.
struct Px {
    u8 b0, b1, b2, b3;
    bool operator==(const Px& o) const { return b0 == o.b0 && b1 == o.b1 && b2 == o.b2 && b3 == o.b3; }
};
const Px kClear{255, 255, 255, 0};

void WriteImage(const std::string& path, unsigned w, unsigned h, Px fill) {
    Image image(w, h);
    ASSERT_FALSE(image.IsEmpty());
    for (size_t i = 0; i < size_t(w) * h; ++i) std::memcpy(image.data + i * 4, &fill, 4);
    DiskFile out(path.c_str(), "wb");
    ASSERT_TRUE(out.IsOpen()) << path;
    ASSERT_TRUE(image.SaveToTGA(out)) << path;
}

void WriteRaw(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The bytes Image writes for a white w x h image.
Bytes TgaBytes(unsigned w, unsigned h) {
    Image image(w, h);
    std::memset(image.data, 0xFF, size_t(w) * h * 4);
    VectorFile out;
    EXPECT_TRUE(image.SaveToTGA(out));
    return out.GetVector();
}

bool ImportText(const std::string& text) {
    VectorFile file(Bytes(text.begin(), text.end()));
    return GetCreateFontManager()->Import(0, file);
}

/// Borrowed pointer to a managed font, or null.
Font* ManagedFont(const char* name) {
    return ZYN_Cast<Font, Object>(GetCreateFontManager()->FindObject(name, &Font::sm_Class, -1));
}

// Lets go of the fonts and textures that imports made and nobody holds, so
// that one test's imports are not the next one's exports.
void DropUnheldResources() {
    std::list<Object*> fonts;
    GetCreateFontManager()->EnumObjects(0, fonts);
    for (Object* f : fonts)
        if (f->GetRefCount() == 0) Ref<Object>{f};
    std::list<Object*> textures;
    GetCreateTextureManager()->EnumObjects(0, textures);
    for (Object* t : textures)
        if (t->GetRefCount() == 0) Ref<Object>{t};
}

// The texture's pixels, as the texture holds them.
std::vector<Px> TexturePixels(Texture* texture) {
    const unsigned w = texture->GetWidth(), h = texture->GetHeight();
    Image image(w, h);
    std::vector<Px> out(size_t(w) * h);
    if (!image.IsEmpty() && G::CopyImageFromTexture(texture->GetTexHandle(), image, 0, 0, 0, 0, w, h))
        std::memcpy(out.data(), image.data, out.size() * 4);
    return out;
}

const char* const kHeader =
    "# a hand-written export\r\n"
    "<TEXTURE=imp.tga,64,64>\r\n";

std::string FontTag(const char* name, const char* spacing) {
    return std::string("\t<FONT=") + name + "," + spacing + ",12,5,-9>\r\n";
}

// A glyph record for packer tests.
GlyphImport Glyph(u32 w, u32 h) {
    GlyphImport g;
    g.width = w;
    g.height = h;
    return g;
}

struct Cell {
    u32 x1, x2, y1, y2;
};

void ExpectCell(const TexturePlaceNode* node, Cell c) {
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->x1, c.x1);
    EXPECT_EQ(node->x2, c.x2);
    EXPECT_EQ(node->y1, c.y1);
    EXPECT_EQ(node->y2, c.y2);
}

}  // namespace

// ---------------------------------------------------------------------------
// The packer

TEST(FontPacker, SplitsOffAColumnThenTheCell) {
    TexturePlaceNode root(0, 64, 0, 64);
    GlyphImport g = Glyph(10, 20);
    const TexturePlaceNode* node = root.InsertNode(&g, 0);
    // Leftover width 54 >= leftover height 44: a column 10 wide, then a 10 x 20 cell at (0, 0).
    ExpectCell(root.child[0], {0, 10, 0, 64});
    ExpectCell(root.child[1], {10, 64, 0, 64});
    ExpectCell(root.child[0]->child[0], {0, 10, 0, 20});
    ExpectCell(root.child[0]->child[1], {0, 10, 20, 64});
    EXPECT_EQ(node, root.child[0]->child[0]);
    EXPECT_EQ(node->glyph, &g);
    EXPECT_EQ(root.child[1]->child[0], nullptr);
}

TEST(FontPacker, PlacesASmallSetExactlyWithAndWithoutGap) {
    // Sorted by area whatever the list order; equal areas keep the list order.
    GlyphImport a = Glyph(30, 30), b = Glyph(20, 40), c = Glyph(16, 8), d = Glyph(10, 10), e = Glyph(5, 20);
    std::vector<GlyphImport*> list = {&e, &d, &c, &a, &b};
    SortGlyphsForPacking(list);
    ASSERT_EQ(list, (std::vector<GlyphImport*>{&a, &b, &c, &e, &d}));

    struct Case {
        unsigned gap;
        Cell a, b, c, e, d;
    };
    const Case cases[] = {
        {0, {0, 30, 0, 30}, {30, 50, 0, 40}, {0, 16, 30, 38}, {0, 5, 38, 58}, {5, 15, 38, 48}},
        {1, {0, 31, 0, 31}, {31, 52, 0, 41}, {0, 17, 31, 40}, {0, 6, 40, 61}, {6, 17, 40, 51}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.gap);
        TexturePlaceNode root(0, 64, 0, 64);
        std::map<GlyphImport*, const TexturePlaceNode*> at;
        for (GlyphImport* g : list) at[g] = root.InsertNode(g, k.gap);
        ExpectCell(at[&a], k.a);
        ExpectCell(at[&b], k.b);
        ExpectCell(at[&c], k.c);
        ExpectCell(at[&e], k.e);
        ExpectCell(at[&d], k.d);
    }
}

TEST(FontPacker, AFullTextureTakesNothingMore) {
    TexturePlaceNode root(0, 64, 0, 64);
    GlyphImport big = Glyph(64, 64), small = Glyph(1, 1);
    EXPECT_EQ(root.InsertNode(&big, 0), &root);
    EXPECT_EQ(root.InsertNode(&small, 0), nullptr);

    // 4096 one-pixel cells fill 64 x 64 exactly; the next one fits nowhere.
    TexturePlaceNode grid(0, 64, 0, 64);
    std::vector<GlyphImport> dots(4097, Glyph(1, 1));
    int placed = 0;
    std::vector<bool> taken(64 * 64, false);
    for (GlyphImport& g : dots)
        if (const TexturePlaceNode* n = grid.InsertNode(&g, 0)) {
            ++placed;
            EXPECT_FALSE(taken[n->y1 * 64 + n->x1]);
            taken[n->y1 * 64 + n->x1] = true;
        }
    EXPECT_EQ(placed, 4096);
    // Cells without area and glyphs wider than the texture are never placed.
    TexturePlaceNode empty(0, 64, 0, 64);
    GlyphImport none = Glyph(0, 0), wide = Glyph(65, 1);
    EXPECT_EQ(empty.InsertNode(&none, 0), nullptr);
    EXPECT_EQ(empty.InsertNode(&wide, 0), nullptr);
    EXPECT_EQ(empty.child[0], nullptr);
}

// ---------------------------------------------------------------------------
// Import and export on an offscreen GL context

namespace {

class FontImportFrame : public OffscreenFrame {
protected:
    void SetUp() override {
        OffscreenFrame::SetUp();
        DropUnheldResources();
        ASSERT_TRUE(m_Folder.IsEntered());
        ASSERT_EQ(mkdir("font_exports", 0700), 0);
    }
    void TearDown() override {
        DropUnheldResources();
        OffscreenFrame::TearDown();
    }
    ScratchFolder m_Folder;
};

}  // namespace

TEST_F(FontImportFrame, PlacesTheImagesAndMovesTheOffsetsToTheOrigin) {
    const Px colours[] = {{10, 20, 30, 255}, {40, 50, 60, 255}, {70, 80, 90, 128}, {1, 2, 3, 4}};
    WriteImage("font_exports/imp.zyn_fnt_65.tga", 30, 30, colours[0]);
    WriteImage("font_exports/imp.zyn_fnt_66.tga", 20, 40, colours[1]);
    WriteImage("font_exports/imp.zyn_fnt_67.tga", 16, 8, colours[2]);
    WriteImage("font_exports/imp.zyn_fnt_68.tga", 10, 10, colours[3]);
    const std::string text = std::string(kHeader) + FontTag("imp.zyn_fnt", "0,0,0,0") +
                             "\t\t<GLYPH=65,1,-30,31>\r\n\t\t<GLYPH=66,2,-40,22>\r\n"
                             "\t\t<GLYPH=67,0,-8,17>\r\n# a comment between glyphs\r\n"
                             "\t\t<GLYPH=68,-3,-10,11>\r\n\t</FONT>\r\n</TEXTURE>\r\n";
    ScopedLogCapture log;
    ASSERT_TRUE(ImportText(text));
    EXPECT_TRUE(log->Contains(" I. Importing fonts..."));
    EXPECT_TRUE(log->Contains(" I. Importing texture: imp.tga (64,64)"));
    EXPECT_TRUE(log->Contains(" I. Importing font: imp.zyn_fnt (0,0,0,0,12,5)"));
    EXPECT_TRUE(log->Contains(" I. Importing fonts... DONE"));
    EXPECT_FALSE(log->Contains(" W. "));

    Font* font = ManagedFont("imp.zyn_fnt");
    ASSERT_NE(font, nullptr);
    Texture* texture = font->GetFontTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetName(), "imp.tga");
    EXPECT_EQ(GetCreateTextureManager()->FindObject("imp.tga", nullptr, -1), texture);
    EXPECT_EQ(font->GetSpaceWidth(), 5);
    EXPECT_EQ(font->GetFontHeight(), 12u);
    // AddGlyph lowers the tag's -9 to the lowest origin offset (B's).
    EXPECT_EQ(font->GetMaxBearY(), -20);
    ASSERT_EQ(font->GetGlyphs().size(), 4u);
    EXPECT_EQ(texture->GetSpriteCount(), 5);

    // Edge to edge, larger area first; the origin at each sprite's centre.
    struct Want {
        int code;
        Rect<short> rect;
        int xOffset, yOffset, advance;
    };
    const Want want[] = {{65, {0, 0, 30, 30}, 1 + 15, -30 + 15, 31},
                         {66, {30, 0, 50, 40}, 2 + 10, -40 + 20, 22},
                         {67, {0, 30, 16, 38}, 0 + 8, -8 + 4, 17},
                         {68, {0, 38, 10, 48}, -3 + 5, -10 + 5, 11}};
    const std::vector<Px> pixels = TexturePixels(texture);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(want[i].code);
        const Font::FontGlyph* g = font->GetGlyph(want[i].code);
        ASSERT_NE(g, nullptr);
        const Rect<short> r = texture->GetSpriteTextureRect(g->sprite);
        EXPECT_EQ(r.x1, want[i].rect.x1);
        EXPECT_EQ(r.y1, want[i].rect.y1);
        EXPECT_EQ(r.x2, want[i].rect.x2);
        EXPECT_EQ(r.y2, want[i].rect.y2);
        EXPECT_EQ(g->xOffset, want[i].xOffset);
        EXPECT_EQ(g->yOffset, want[i].yOffset);
        EXPECT_EQ(g->advance, want[i].advance);
        // The image's pixels, corner to corner.
        EXPECT_TRUE(pixels[size_t(r.y1) * 64 + size_t(r.x1)] == colours[i]);
        EXPECT_TRUE(pixels[size_t(r.y2 - 1) * 64 + size_t(r.x2 - 1)] == colours[i]);
    }
    // Everything else is transparent white.
    EXPECT_TRUE(pixels[0 * 64 + 50] == kClear);
    EXPECT_TRUE(pixels[63 * 64 + 63] == kClear);
    EXPECT_TRUE(pixels[48 * 64 + 0] == kClear);
}

TEST_F(FontImportFrame, OneSpacedFontGivesEveryGlyphOfItsBlockAGap) {
    WriteImage("font_exports/a.zyn_fnt_97.tga", 8, 8, {255, 255, 255, 255});
    WriteImage("font_exports/b.zyn_fnt_98.tga", 8, 8, {255, 255, 255, 255});
    struct Case {
        const char* spacingB;
        short y1OfB;
        bool bottomGap;
    };
    for (const Case& k : {Case{"0,0,0,0", 8, false}, Case{"0,0,0,1", 9, true}}) {
        SCOPED_TRACE(k.spacingB);
        const std::string text = std::string(kHeader) + FontTag("a.zyn_fnt", "0,0,0,0") +
                                 "<GLYPH=97,0,-8,9>\r\n</FONT>\r\n" + FontTag("b.zyn_fnt", k.spacingB) +
                                 "<GLYPH=98,0,-8,9>\r\n</FONT>\r\n</TEXTURE>\r\n";
        ASSERT_TRUE(ImportText(text));
        Font* a = ManagedFont("a.zyn_fnt");
        Font* b = ManagedFont("b.zyn_fnt");
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->GetFontTexture(), b->GetFontTexture());
        Texture* texture = a->GetFontTexture();
        const Rect<short> ra = texture->GetSpriteTextureRect(a->GetGlyph('a')->sprite);
        const Rect<short> rb = texture->GetSpriteTextureRect(b->GetGlyph('b')->sprite);
        EXPECT_EQ(ra.y1, 0);
        EXPECT_EQ(rb.y1, k.y1OfB);
        // Sprites stay the size of their images either way.
        EXPECT_EQ(rb.y2 - rb.y1, 8);
        EXPECT_EQ(ra.x2 - ra.x1, 8);
        bool sides[4] = {};
        ASSERT_TRUE(a->GetGlyphSpriteSpacing(sides));
        EXPECT_EQ(sides[1], k.bottomGap);
    }
}

TEST_F(FontImportFrame, ExportThenImportKeepsOffsetsAdvancesSpritesAndPixels) {
    // A font laid out by hand: sprites with their origins at the top-left
    // corner, a gap around each, and pixels that differ from glyph to glyph.
    Ref<Texture> texture(new Texture("imp_rt.tga"));
    ASSERT_TRUE(texture->InitEmptyTexture(64, 32, false));
    ASSERT_EQ(GetCreateTextureManager()->InsertObject(texture.Get(), 0, 0, nullptr), 0);
    Image art(64, 32);
    for (u32 i = 0; i < 64 * 32; ++i) {
        const u8 v = u8(i * 7);
        const Px p{v, u8(255 - v), u8(i / 64), u8(i % 3 ? 255 : 100)};
        std::memcpy(art.data + size_t(i) * 4, &p, 4);
    }
    ASSERT_TRUE(G::DrawImageOnTexture(texture->GetTexHandle(), art, 0, 0));
    Ref<Font> font(new Font("imp_rt.zyn_fnt"));
    ASSERT_EQ(GetCreateFontManager()->InsertObject(font.Get(), 0, 0, nullptr), 0);
    font->InitEmptyFont(texture.Get(), 4, -11, 13);
    const struct {
        int code;
        int x1, y1, x2, y2;
        short xOffset, yOffset, advance;
    } glyphs[] = {
        {'A', 1, 1, 8, 12, 0, -11, 8}, {'j', 10, 1, 14, 14, -1, -8, 4}, {0x416, 16, 1, 27, 10, 1, -9, 12}};
    for (const auto& g : glyphs) {
        const int sprite = texture->RegisterSprite(g.x1, g.y1, g.x2, g.y2, 0, 0);
        ASSERT_TRUE(font->AddGlyph(g.code, u16(sprite), g.xOffset, g.yOffset, g.advance));
    }
    // What must survive: the corner offsets, advances, sizes and pixels.
    struct Seen {
        int x, y, advance, w, h;
        std::vector<Px> pixels;
    };
    auto look = [](Font* f) {
        std::map<int, Seen> seen;
        Texture* t = f->GetFontTexture();
        const std::vector<Px> all = TexturePixels(t);
        for (const auto& entry : f->GetGlyphs()) {
            const Texture::SpriteDef& s = t->GetSpriteDef(entry.second.sprite);
            const Rect<short> r = t->GetSpriteTextureRect(entry.second.sprite);
            Seen v{entry.second.xOffset - s.xOrigin,
                   entry.second.yOffset - s.yOrigin,
                   entry.second.advance,
                   s.width,
                   s.height,
                   {}};
            for (int y = r.y1; y < r.y2; ++y)
                for (int x = r.x1; x < r.x2; ++x)
                    v.pixels.push_back(all[size_t(y) * t->GetWidth() + size_t(x)]);
            seen[entry.first] = v;
        }
        return seen;
    };
    const std::map<int, Seen> before = look(font.Get());

    VectorFile exported;
    ScopedLogCapture log;
    const std::string home = Cwd();
    ASSERT_TRUE(GetCreateFontManager()->Export(0, exported));
    EXPECT_EQ(Cwd(), home);
    const std::string text(exported.GetVector().begin(), exported.GetVector().end());
    EXPECT_EQ(text.find("# ZYN Font Export ("), 0u);
    EXPECT_NE(text.find("# Number of textures: 1\r\n"), std::string::npos);
    EXPECT_NE(text.find("# Graphics exported to: cur_dir\\font_exports\r\n\r\n<TEXTURE=imp_rt.tga,64,32>\r\n"
                        "\t<FONT=imp_rt.zyn_fnt,1,1,1,1,13,4,-11>\r\n"
                        "\t\t<GLYPH=65,0,-11,8>\r\n\t\t<GLYPH=106,-1,-8,4>\r\n\t\t<GLYPH=1046,1,-9,12>\r\n"
                        "\t</FONT>\r\n</TEXTURE>\r\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(SimpleFile::DoesFileExist("font_exports/imp_rt.zyn_fnt_1046.tga"));

    // Import the text as it stands: the same font and texture are rebuilt.
    ASSERT_TRUE(ImportText(text));
    EXPECT_EQ(ManagedFont("imp_rt.zyn_fnt"), font.Get());
    EXPECT_FALSE(log->Contains(" W. "));
    const std::map<int, Seen> after = look(font.Get());
    ASSERT_EQ(after.size(), before.size());
    for (const auto& entry : before) {
        SCOPED_TRACE(entry.first);
        const Seen& a = after.at(entry.first);
        const Seen& b = entry.second;
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.advance, b.advance);
        EXPECT_EQ(a.w, b.w);
        EXPECT_EQ(a.h, b.h);
        EXPECT_TRUE(a.pixels == b.pixels);
    }
    EXPECT_EQ(font->GetMaxBearY(), -11);
    EXPECT_EQ(font->GetSpaceWidth(), 4);
    EXPECT_EQ(font->GetFontHeight(), 13u);
    // Let the manager drop them while GL still runs.
    font.Reset();
    texture.Reset();
}

TEST_F(FontImportFrame, ExportWithoutItsFolderFailsAndStaysPut) {
    Ref<Texture> texture(new Texture("imp_ex.tga"));
    ASSERT_TRUE(texture->InitEmptyTexture(8, 8, false));
    Ref<Font> font(new Font("imp_ex.zyn_fnt"));
    ASSERT_EQ(GetCreateFontManager()->InsertObject(font.Get(), 0, 0, nullptr), 0);
    font->InitEmptyFont(texture.Get(), 2, -4, 5);
    ASSERT_EQ(rmdir("font_exports"), 0);
    WriteRaw("font_exports", Bytes{'x'});
    ScopedLogCapture log;
    const std::string home = Cwd();
    VectorFile out;
    EXPECT_FALSE(GetCreateFontManager()->Export(0, out));
    EXPECT_TRUE(log->Contains(" W. Could not create directory <font_exports> ... Export aborted"));
    EXPECT_EQ(Cwd(), home);
    EXPECT_FALSE(GetCreateFontManager()->Export(1, out));
    font.Reset();
}

TEST_F(FontImportFrame, GlyphsThatDoNotFitAreCountedAndLeftOut) {
    WriteImage("font_exports/full.zyn_fnt_49.tga", 64, 64, {255, 255, 255, 255});
    WriteImage("font_exports/full.zyn_fnt_50.tga", 2, 2, {255, 255, 255, 255});
    WriteImage("font_exports/full.zyn_fnt_51.tga", 1, 1, {255, 255, 255, 255});
    ScopedLogCapture log;
    ASSERT_TRUE(ImportText(std::string(kHeader) + FontTag("full.zyn_fnt", "0,0,0,0") +
                           "<GLYPH=49,0,0,64><GLYPH=50,0,0,3><GLYPH=51,0,0,2></FONT></TEXTURE>"));
    EXPECT_TRUE(
        log->Contains(" W. Some charcters (2) did not fit into the texture. Please adjust settings..."));
    Font* font = ManagedFont("full.zyn_fnt");
    ASSERT_NE(font, nullptr);
    // Left out, the others are blanks of the space width, not the whole texture.
    ASSERT_EQ(font->GetGlyphs().size(), 1u);
    const Rect<short> r = font->GetFontTexture()->GetSpriteTextureRect(font->GetGlyph('1')->sprite);
    EXPECT_EQ(r.x2 - r.x1, 64);
    EXPECT_NE(font->GetGlyph('1')->sprite, 0);
}

TEST_F(FontImportFrame, DamagedGlyphImagesGiveEmptyGlyphs) {
    // 1 missing; 2 truncated; 3 claims 65535 x 65535 in a few bytes; 4 is 24-bit;
    // 5 is not an image; 6 is a folder; 7 is sound but wider than the texture; 8 is fine.
    Bytes truncated = TgaBytes(8, 8);
    truncated.resize(18 + 10);
    WriteRaw("font_exports/bad.zyn_fnt_50.tga", truncated);
    Bytes huge = TgaBytes(1, 1);
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
    WriteRaw("font_exports/bad.zyn_fnt_51.tga", huge);
    WriteRaw("font_exports/bad.zyn_fnt_52.tga", SolidTga(4, 4, 0xFFFFFFFF, 24));
    WriteRaw("font_exports/bad.zyn_fnt_53.tga",
             Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    ASSERT_EQ(mkdir("font_exports/bad.zyn_fnt_54.tga", 0700), 0);
    WriteImage("font_exports/bad.zyn_fnt_55.tga", 100, 10, {255, 255, 255, 255});
    WriteImage("font_exports/bad.zyn_fnt_56.tga", 4, 4, {255, 255, 255, 255});
    std::string text = std::string(kHeader) + FontTag("bad.zyn_fnt", "0,0,0,0");
    for (int code = 49; code <= 56; ++code)
        text += "<GLYPH=" + std::to_string(code) + ",1,-4," + std::to_string(code - 40) + ">\r\n";
    text += "</FONT>\r\n</TEXTURE>\r\n";

    ScopedLogCapture log;
    ASSERT_TRUE(ImportText(text));
    EXPECT_TRUE(
        log->Contains(" I. Glyph image font_exports/bad.zyn_fnt_49.tga not found, the glyph is empty"));
    EXPECT_EQ(log->Count("is truncated, the glyph is empty"), 2);
    EXPECT_EQ(log->Count("is not a 32-bit TGA, the glyph is empty"), 3);
    EXPECT_TRUE(log->Contains(" W. Some charcters (1) did not fit"));

    Font* font = ManagedFont("bad.zyn_fnt");
    ASSERT_NE(font, nullptr);
    Texture* texture = font->GetFontTexture();
    for (int code = 49; code <= 54; ++code) {
        SCOPED_TRACE(code);
        const Font::FontGlyph* g = font->GetGlyph(code);
        ASSERT_NE(g, nullptr);
        // An empty sprite draws nothing; the advance still moves the pen.
        EXPECT_NE(g->sprite, 0);
        EXPECT_EQ(texture->GetSpriteDef(g->sprite).width, 0);
        EXPECT_EQ(texture->GetSpriteDef(g->sprite).height, 0);
        EXPECT_EQ(g->advance, code - 40);
    }
    EXPECT_EQ(font->GetGlyph(55), nullptr);
    ASSERT_NE(font->GetGlyph(56), nullptr);
    EXPECT_EQ(texture->GetSpriteDef(font->GetGlyph(56)->sprite).width, 4);
}

TEST_F(FontImportFrame, MalformedTextsEndWithTheirMessages) {
    WriteImage("font_exports/m.zyn_fnt_65.tga", 4, 4, {255, 255, 255, 255});
    const struct {
        std::string text;
        bool result;
        const char* message;
    } cases[] = {
        {"", true, " I. Importing fonts... DONE"},
        {"# only a comment\r\n", true, " I. Importing fonts... DONE"},
        {"<TEXTUR=t.tga,8,8>", true, " W. <TEXTURE= exetepcted in file... aborting import"},
        {"<TEXTURE=,8,8>", true, " W. Syntax error (bad coma in TEXTURE tag) aborting import"},
        {"<TEXTURE=t.tga>\r\n<FONT=m.zyn_fnt,0,0,0,0,1,1,1>", true,
         " W. Syntax error (bad coma in TEXTURE tag) aborting import"},
        {"<TEXTURE=t.tga,8,8>\r\n\t<FONT=m.zyn_fnt>\r\n", false,
         " W. Syntax error (bad coma in FONT tag) aborting import"},
        {"<TEXTURE=t.tga,8,8>\r\n\t<FONT=m.zyn_fnt,0,0,0,0,9,3,-7>\r\n<GLYPH=65,0,0,5>\r\n<BAD>", false,
         " W. <GLYPH= or </FONT> tag expected... aborting import"},
        {"<TEXTURE=t.tga,8,8>\r\n\t<FONT=m.zyn_fnt,0,0,0,0,9,3,-7>\r\n</FONT><BAD>", false,
         " W. <FONT= or </TEXTURE> tag expected... aborting import"},
        {"<TEXTURE=t.tga,100000,8>\r\n</TEXTURE>", false, " W. Texture t.tga cannot be 100000 x 8 pixels"},
        {"<TEXTURE=t.tga,-8,8>\r\n</TEXTURE>", false, " W. Texture t.tga cannot be -8 x 8 pixels"},
        {"<TEXTURE=t.tga,99999999999999999999,8>\r\n</TEXTURE>", false,
         " W. Texture t.tga cannot be 2147483647 x 8 pixels"},
        {"<TEXTURE=t.tga,8,8>\r\n\t<FONT=m.zyn_fnt,0,0,0,0,9,3,-7>\r\n<GLYPH=65,0,0,5>\r\n", true,
         " W. Font import text ends inside texture t.tga"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        ScopedLogCapture log;
        EXPECT_EQ(ImportText(k.text), k.result);
        EXPECT_TRUE(log->Contains(k.message));
        EXPECT_TRUE(log->Contains(" I. Importing fonts..."));
    }
    // The text that ends inside its block still brought its glyph in.
    Font* font = ManagedFont("m.zyn_fnt");
    ASSERT_NE(font, nullptr);
    EXPECT_NE(font->GetGlyph('A'), nullptr);
}

TEST_F(FontImportFrame, EveryTruncationOfAnExportIsBounded) {
    WriteImage("font_exports/cut.zyn_fnt_65.tga", 5, 7, {255, 255, 255, 255});
    WriteImage("font_exports/cut.zyn_fnt_66.tga", 6, 7, {255, 255, 255, 255});
    const std::string text = std::string(kHeader) + FontTag("cut.zyn_fnt", "1,1,1,1") +
                             "\t\t<GLYPH=65,0,-7,6>\r\n\t\t<GLYPH=66,0,-7,7>\r\n\t</FONT>\r\n</TEXTURE>\r\n";
    const size_t lastGlyph = text.find("\t</FONT>");
    for (size_t n = 0; n <= text.size(); ++n) {
        SCOPED_TRACE(n);
        const bool ok = ImportText(text.substr(0, n));
        Font* font = ManagedFont("cut.zyn_fnt");
        if (!font) continue;
        // Whatever was read, every glyph indexes a sprite of its own texture.
        Texture* texture = font->GetFontTexture();
        ASSERT_NE(texture, nullptr);
        EXPECT_LE(font->GetGlyphs().size(), 2u);
        for (const auto& entry : font->GetGlyphs())
            EXPECT_LT(int(entry.second.sprite), texture->GetSpriteCount());
        // A cut closing tag fails the block; a text that simply ends keeps what it read.
        if (ok && n >= lastGlyph) {
            EXPECT_EQ(font->GetGlyphs().size(), 2u);
        }
        if (n == text.size()) {
            EXPECT_TRUE(ok);
        }
    }
}

TEST_F(FontImportFrame, HugeTextIsRefusedBeforeItIsRead) {
    // A stream claiming 100 MB that counts what is asked of it.
    class HugeFile : public File {
    public:
        unsigned Read(void*, unsigned) override {
            ++reads;
            return 0;
        }
        unsigned Seek(int offset, int origin) override {
            const unsigned old = position;
            position =
                origin == 2 ? (100u << 20) + unsigned(offset) : unsigned(offset) + (origin == 1 ? old : 0);
            return old;
        }
        bool IsEnd() override { return position >= (100u << 20); }
        unsigned position = 0;
        int reads = 0;
    } huge;
    ScopedLogCapture log;
    EXPECT_FALSE(GetCreateFontManager()->Import(0, huge));
    EXPECT_TRUE(log->Contains(" W. Font import text too large (104857600 bytes)... aborting import"));
    EXPECT_EQ(huge.reads, 0);
}

TEST_F(FontImportFrame, MissingFolderLeavesTheFontsWithoutGlyphs) {
    ASSERT_EQ(rmdir("font_exports"), 0);
    ScopedLogCapture log;
    ASSERT_TRUE(ImportText(std::string(kHeader) + FontTag("nofolder.zyn_fnt", "0,0,0,0") +
                           "<GLYPH=65,0,-7,6></FONT></TEXTURE>"));
    EXPECT_TRUE(log->Contains(" W. Could not find directory <font_exports> ... Import aborted"));
    Font* font = ManagedFont("nofolder.zyn_fnt");
    ASSERT_NE(font, nullptr);
    EXPECT_TRUE(font->GetGlyphs().empty());
    EXPECT_EQ(font->GetSpaceWidth(), 5);
}

// ---------------------------------------------------------------------------
// The zynfont tool

namespace {

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct RunResult {
    int status = -1;
    std::string output;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

RunResult RunZynFont(const std::vector<std::string>& args) {
    std::string command = Quote(ZYN_ZYNFONT_EXE);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " 2>&1";
    RunResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ZynFontTool, BadArgumentsAreRefusedWithTheirReasons) {
    ScratchFolder folder;
    ASSERT_TRUE(folder.IsEntered());
    const RunResult help = RunZynFont({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: zynfont [OPTIONS] FONT_FILE"), std::string::npos);

    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{}, 2, "no FONT_FILE given"},
        {{"--frobnicate", kDejaVu}, 2, "unknown option --frobnicate"},
        {{"--ranges", "126-32", kDejaVu}, 2, "range \"126-32\" ends before it starts"},
        {{"--ranges", "32-0x110000", kDejaVu}, 2, "\"32-0x110000\" is not a code point or range"},
        {{"--ranges", "32,,40", kDejaVu}, 2, "empty item in the range list"},
        {{"--ranges", "-5", kDejaVu}, 2, "\"-5\" is not a code point or range"},
        {{"--size", "0", kDejaVu}, 2, "pixel size \"0\" is not a whole number from 2 to 1024"},
        {{"--texture-size", "64", kDejaVu}, 2, "texture size \"64\" is not WxH"},
        {{"--name", "a/b", kDejaVu}, 2, "name \"a/b\" must be 1 to 100 characters without '/'"},
        {{"no-such-font.ttf"}, 1, "no-such-font.ttf: No such file or directory"},
        {{"--ranges", "0xF0000-0xF00FF", kDejaVu}, 1, "has a glyph for none of the code points"},
        {{"--size", "40", "--texture-size", "32x32", kDejaVu},
         1,
         "glyphs do not fit 32x32; give a larger --texture-size or leave it out"},
    };
    for (const auto& k : cases) {
        if (!SimpleFile::DoesFileExist(kDejaVu) && k.status == 1 && k.args.size() > 1) continue;
        const RunResult r = RunZynFont(k.args);
        EXPECT_EQ(r.status, k.status) << r.output;
        EXPECT_NE(r.output.find(k.message), std::string::npos) << r.output;
    }
    // Nothing is left behind by a run that failed.
    EXPECT_FALSE(SimpleFile::DoesFileExist("DejaVuSans_16.zyn_fnt"));
}

namespace {

class ZynFontFrame : public OffscreenFrame {
protected:
    void SetUp() override {
        if (!SimpleFile::DoesFileExist(kDejaVu)) GTEST_SKIP() << kDejaVu << " is missing (fonts-dejavu-core)";
        OffscreenFrame::SetUp();
        ASSERT_TRUE(m_Folder.IsEntered());
    }
    void TearDown() override {
        if (m_pPackage) Singleton<Root>::Get()->RemoveObject(m_pPackage, Root::kPackages);
        if (SimpleFile::DoesFileExist(kDejaVu)) OffscreenFrame::TearDown();
    }
    ScratchFolder m_Folder;
    Package* m_pPackage = nullptr;  // held by the Root's package group
};

}  // namespace

TEST_F(ZynFontFrame, DejaVuSansBecomesAFontWhoseTextDrawsItsGlyphImages) {
    const RunResult run =
        RunZynFont({"--size", "20", "--ranges", "32-126,0xC0-0xFF", "--out", "out", kDejaVu});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("DejaVuSans_20.zyn_fnt: 159 glyphs at 20 px in a "), std::string::npos)
        << run.output;
    for (const char* f :
         {"DejaVuSans_20.zyn_fnt", "DejaVuSans_20.tga", "DejaVuSans_20.tga_ex", "DejaVuSans_20.pac",
          "DejaVuSans_20.txt", "font_exports/DejaVuSans_20.zyn_fnt_65.tga"})
        EXPECT_TRUE(SimpleFile::DoesFileExist((std::string("out/") + f).c_str())) << f;

    // The pack alone serves the font, its texture and its sprite table.
    m_pPackage = new PacPackage("out/DejaVuSans_20.pac");
    Singleton<Root>::Get()->InsertObject(m_pPackage, Root::kPackages, 0, nullptr);
    Font* font = GetCreateFontManager()->GetResourceTyped("DejaVuSans_20.zyn_fnt");
    ASSERT_NE(font, nullptr);
    Ref<Font> hold(font);
    font->Release();
    Texture* texture = font->GetFontTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(font->GetGlyphs().size(), 159u);
    EXPECT_EQ(texture->GetSpriteCount(), 160);
    EXPECT_GT(font->GetSpaceWidth(), 0);
    EXPECT_GE(font->GetFontHeight(), 20u);

    // "H\xC3\xA9" (H, e acute) drawn in white on black: each glyph's box shows
    // exactly the coverage of its exported glyph image, and nothing lies outside.
    const float penX = 4, penY = 40;
    font->RenderText(penX, penY, 0, "H\xC3\xA9", 0xFFFFFFFF, 0);
    Finish();
    std::vector<int> expected(kSize * kSize, 0);
    float x = penX;
    int inked = 0;
    for (int code : {int('H'), 0xE9}) {
        const Font::FontGlyph* g = font->GetGlyph(code);
        ASSERT_NE(g, nullptr);
        const Texture::SpriteDef& s = texture->GetSpriteDef(g->sprite);
        DiskFile in(("out/font_exports/DejaVuSans_20.zyn_fnt_" + std::to_string(code) + ".tga").c_str(),
                    "rb");
        Image image(in);
        ASSERT_EQ(image.width, s.width);
        ASSERT_EQ(image.height, s.height);
        const int left = int(x) + g->xOffset - s.xOrigin;
        const int top = int(penY) + g->yOffset - s.yOrigin;
        for (u32 iy = 0; iy < image.height; ++iy)
            for (u32 ix = 0; ix < image.width; ++ix) {
                const int a = image.data[(iy * image.width + ix) * 4 + 3];
                // The texture loaded from its file is premultiplied, and the
                // alpha blend weighs the white by the coverage once more.
                expected[size_t(top + int(iy)) * kSize + size_t(left + int(ix))] = (a * a + 127) / 255;
                inked += a == 255;
            }
        x += g->advance;
    }
    EXPECT_GT(inked, 40);
    int wrong = 0;
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px) {
            const Rgba p = At(px, py);
            if (std::abs(p.r - expected[size_t(py) * kSize + size_t(px)]) > 2 || p.r != p.g || p.g != p.b) {
                if (!wrong++) ADD_FAILURE() << "first wrong pixel at " << px << ", " << py;
            }
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ZynFontFrame, ImportingTheExportAgainGivesTheSameFiles) {
    const RunResult first =
        RunZynFont({"-s", "12", "-r", "48-57", "--no-spacing", "-n", "digits", "-o", "a", kDejaVu});
    ASSERT_EQ(first.status, 0) << first.output;
    const RunResult again = RunZynFont({"--import", "a/digits.txt", "--out", "b"});
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("digits.zyn_fnt: 10 glyphs, texture digits.tga"), std::string::npos)
        << again.output;
    for (const char* f : {"digits.zyn_fnt", "digits.tga", "digits.tga_ex"}) {
        const Bytes a = ReadAll(std::string("a/") + f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_TRUE(a == ReadAll(std::string("b/") + f)) << f;
    }
}

// Found by the font import fuzzer: offsets at the ends of the int range
// overflowed when they were moved to the sprite's origin.
TEST_F(FontImportFrame, OffsetsAtTheEndsOfTheIntRangeSaturate) {
    WriteImage("font_exports/edge.zyn_fnt_65.tga", 10, 6, {1, 2, 3, 255});
    WriteImage("font_exports/edge.zyn_fnt_66.tga", 10, 6, {4, 5, 6, 255});
    const std::string text = std::string(kHeader) + FontTag("edge.zyn_fnt", "0,0,0,0") +
                             "\t\t<GLYPH=65,2147483647,2147483647,7>\r\n"
                             "\t\t<GLYPH=66,-2147483648,-2147483648,7>\r\n\t</FONT>\r\n</TEXTURE>\r\n";
    ASSERT_TRUE(ImportText(text));
    Font* font = ManagedFont("edge.zyn_fnt");
    ASSERT_NE(font, nullptr);
    const Font::FontGlyph* high = font->GetGlyph(65);
    const Font::FontGlyph* low = font->GetGlyph(66);
    ASSERT_NE(high, nullptr);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(high->xOffset, 32767);
    EXPECT_EQ(high->yOffset, 32767);
    EXPECT_EQ(low->xOffset, -32768);
    EXPECT_EQ(low->yOffset, -32768);
}
