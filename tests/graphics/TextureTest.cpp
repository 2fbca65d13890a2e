// Textures on an offscreen context: loading with alpha and sprite side files,
// the sprite table and its binary and text formats, sprite drawing read back
// from the frame, mipmapped minification, and the texture functions of Graphics.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include <zyn/core/Property.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>

#include "TextureTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace G = Zyn::Graphics;

namespace {

const u32 kWhite = 0xFFFFFFFF;

/// A texture of w x h opaque white texels (Fill writes the bytes FF FF FF FF).
Texture* MakeWhite(const char* name, unsigned w, unsigned h) {
    Texture* t = new Texture(name);
    t->AddRef();
    EXPECT_TRUE(t->InitEmptyTexture(w, h, false));
    EXPECT_TRUE(G::FillRectTexture(t->GetTexHandle(), 0, 0, w, h, kWhite));
    return t;
}

/// An empty (zero) texture of the given size, with one reference.
Texture* MakeEmpty(const char* name, unsigned w, unsigned h) {
    Texture* t = new Texture(name);
    t->AddRef();
    EXPECT_TRUE(t->InitEmptyTexture(w, h, false));
    return t;
}

Bytes Contents(const VectorFile& f) { return f.GetVector(); }

u32 U32At(const Bytes& b, size_t at) {
    u32 v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void ExpectSameSprites(Texture* a, Texture* b) {
    ASSERT_EQ(a->GetSpriteCount(), b->GetSpriteCount());
    for (int i = 0; i < a->GetSpriteCount(); ++i)
        EXPECT_EQ(std::memcmp(&a->GetSpriteDef(i), &b->GetSpriteDef(i), sizeof(Texture::SpriteDef)), 0)
            << "sprite " << i;
}

class TextureGL : public OffscreenFrame {};

}  // namespace

// ---------------------------------------------------------------------------
// The sprite table.

TEST(TextureSprites, FreshTextureHasSpriteZeroOf128) {
    Texture t("fresh");
    ASSERT_EQ(t.GetSpriteCount(), 1);
    const Texture::SpriteDef& s = t.GetSpriteDef(0);
    EXPECT_EQ(s.width, 128);
    EXPECT_EQ(s.height, 128);
    EXPECT_EQ(s.xOrigin, 64);
    EXPECT_EQ(s.yOrigin, 64);
    EXPECT_EQ(s.uLeft, 0.0f);
    EXPECT_EQ(s.uRight, 1.0f);
    EXPECT_EQ(s.vBottom, 1.0f);
    EXPECT_EQ(t.GetWidth(), 0u);
    EXPECT_TRUE(t.GetTexHandle().IsNull());
}

TEST_F(TextureGL, RegisterTranslateAndRectOfSprites) {
    Texture* t = MakeEmpty("table", 256, 128);
    EXPECT_EQ(t->RegisterSprite(10, 20, 42, 36), 1);
    const Texture::SpriteDef& s = t->GetSpriteDef(1);
    EXPECT_EQ(s.width, 32);
    EXPECT_EQ(s.height, 16);
    EXPECT_EQ(s.xOrigin, 16);
    EXPECT_EQ(s.yOrigin, 8);
    EXPECT_FLOAT_EQ(s.uLeft, 10.0f / 256);
    EXPECT_FLOAT_EQ(s.uRight, 42.0f / 256);
    EXPECT_FLOAT_EQ(s.vTop, 20.0f / 128);
    EXPECT_FLOAT_EQ(s.vBottom, 36.0f / 128);
    // Corners given the other way round give the same size.
    EXPECT_EQ(t->RegisterSprite(42, 36, 10, 20, -3, 5), 2);
    EXPECT_EQ(t->GetSpriteDef(2).width, 32);
    EXPECT_EQ(t->GetSpriteDef(2).xOrigin, -3);

    t->TranslateSpriteDef(1, 6, -4);
    Rect<short> r = t->GetSpriteTextureRect(1);
    EXPECT_EQ(r.x1, 16);
    EXPECT_EQ(r.y1, 16);
    EXPECT_EQ(r.x2, 48);
    EXPECT_EQ(r.y2, 32);
    EXPECT_EQ(t->GetSpriteDef(1).width, 32) << "the pixel size stays";

    // Sprite 0 and unknown ids are not moved; unknown ids read as sprite 0.
    t->TranslateSpriteDef(0, 5, 5);
    t->TranslateSpriteDef(99, 5, 5);
    r = t->GetSpriteTextureRect(0);
    EXPECT_EQ(r.x1, 0);
    EXPECT_EQ(r.x2, 256);
    r = t->GetSpriteTextureRect(99);
    EXPECT_EQ(r.y2, 128);

    t->ResetSprites();
    EXPECT_EQ(t->GetSpriteCount(), 1);
    EXPECT_EQ(t->GetSpriteDef(0).xOrigin, 128);
    t->Release();
}

TEST(TextureClass, RecordFactoryPropertiesAndInterfaces) {
    Class* cls = Class::FindClass("Texture");
    ASSERT_EQ(cls, &Texture::sm_Class);
    EXPECT_TRUE(cls->Supports(&Resource::sm_Class));
    EXPECT_TRUE(cls->Supports(&IExportable::sm_Class));
    EXPECT_TRUE(cls->Supports(&IImportable::sm_Class));

    Object* obj = cls->CreateInstance("made by name");
    Texture* t = ZYN_Cast<Texture, Object>(obj);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ((ZYN_Cast<IImportable, Object>(obj)), static_cast<IImportable*>(t));
    EXPECT_EQ((ZYN_Cast<IExportable, Object>(obj)), static_cast<IExportable*>(t));

    t->RegisterSprite(0, 0, 4, 4);
    ValueProperty* count = nullptr;
    for (ValueProperty* p : cls->GetValueProps())
        if (p->GetName() == "Sprite Count") count = p;
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->GetValue(obj), "2");
    EXPECT_EQ(count->GetFlags() & ValueProperty::kReadOnly, ValueProperty::kReadOnly);
    std::string text = "7";
    EXPECT_FALSE(count->SetValue(obj, text));
    EXPECT_EQ(t->GetSpriteCount(), 2);
    obj->Release();
}

// ---------------------------------------------------------------------------
// Drawing, read back from the frame.

TEST_F(TextureGL, DrawSpriteHonoursTheOrigin) {
    Texture* t = MakeWhite("white8", 8, 8);
    const int id = t->RegisterSprite(0, 0, 4, 4, 2, 3);
    t->DrawSprite(id, 20, 20, 0, kWhite);
    Finish();
    EXPECT_EQ(LitCount(18, 17, 22, 21), 16);
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 16);
    EXPECT_TRUE(Near(18, 17, 255, 255, 255));
    t->Release();
}

TEST_F(TextureGL, DrawSpriteSimpleIgnoresTheOriginAndTintsByColour) {
    Texture* t = MakeWhite("white8", 8, 8);
    const int id = t->RegisterSprite(0, 0, 4, 4, 2, 3);
    t->DrawSpriteSimple(id, 20, 20, 0, 0xFF00FF00);
    Finish();
    EXPECT_EQ(LitCount(20, 20, 24, 24), 16);
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 16);
    EXPECT_TRUE(Near(21, 21, 0, 255, 0));
    t->Release();
}

TEST_F(TextureGL, OutOfRangeIdsDrawSpriteZero) {
    Texture* t = MakeWhite("white8", 8, 8);
    t->RegisterSprite(0, 0, 2, 2);
    t->DrawSprite(unsigned(t->GetSpriteCount()), 40, 40, 0, kWhite);
    t->DrawSpriteEx(12345, 10, 10, 0, 1, 1, 0, kWhite);
    Finish();
    EXPECT_EQ(LitCount(36, 36, 44, 44), 64) << "the whole texture, centred";
    EXPECT_EQ(LitCount(6, 6, 14, 14), 64);
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 128);
    t->Release();
}

TEST_F(TextureGL, DrawSpriteExScalesAboutTheOrigin) {
    Texture* t = MakeWhite("white8", 8, 8);
    const int id = t->RegisterSprite(0, 0, 4, 4, 2, 3);
    const int centred = t->RegisterSprite(0, 0, 4, 4);
    t->DrawSpriteEx(id, 20, 20, 0.0f, 2.0f, 2.0f, 0, kWhite);
    // A NaN angle counts as no rotation.
    t->DrawSpriteEx(centred, 50, 50, std::nanf(""), 1.0f, 0.5f, 0, kWhite);
    Finish();
    EXPECT_EQ(LitCount(16, 14, 24, 22), 64) << "top-left at (x - 2 ox, y - 2 oy)";
    EXPECT_EQ(LitCount(48, 49, 52, 51), 8);
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 72);
    t->Release();
}

TEST_F(TextureGL, DrawSpriteExTurnsClockwiseAboutTheOrigin) {
    Texture* t = MakeWhite("white8", 8, 8);
    // A bar of 8 x 2 pixels with its origin at the left end.
    const int id = t->RegisterSprite(0, 0, 8, 2, 0, 0);
    t->DrawSpriteEx(id, 30, 30, float(M_PI / 2), 1, 1, 0, kWhite);
    Finish();
    // The bar now hangs down from (30, 30), to the left of the origin.
    EXPECT_EQ(LitCount(28, 30, 30, 38), 16);
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 16);
    t->Release();
}

TEST_F(TextureGL, FourColourSpriteColoursItsCorners) {
    Texture* t = MakeWhite("white8", 8, 8);
    t->DrawSpriteEx(0, 16, 16, 0, 4, 4, 0, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF);
    Finish();
    const Rgba tl = At(0, 0), tr = At(31, 0), br = At(31, 31), bl = At(0, 31);
    EXPECT_GT(tl.r, 200);
    EXPECT_LT(tl.g + tl.b, 60);
    EXPECT_GT(tr.g, 200);
    EXPECT_LT(tr.r + tr.b, 60);
    EXPECT_GT(br.b, 200);
    EXPECT_LT(br.r + br.g, 60);
    EXPECT_GT(bl.r + bl.g + bl.b, 3 * 200);
    EXPECT_EQ(LitCount(32, 0, kSize, kSize), 0);
    t->Release();
}

TEST_F(TextureGL, TextureWithoutGLTextureDrawsUntexturedQuads) {
    Texture* null = Texture::GetNullResource();
    null->DrawSprite(0, 32, 32, 0, 0xFF00FF00);
    Finish();
    EXPECT_TRUE(Near(0, 0, 0, 255, 0));
    EXPECT_TRUE(Near(63, 63, 0, 255, 0));
    null->Release();
}

// ---------------------------------------------------------------------------
// Loading through the texture manager.

TEST_F(TextureGL, ImageWithAlphaAndSpriteSideFiles) {
    ScopedPackage pkg;
    // Red, with an alpha image whose left half is opaque and right half clear.
    pkg.Add("pics\\merge.tga", SolidTga(8, 8, 0xFFFF0000));
    pkg.Add("pics\\merge.tga_a", MakeTga(8, 8, 8, [](unsigned x, unsigned) { return x < 4 ? 255u : 0u; }));
    {
        Texture* sheet = MakeEmpty("sheet", 8, 8);
        sheet->RegisterSprite(0, 0, 4, 8);
        sheet->RegisterSprite(4, 0, 8, 8);
        VectorFile ex;
        ASSERT_TRUE(sheet->SaveTextureExData(ex));
        pkg.Add("pics\\merge.tga_ex", ex.GetVector());
        sheet->Release();
    }
    ScopedLogCapture log;
    Singleton<Root>::Get()->m_LogLevel = kLogDebug;
    Texture* t = GetCreateTextureManager()->GetResourceTyped("pics\\merge.tga");
    Singleton<Root>::Get()->m_LogLevel = kLogInfo;
    ASSERT_TRUE(t->GetTexHandle().IsOk());
    EXPECT_EQ(t->GetWidth(), 8u);
    EXPECT_EQ(t->GetSpriteCount(), 3);
    EXPECT_TRUE(log->Contains(" D. Texture (pics\\merge.tga) loaded with size: 8, 8"));
    EXPECT_TRUE(log->Contains("W 8 H 8 C 4"));
    EXPECT_TRUE(log->Contains("W 8 H 8 C 1"));

    t->DrawSpriteEx(0, 16, 16, 0, 4, 4, 0, kWhite);
    Finish();
    EXPECT_TRUE(Near(4, 16, 255, 0, 0));
    EXPECT_TRUE(Near(10, 16, 255, 0, 0));
    EXPECT_TRUE(IsBlack(22, 16));
    EXPECT_TRUE(IsBlack(29, 16));
    t->Release();
}

TEST_F(TextureGL, AlphaImageOfAnotherSizeGivesATextureWithoutGLTexture) {
    ScopedPackage pkg;
    pkg.Add("odd.tga", SolidTga(8, 8, 0xFF00FF00));
    pkg.Add("odd.tga_a", SolidTga(4, 4, 0xFF, 8));
    ScopedLogCapture log;
    Texture* t = GetCreateTextureManager()->GetResourceTyped("odd.tga");
    EXPECT_EQ(t->GetName(), "odd.tga") << "the resource itself loads";
    EXPECT_TRUE(log->Contains(" E. FAILED TO LOAD TEXTURE"));
    EXPECT_TRUE(log->Contains(" E. Failed to load texture... using NULL resource"));
    EXPECT_TRUE(t->GetTexHandle().IsNull());
    EXPECT_EQ(t->GetSpriteCount(), 1);
    EXPECT_EQ(t->GetSpriteDef(0).width, 128);
    t->DrawSprite(0, 32, 32, 0, 0xFF0000FF);
    Finish();
    EXPECT_TRUE(Near(5, 5, 0, 0, 255));
    t->Release();
}

TEST_F(TextureGL, BrokenImagesBailWithoutAllocatingTheirClaims) {
    ScopedPackage pkg;
    Bytes truncated = SolidTga(8, 8, 0xFFFFFFFF);
    truncated.resize(18 + 10);
    pkg.Add("truncated.tga", truncated);
    Bytes absurd = SolidTga(1, 1, 0xFFFFFFFF);
    absurd[12] = absurd[13] = absurd[14] = absurd[15] = 0xF0;  // 61680 x 61680
    pkg.Add("absurd.tga", absurd);
    pkg.Add("garbage.jp2", Bytes(40, 0x5A));
    pkg.Add("empty.png", Bytes());
    for (const char* name : {"truncated.tga", "absurd.tga", "garbage.jp2", "empty.png"}) {
        ScopedLogCapture log;
        Texture* t = GetCreateTextureManager()->GetResourceTyped(name);
        EXPECT_TRUE(log->Contains(" E. BAIL")) << name;
        EXPECT_TRUE(log->Contains("Failed to load texture... using NULL resource")) << name;
        EXPECT_TRUE(t->GetTexHandle().IsNull()) << name;
        t->Release();
    }
}

TEST_F(TextureGL, DescriptorNamesColourAlphaAndSprites) {
    ScopedPackage pkg;
    pkg.Add("art\\c.tga",
            MakeTga(4, 4, 24, [](unsigned x, unsigned y) { return 0xFF000000u | (x * 40 << 16) | y; }));
    pkg.Add("art\\a.tga", SolidTga(4, 4, 77, 8));
    {
        Texture* sheet = MakeEmpty("sheet", 4, 4);
        sheet->RegisterSprite(1, 1, 3, 3);
        VectorFile ex;
        ASSERT_TRUE(sheet->SaveTextureExData(ex));
        pkg.Add("art\\sprites.bin", ex.GetVector());
        sheet->Release();
    }
    pkg.Add("art\\thing.tex",
            "# comment line\r\nc:art\\c.tga\r\nx:ignored\r\na:art\\a.tga\r\ns:art\\sprites.bin");
    Texture* t = GetCreateTextureManager()->GetResourceTyped("art\\thing.tex");
    ASSERT_TRUE(t->GetTexHandle().IsOk());
    EXPECT_EQ(t->GetSpriteCount(), 2);
    EXPECT_EQ(t->GetSpriteTextureRect(1).x1, 1);

    Image img(4, 4);
    ASSERT_TRUE(G::CopyImageFromTexture(t->GetTexHandle(), img, 0, 0, 0, 0, 4, 4));
    // Pixel (3, 2): red 120, green 0, blue 2, alpha from the grey image.
    const u8* p = img.data + (2 * 4 + 3) * 4;
    EXPECT_EQ(p[0], 120);
    EXPECT_EQ(p[2], 2);
    EXPECT_EQ(p[3], 77);
    t->Release();
}

TEST_F(TextureGL, MipmapsAverageWhenMinified) {
    ScopedPackage pkg;
    // Vertical stripes, 4 texels white and 4 black, so that texels 8i+3 and
    // 8i+4 are both white: an unfiltered eighth-size draw sees white, a
    // mipmapped one the average grey.
    auto stripes = [](unsigned x, unsigned) { return ((x + 2) / 4) % 2 ? 0xFFFFFFFFu : 0xFF000000u; };
    pkg.Add("stripes_mip.tga", MakeTga(64, 64, 24, stripes));
    pkg.Add("stripes_flat.tga", MakeTga(64, 64, 24, stripes));
    TextureManager* mgr = GetCreateTextureManager();
    Texture::ms_bMipMaps = true;
    Texture* mip = mgr->GetResourceTyped("stripes_mip.tga");
    Texture::ms_bMipMaps = false;
    Texture* flat = mgr->GetResourceTyped("stripes_flat.tga");
    ASSERT_TRUE(mip->GetTexHandle().IsOk());
    EXPECT_TRUE(mip->GetTexHandle()->mipmapped);
    EXPECT_FALSE(flat->GetTexHandle()->mipmapped);

    mip->DrawSpriteEx(0, 12, 12, 0, 0.125f, 0.125f, 0, kWhite);
    flat->DrawSpriteEx(0, 44, 12, 0, 0.125f, 0.125f, 0, kWhite);
    Finish();
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(Near(8 + i, 8 + i, 128, 128, 128, 6)) << "mipmapped pixel " << i;
        EXPECT_TRUE(Near(40 + i, 8 + i, 255, 255, 255, 2)) << "plain pixel " << i;
    }
    EXPECT_TRUE(IsBlack(7, 8));
    EXPECT_TRUE(IsBlack(16, 8));
    mip->Release();
    flat->Release();
}

// A quad that samples level 0 alone is drawn with plain bilinear filtering,
// which a software rasteriser does far faster; everything else keeps the
// mipmap filter. Either way each quad must look exactly as GL draws it with
// the texture's own filter: the reference below draws the same quads
// straight through GL.
TEST_F(TextureGL, MipmappedQuadsLookAsTheirMipmapFilterDrawsThem) {
    ScopedPackage pkg;
    // A one-texel checkerboard: level 0 shows it, level 1 is flat grey.
    pkg.Add("checker.tga", MakeTga(16, 16, 24, [](unsigned x, unsigned y) {
                return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
            }));
    Texture::ms_bMipMaps = true;
    Texture* tex = GetCreateTextureManager()->GetResourceTyped("checker.tga");
    Texture::ms_bMipMaps = false;
    ASSERT_TRUE(tex->GetTexHandle().IsOk());
    const GLuint name = tex->GetTexHandle()->glName;

    struct Case {
        float scale;
        float angle;
        bool blendLevels;
        GLint filterUsed;
    };
    const Case cases[] = {
        {3.0f, 0.0f, true, GL_LINEAR},                     // magnified
        {1.5f, 0.6f, true, GL_LINEAR},                     // magnified and turned
        {1.0f, 0.0f, true, GL_LINEAR_MIPMAP_LINEAR},       // 1:1 sits on the edge: left alone
        {0.8f, 0.0f, false, GL_LINEAR},                    // the nearest level is still 0
        {0.8f, 0.0f, true, GL_LINEAR_MIPMAP_LINEAR},       // blending levels 0 and 1
        {0.25f, 0.3f, true, GL_LINEAR_MIPMAP_LINEAR},      // minified
        {0.25f, 0.0f, false, GL_LINEAR_MIPMAP_NEAREST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << ", angle " << c.angle);
        G::SetMipLevelBlending(tex->GetTexHandle(), c.blendLevels);
        const GLint mipFilter = c.blendLevels ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
        BeginFrame();
        tex->DrawSpriteEx(0, 32.3f, 31.7f, c.angle, c.scale, c.scale, 0, kWhite);
        BasicVertex quad[4];
        std::memcpy(quad, Texture::ms_SpriteVertex, sizeof quad);
        Finish();
        GLint filter = 0;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, c.filterUsed);
        const std::vector<unsigned char> drawn = m_Pixels;

        BeginFrame();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipFilter);
        glEnable(GL_TEXTURE_2D);
        glColor4ub(255, 255, 255, 255);
        glBegin(GL_QUADS);
        for (const BasicVertex& v : quad) {
            glTexCoord2f(v.u, v.v);
            glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
        glDisable(GL_TEXTURE_2D);
        Finish();
        int worst = 0;
        for (size_t i = 0; i < drawn.size(); ++i) worst = std::max(worst, std::abs(int(drawn[i]) - int(m_Pixels[i])));
        EXPECT_LE(worst, 1);
        // The quad was drawn at all, and magnified ones show the checkerboard.
        EXPECT_GT(LitCount(0, 0, kSize, kSize), 0);
        if (c.scale >= 1.5f) {
            EXPECT_GT(LitCount(0, 0, kSize, kSize), int(c.scale * c.scale * 256 / 4));
        }
        // Put the cache and GL back in step for the next case.
        G::SetMipLevelBlending(tex->GetTexHandle(), c.blendLevels);
    }

    // Quads on either side of the edge are batched apart, in their order.
    G::SetMipLevelBlending(tex->GetTexHandle(), true);
    BeginFrame();
    G::ResetDebugCounters();
    tex->DrawSpriteEx(0, 10, 10, 0, 0.25f, 0.25f, 0, kWhite);
    tex->DrawSpriteEx(0, 20, 20, 0, 2.0f, 2.0f, 0, kWhite);
    tex->DrawSpriteEx(0, 40, 40, 0, 3.0f, 3.0f, 0, kWhite);
    tex->DrawSpriteEx(0, 50, 50, 0, 0.25f, 0.25f, 0, kWhite);
    Finish();
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 3u);
    EXPECT_EQ(G::GetDebugCounters().quadsDrawn, 4u);
    tex->Release();
}

// ---------------------------------------------------------------------------
// The binary sprite file.

TEST_F(TextureGL, ExDataRoundTripWithExactBytes) {
    Texture* t = MakeEmpty("a.jp2", 32, 16);
    t->RegisterSprite(1, 2, 9, 6, -1, 7);
    t->RegisterSprite(16, 0, 32, 16);
    VectorFile f;
    ScopedLogCapture log;
    ASSERT_TRUE(t->SaveTextureExData(f));
    EXPECT_TRUE(log->Contains(" I. Texture::SaveTextureExData -> Saved 3 sprites"));
    const Bytes b = Contents(f);
    ASSERT_EQ(b.size(), 12u + 3 * 24);
    EXPECT_EQ(U32At(b, 0), 3u);
    EXPECT_EQ(U32At(b, 4), 32u);
    EXPECT_EQ(U32At(b, 8), 16u);
    // Sprite 1: width 8, height 4, origin (-1, 7), then four floats.
    const Bytes sprite1(b.begin() + 36, b.begin() + 44);
    EXPECT_EQ(sprite1, (Bytes{8, 0, 4, 0, 0xFF, 0xFF, 7, 0}));
    float u[4];
    std::memcpy(u, b.data() + 44, 16);
    EXPECT_EQ(u[0], 1.0f / 32);
    EXPECT_EQ(u[1], 9.0f / 32);
    EXPECT_EQ(u[2], 2.0f / 16);
    EXPECT_EQ(u[3], 6.0f / 16);

    Texture* back = MakeEmpty("b.jp2", 32, 16);
    f.Seek(0, 0);
    ASSERT_TRUE(back->LoadTextureExData(f, 0, 0));
    ExpectSameSprites(t, back);

    // Loading appends after what the table holds.
    f.Seek(0, 0);
    ASSERT_TRUE(back->Import(0, f));
    EXPECT_EQ(back->GetSpriteCount(), 5);
    EXPECT_EQ(back->GetSpriteDef(3).xOrigin, -1);
    back->Release();
    t->Release();
}

TEST_F(TextureGL, ExDataForAnotherSizeKeepsPixelPositions) {
    Texture* t = MakeEmpty("small", 32, 16);
    t->RegisterSprite(1, 2, 9, 6, -1, 7);
    t->RegisterSprite(16, 0, 32, 16);
    VectorFile f;
    ASSERT_TRUE(t->SaveTextureExData(f));

    Texture* big = MakeEmpty("big", 64, 64);
    f.Seek(0, 0);
    ScopedLogCapture log;
    ASSERT_TRUE(big->LoadTextureExData(f, 0, 0));
    EXPECT_EQ(
        log->Count("Texture::LoadTextureExData(big) -> Texture size does not match (sprites are rescaled -> "
                   "please resave ex_data to avoid warnings)"),
        1);
    for (int i = 1; i < 3; ++i) {
        const Rect<short> a = t->GetSpriteTextureRect(i), b = big->GetSpriteTextureRect(i);
        EXPECT_EQ(a.x1, b.x1);
        EXPECT_EQ(a.y1, b.y1);
        EXPECT_EQ(a.x2, b.x2);
        EXPECT_EQ(a.y2, b.y2);
        EXPECT_EQ(t->GetSpriteDef(i).width, big->GetSpriteDef(i).width);
        EXPECT_EQ(t->GetSpriteDef(i).yOrigin, big->GetSpriteDef(i).yOrigin);
    }

    // Same size with an offset shifts every new sprite by whole pixels.
    Texture* moved = MakeEmpty("moved", 32, 16);
    f.Seek(0, 0);
    ASSERT_TRUE(moved->LoadTextureExData(f, 4, 2));
    const Rect<short> r = moved->GetSpriteTextureRect(1);
    EXPECT_EQ(r.x1, 5);
    EXPECT_EQ(r.y1, 4);
    EXPECT_EQ(r.x2, 13);
    EXPECT_EQ(r.y2, 8);
    moved->Release();
    big->Release();
    t->Release();
}

TEST(TextureExData, CountsTheStreamCannotHoldAreRejected) {
    Texture t("victim");
    t.RegisterSprite(0, 0, 1, 1);
    struct Case {
        u32 count;
        unsigned records;
        const char* message;
    };
    const Case cases[] = {
        {1, 1, "Texture::LoadTextureExData(victim) -> No sprites in file..."},
        {0, 0, "Texture::LoadTextureExData(victim) -> No sprites in file..."},
        {0x7FFFFFFF, 2, "Texture::LoadTextureExData(victim) -> Sprite count 2147483647 exceeds the file"},
        {3, 2, "Texture::LoadTextureExData(victim) -> Sprite count 3 exceeds the file"},
    };
    for (const Case& c : cases) {
        VectorFile f;
        const u32 header[3] = {c.count, 0, 0};
        f.Write32(header, 3);
        f.Write(Bytes(c.records * 24, 0).data(), c.records * 24);
        f.Seek(0, 0);
        ScopedLogCapture log;
        EXPECT_FALSE(t.LoadTextureExData(f, 0, 0)) << c.count;
        EXPECT_TRUE(log->Contains(c.message)) << c.count;
        EXPECT_EQ(t.GetSpriteCount(), 2) << "the table stays as it was";
    }
    // Nothing to read at all.
    VectorFile empty;
    EXPECT_FALSE(t.LoadTextureExData(empty, 0, 0));
    EXPECT_EQ(t.GetSpriteCount(), 2);
}

// ---------------------------------------------------------------------------
// The sprite text format.

TEST_F(TextureGL, SpriteTextRoundTrip) {
    Texture* t = MakeEmpty("gui\\gui_tex.jp2", 32, 16);
    t->RegisterSprite(1, 2, 9, 6, -1, 7);
    t->RegisterSprite(16, 0, 32, 16);
    VectorFile f;
    ASSERT_TRUE(t->Export(2, f));
    const Bytes b = Contents(f);
    const std::string text(b.begin(), b.end());
    EXPECT_EQ(text,
              "# ZYN Texture Sprites Export (gui\\gui_tex.jp2)\r\n"
              "# TEXTURE tag help: <TEXTURE=width,height,number_of_sprites>\r\n"
              "# SPRITE tag help: <SPRITE=x,y,width,height,x_origin,y_origin>\r\n\r\n"
              "<TEXTURE=32,16,3>\r\n"
              "\t<SPRITE=0,0,32,16,16,8>\r\n"
              "\t<SPRITE=1,2,8,4,-1,7>\r\n"
              "\t<SPRITE=16,0,16,16,8,8>\r\n"
              "</TEXTURE>\r\n");

    Texture* back = MakeEmpty("back", 32, 16);
    back->RegisterSprite(0, 0, 3, 3);
    back->RegisterSprite(0, 0, 3, 3);
    back->RegisterSprite(0, 0, 3, 3);
    f.Seek(0, 0);
    ASSERT_TRUE(back->Import(1, f));
    ExpectSameSprites(t, back);

    // A texture of another size takes the pixel rectangles with a note.
    Texture* other = MakeEmpty("other", 64, 64);
    f.Seek(0, 0);
    ScopedLogCapture log;
    ASSERT_TRUE(other->Import(1, f));
    EXPECT_TRUE(
        log->Contains(" I. Texture::Import -> Texture of defferent size, sprites might not match..."));
    EXPECT_EQ(other->GetSpriteTextureRect(1).x2, 9);
    other->Release();
    back->Release();
    t->Release();
}

TEST(TextureSpriteText, MalformedTextIsRejected) {
    struct Case {
        const char* text;
        int countAfter;  // sprites in the table afterwards (it starts with 3)
    };
    const Case cases[] = {
        {"", 3},
        {"# only a comment\r\n", 3},
        {"<TEXTUR=4,4,1>", 3},
        {"<TEXTURE=4,4,0>\r\n\t<SPRITE=0,0,4,4,2,2>\r\n", 3},
        {"<TEXTURE=0,4,1>\r\n\t<SPRITE=0,0,4,4,2,2>\r\n", 3},
        // A count far beyond what the text can hold is refused before anything is reserved.
        {"<TEXTURE=4,4,2000000000>\r\n\t<SPRITE=0,0,4,4,2,2>\r\n", 3},
        // Three declared, two listed: the two stay registered.
        {"<TEXTURE=4,4,3>\r\n\t<SPRITE=0,0,4,4,2,2>\r\n\t<SPRITE=1,1,2,2,1,1>\r\n</TEXTURE>\r\n", 2},
        // Nothing parses: sprite 0 is restored so that drawing stays safe.
        {"<TEXTURE=4,4,1>\r\n\t<SPRITX=0,0,4,4,2,2>                        \r\n", 1},
    };
    for (const Case& c : cases) {
        Texture t("victim");
        t.RegisterSprite(0, 0, 1, 1);
        t.RegisterSprite(0, 0, 1, 1);
        ScopedLogCapture log;
        MemoryFile f(reinterpret_cast<const unsigned char*>(c.text), unsigned(std::strlen(c.text)));
        EXPECT_FALSE(t.Import(1, f)) << c.text;
        EXPECT_TRUE(log->Contains(" W. Failed parsing texture sprite text file...")) << c.text;
        EXPECT_EQ(t.GetSpriteCount(), c.countAfter) << c.text;
    }
}

TEST(TextureSpriteText, CommentsBeforeTheTagAreSkipped) {
    const char* text =
        "# header\r\n\r\n  <TEXTURE=0128,128,2>\r\n# note\r\n<SPRITE=0,0,128,128,64,64>\r\n"
        "\t<SPRITE=8,8,16,4,-2,3></TEXTURE>";
    Texture t("t");
    MemoryFile f(reinterpret_cast<const unsigned char*>(text), unsigned(std::strlen(text)));
    ASSERT_TRUE(t.Import(1, f));
    ASSERT_EQ(t.GetSpriteCount(), 2);
    EXPECT_EQ(t.GetSpriteDef(1).width, 16);
    EXPECT_EQ(t.GetSpriteDef(1).xOrigin, -2);
}

TEST(TextureSpriteText, ExtremeNumbersStayDefined) {
    const char* text =
        "<TEXTURE=4,4,2>\r\n<SPRITE=2147483647,-2147483648,2147483647,2147483647,99999,-99999>\r\n"
        "<SPRITE=-2147483648,0,-2147483648,1,0,0>\r\n</TEXTURE>\r\n";
    Texture t("t");
    MemoryFile f(reinterpret_cast<const unsigned char*>(text), unsigned(std::strlen(text)));
    ASSERT_TRUE(t.Import(1, f));
    ASSERT_EQ(t.GetSpriteCount(), 2);
    EXPECT_EQ(t.GetSpriteDef(0).xOrigin, short(99999));
    EXPECT_EQ(t.GetSpriteDef(1).width, u16(2147483648u));
}

TEST_F(TextureGL, WildSpriteCoordinatesFromFilesStayDefined) {
    Texture* t = MakeEmpty("wild", 4, 4);
    VectorFile f;
    const u32 header[3] = {2, 4, 4};
    f.Write32(header, 3);
    f.Write(Bytes(24, 0).data(), 24);
    const u16 sizes[4] = {4, 4, 0, 0};
    const float coords[4] = {1e30f, -1e30f, std::nanf(""), 3e9f};
    f.Write16(sizes, 4);
    f.Write32(coords, 4);
    f.Seek(0, 0);
    ASSERT_TRUE(t->LoadTextureExData(f, 0, 0));
    const Rect<short> r = t->GetSpriteTextureRect(1);
    EXPECT_EQ(r.x1, 32767);
    EXPECT_EQ(r.x2, -32768);
    EXPECT_EQ(r.y1, 0);
    EXPECT_EQ(r.y2, 32767);
    t->TranslateSpriteDef(1, 2147483647, -2147483647);
    VectorFile text;
    ASSERT_TRUE(t->Export(2, text));
    const std::string out(text.GetVector().begin(), text.GetVector().end());
    EXPECT_NE(out.find("\t<SPRITE=0,0,4,4,2,2>"), std::string::npos);
    t->Release();
}

// ---------------------------------------------------------------------------
// Export and import formats.

TEST(TextureFormats, DescriptionsAndExtensions) {
    Texture plain("abc");
    Texture jp2("gui\\gui_tex.jp2");
    EXPECT_EQ(plain.GetExportFormats(), 3u);
    EXPECT_EQ(plain.GetImportFormats(), 2u);
    std::string desc, ext;
    plain.GetExportFormatDesc(1, &desc, &ext);
    EXPECT_EQ(desc, "Export Texture ExInfo (Sprites)");
    EXPECT_EQ(ext, ".tga_ex");
    jp2.GetExportFormatDesc(1, nullptr, &ext);
    EXPECT_EQ(ext, ".jp2_ex");
    jp2.GetImportFormatDesc(0, &desc, &ext);
    EXPECT_EQ(desc, "Import Texture ExInfo (Sprites)");
    EXPECT_EQ(ext, ".jp2_ex");
    plain.GetExportFormatDesc(0, &desc, &ext);
    EXPECT_EQ(desc, "Save texture image as TGA");
    EXPECT_EQ(ext, ".tga");
    plain.GetExportFormatDesc(2, &desc, &ext);
    EXPECT_EQ(desc, "Export Sprites to Text File");
    plain.GetImportFormatDesc(1, &desc, &ext);
    EXPECT_EQ(desc, "Import Sprites from Text File");
    EXPECT_EQ(ext, ".txt");

    desc = ext = "untouched";
    plain.GetExportFormatDesc(3, &desc, &ext);
    plain.GetImportFormatDesc(2, &desc, &ext);
    EXPECT_EQ(desc + ext, "untoucheduntouched");
    VectorFile f;
    EXPECT_FALSE(plain.Export(3, f));
    EXPECT_FALSE(plain.Import(2, f));

    ScopedLogCapture log;
    EXPECT_FALSE(plain.Export(0, f));
    EXPECT_TRUE(log->Contains(" W. Texture::SaveTexture() -> The texture is not initialized!!!"));
    EXPECT_TRUE(f.GetVector().empty());
}

TEST_F(TextureGL, SaveTextureWritesATgaOfItsPixels) {
    Texture* t = MakeEmpty("two", 2, 1);
    // The colour's in-memory bytes 11 22 33 44 become the texel's R, G, B, A.
    ASSERT_TRUE(G::FillRectTexture(t->GetTexHandle(), 0, 0, 1, 1, Color(0x44332211)));
    VectorFile f;
    ASSERT_TRUE(t->Export(0, f));
    const Bytes expected{0, 0, 2, 0,  0,    0,    0,    0,    0,    0, 0, 0, 2,
                         0, 1, 0, 32, 0x20, 0x33, 0x22, 0x11, 0x44, 0, 0, 0, 0};
    EXPECT_EQ(f.GetVector(), expected);
    t->Release();
}

// ---------------------------------------------------------------------------
// The texture functions of Graphics.

TEST_F(TextureGL, ImagesGoOntoTexturesAndComeBack) {
    TexHandle tex = G::CreateTexture(4, 4, false);
    ASSERT_TRUE(tex.IsOk());
    unsigned w = 0, h = 0;
    G::GetTextureSize(tex, &w, &h);
    EXPECT_EQ(w * 10 + h, 44u);

    Image small(2, 2);
    for (int i = 0; i < 16; ++i) small.data[i] = u8(i + 1);
    ASSERT_TRUE(G::DrawImageOnTexture(tex, small, 1, 2));
    EXPECT_FALSE(G::DrawImageOnTexture(tex, small, 3, 0)) << "does not fit";
    EXPECT_FALSE(G::DrawImageOnTexture(tex, small, 0, 0xFFFFFFFFu)) << "no wrap-around";

    Image all(4, 4);
    ASSERT_TRUE(G::CopyImageFromTexture(tex, all, 0, 0, 0, 0, 4, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const u8* p = all.data + (y * 4 + x) * 4;
            const bool inside = x >= 1 && x < 3 && y >= 2;
            const int expected = inside ? ((y - 2) * 2 + (x - 1)) * 4 + 1 : 0;
            EXPECT_EQ(p[0], expected) << x << "," << y;
        }
    }

    // Copies are clamped to both; a start outside either leaves nothing.
    Image one(4, 4);
    std::memset(one.data, 0xEE, 64);
    ASSERT_TRUE(G::CopyImageFromTexture(tex, one, 0, 0, 1, 3, 100, 100));
    EXPECT_EQ(one.data[0], 9);
    EXPECT_EQ(one.data[4], 13);
    EXPECT_EQ(one.data[8], 0);
    EXPECT_EQ(one.data[12], 0xEE);
    EXPECT_EQ(one.data[16], 0xEE);
    EXPECT_FALSE(G::CopyImageFromTexture(tex, one, 0, 0, 10, 0, 2, 2));
    EXPECT_FALSE(G::CopyImageFromTexture(tex, one, 5, 0, 0, 0, 2, 2));
    EXPECT_FALSE(G::CopyImageFromTexture(tex, one, 0, 0, 0, 0, 0, 2));

    // A fill reaching past the edge stays inside the texture.
    ASSERT_TRUE(G::FillRectTexture(tex, 3, 3, 50, 50, Color(0x04030201)));
    ASSERT_TRUE(G::CopyImageFromTexture(tex, all, 0, 0, 0, 0, 4, 4));
    EXPECT_EQ(Bytes(all.data + 60, all.data + 64), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(all.data[56], 13);
    EXPECT_EQ(all.data[44], 0);

    G::ReleaseTexture(tex);
    G::ReleaseTexture(TexHandle());
    w = h = 7;
    G::GetTextureSize(TexHandle(), &w, &h);
    EXPECT_EQ(w + h, 14u);
}

TEST_F(TextureGL, EmptyTexturesOfImpossibleSizesAreRefused) {
    EXPECT_TRUE(G::CreateTexture(0, 4, false).IsNull());
    EXPECT_TRUE(G::CreateTexture(1u << 30, 1u << 30, false).IsNull());
    Texture t("t");
    ScopedLogCapture log;
    EXPECT_FALSE(t.InitEmptyTexture(0, 0, false));
    EXPECT_TRUE(log->Contains(" E. Failed to create empty texture... "));
    EXPECT_EQ(t.GetSpriteCount(), 1);
}

TEST_F(TextureGL, ReleasingTheCurrentTextureClearsTheBinding) {
    Texture* t = MakeWhite("white", 4, 4);
    t->DrawSprite(0, 10, 10, 0, kWhite);
    EXPECT_EQ(G::Globals::g_pCurTexture, t->GetTexHandle());
    t->Release();
    EXPECT_TRUE(G::Globals::g_pCurTexture.IsNull());
    Finish();
    EXPECT_EQ(LitCount(8, 8, 12, 12), 16) << "the pending sprite was drawn first";
}

TEST_F(TextureGL, RenderTargetRowsComeTopFirst) {
    BasicVertex q[4] = {{0, 0, Color(0xFFFF0000), 0, 0, 0},
                        {0, 0, Color(0xFFFF0000), 64, 0, 0},
                        {0, 0, Color(0xFFFF0000), 64, 4, 0},
                        {0, 0, Color(0xFFFF0000), 0, 4, 0}};
    G::SetTexture(TexHandle());
    G::RenderQuads(q, 1);
    Image img(64, 64);
    ASSERT_TRUE(G::CopyImageFromRenderTarget(img, 0, 0, 0, 0, 64, 64));
    EXPECT_EQ(Bytes(img.data, img.data + 4), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(img.data[(10 * 64) * 4], 0);
    // Clamped to the image; nothing when the destination lies outside it.
    Image part(8, 8);
    ASSERT_TRUE(G::CopyImageFromRenderTarget(part, 4, 4, 0, 60, 100, 100));
    EXPECT_EQ(part.data[(4 * 8 + 4) * 4], 255);
    EXPECT_FALSE(G::CopyImageFromRenderTarget(part, 9, 0, 0, 0, 4, 4));
}

TEST_F(TextureGL, LoadTextureDataFollowsTheChannelRules) {
    const Bytes grey = SolidTga(3, 5, 9, 8);
    const Bytes rgb = SolidTga(3, 5, 0xFF102030, 24);
    struct Case {
        const Bytes* file;
        bool force;
        int channels;
    };
    for (const Case& c : {Case{&grey, false, 1}, Case{&rgb, false, 3}, Case{&rgb, true, 4}}) {
        MemoryFile f(c.file->data(), unsigned(c.file->size()));
        f.Seek(7, 0);  // reading starts at the beginning whatever the position
        unsigned w = 0, h = 0;
        int ch = 0;
        ScopedLogCapture log;
        unsigned char* px = G::LoadTextureData(f, &w, &h, &ch, c.force);
        ASSERT_NE(px, nullptr);
        EXPECT_EQ(ch, c.channels);
        EXPECT_TRUE(log->Contains(" I. W 3 H 5 C " + std::to_string(c.channels)));
        if (ch >= 3) {
            EXPECT_EQ(Bytes(px, px + 3), (Bytes{0x10, 0x20, 0x30}));
        }
        std::free(px);
    }
}
