// Shared set-up of the sprite effect tests: a 64 x 64 offscreen frame whose
// logical units are pixels, and a 32 x 32 texture with a colour gradient (so
// that wrong texture coordinates show) and one sprite with an off-centre origin,
// adopted by the texture manager under kSheetName.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <GL/gl.h>

#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

namespace ZynTest {

#ifdef __SANITIZE_ADDRESS__
// LeakSanitizer misreads the TLS block llvmpipe's LLVM allocates on the heap;
// softpipe draws the same pixels without LLVM. An explicit choice wins.
inline const int g_SpriteEffectsSoftpipe = setenv("GALLIUM_DRIVER", "softpipe", 0);
#endif

class SpriteEffectsFrame : public ::testing::Test {
protected:
    static constexpr int kSize = 64;
    static constexpr const char* kSheetName = "test\\sprite_effects_sheet";

    void SetUp() override {
        m_pSurface.reset(Zyn::CreateOffscreenSurface());
        Zyn::AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = kSize;
        s.windowed = true;
        ASSERT_TRUE(Zyn::Graphics::Init(m_pSurface.get(), s)) << "the offscreen GL context is needed";
        BeginFrame();

        m_pSheet = new Zyn::Texture(kSheetName);
        m_pSheet->AddRef();
        ASSERT_TRUE(m_pSheet->InitEmptyTexture(32, 32, false));
        std::vector<unsigned char> texels;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                texels.push_back((unsigned char)(8 * x + 4));
                texels.push_back((unsigned char)(8 * y + 4));
                texels.push_back((unsigned char)(255 - 4 * (x + y)));
                texels.push_back(255);
            }
        }
        glBindTexture(GL_TEXTURE_2D, m_pSheet->GetTexHandle()->glName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 32, 32, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        // The renderer caches the bound texture: let it bind afresh.
        Zyn::Graphics::SetTexture(Zyn::TexHandle());
        m_Sprite = unsigned(m_pSheet->RegisterSprite(4, 2, 28, 26, 6, 5));
        ASSERT_EQ(Zyn::GetCreateTextureManager()->InsertObject(m_pSheet, 0, 0, nullptr), 0);
    }

    void TearDown() override {
        // The last reference: the texture leaves the manager and frees its GL texture.
        if (m_pSheet) {
            EXPECT_EQ(m_pSheet->Release(), 0);
        }
        Zyn::Graphics::ShutDown();
        m_pSurface.reset();
    }

    void BeginFrame() {
        namespace G = Zyn::Graphics;
        ASSERT_TRUE(G::BeginRendering());
        G::SetScreenViewport(Zyn::Rect<short>(0, 0, kSize, kSize));
        G::SetRenderMode(Zyn::RENDER_2D);
        G::SetProjection2D(kSize, kSize);
        G::ResetSceneTransform();
        G::SetClipping2D(nullptr);
        G::SetBlendingMode(Zyn::BLEND_ALPHA);
        G::ClearScreenViewport(0xFF000000, true, 1.0f, true);
    }

    /// Ends the frame and returns its RGBA pixels.
    std::vector<unsigned char> FinishFrame() {
        Zyn::Graphics::EndRendering();
        std::vector<unsigned char> pixels;
        EXPECT_TRUE(m_pSurface->ReadPixels(pixels));
        return pixels;
    }

    /// The vertices waiting in the batch, colours back in 0xAARRGGBB.
    static std::vector<Zyn::BasicVertex> Batched() {
        namespace GG = Zyn::Graphics::Globals;
        std::vector<Zyn::BasicVertex> out(GG::g_LockedQuadBuffer, GG::g_LockedQuadBuffer + GG::g_BufferPos);
        for (Zyn::BasicVertex& v : out) {
            const Zyn::u32 c = v.color;
            v.color = (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
        }
        return out;
    }

    std::unique_ptr<Zyn::GLSurface> m_pSurface;
    Zyn::Texture* m_pSheet = nullptr;  // the test's own reference
    unsigned m_Sprite = 0;
};

}  // namespace ZynTest
