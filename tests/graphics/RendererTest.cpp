// The renderer drawing into an offscreen context: pixels are read back and
// checked; batch and state-cache behaviour is checked through the debug counters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <GL/gl.h>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/internal/GraphicsGL.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

#include "support/LogCapture.h"

using namespace Zyn;
namespace G = Zyn::Graphics;

namespace {

#ifdef __SANITIZE_ADDRESS__
// LeakSanitizer misreads the dynamic TLS block llvmpipe's LLVM allocates on
// the heap when its address happens to look like a glibc header, and dies at
// exit. softpipe draws the same pixels without LLVM. An explicit choice wins.
const int g_SoftpipeChosen = setenv("GALLIUM_DRIVER", "softpipe", 0);
#endif

struct Rgb {
    int r, g, b;
};

AppSettings MakeSettings(int screenW, int screenH, int appW, int appH) {
    AppSettings s;
    s.screenWidth = screenW;
    s.screenHeight = screenH;
    s.appWidth = appW;
    s.appHeight = appH;
    s.windowed = true;
    return s;
}

void Quad(BasicVertex* q, float x1, float y1, float x2, float y2, Color c, float z = 0.0f) {
    q[0] = {0, 0, c, x1, y1, z};
    q[1] = {1, 0, c, x2, y1, z};
    q[2] = {1, 1, c, x2, y2, z};
    q[3] = {0, 1, c, x1, y2, z};
}

// A surface of 64 x 64 pixels showing a logical screen of the same size, so
// logical units are pixels; the frame starts as the application's does.
class Renderer : public ::testing::Test {
protected:
    static constexpr int kSize = 64;

    void SetUp() override { StartWith(MakeSettings(kSize, kSize, kSize, kSize)); }

    void StartWith(const AppSettings& s) {
        m_Settings = s;
        m_pSurface.reset(CreateOffscreenSurface());
        ASSERT_TRUE(G::Init(m_pSurface.get(), s)) << "the offscreen GL context is needed";
        ASSERT_TRUE(G::BeginRendering());
        G::SetScreenViewport(Rect<short>(0, 0, short(s.screenWidth), short(s.screenHeight)));
        G::SetRenderMode(RENDER_2D);
        G::SetProjection2D(s.appWidth, s.appHeight);
        G::ResetSceneTransform();
        G::SetClipping2D(nullptr);
        G::ClearScreenViewport(0xFF000000, true, 1.0f, true);
        G::ResetDebugCounters();
    }

    void TearDown() override {
        G::ShutDown();
        m_pSurface.reset();
    }

    // Ends the frame and reads it back.
    void Finish() {
        G::EndRendering();
        ASSERT_TRUE(m_pSurface->ReadPixels(m_Pixels));
    }

    Rgb At(int x, int y) const {
        const size_t i = (size_t(y) * size_t(m_pSurface->GetWidth()) + size_t(x)) * 4;
        return {m_Pixels[i], m_Pixels[i + 1], m_Pixels[i + 2]};
    }
    bool IsColor(int x, int y, Rgb c, int tolerance = 1) const {
        const Rgb p = At(x, y);
        return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance &&
               std::abs(p.b - c.b) <= tolerance;
    }
    bool IsWhite(int x, int y) const { return IsColor(x, y, {255, 255, 255}); }
    bool IsBlack(int x, int y) const { return IsColor(x, y, {0, 0, 0}); }

    void Fill(float x1, float y1, float x2, float y2, Color c, float z = 0.0f) {
        BasicVertex q[4];
        Quad(q, x1, y1, x2, y2, c, z);
        G::RenderQuads(q, 1);
    }

    // A GL texture of w x h RGBA texels, rows top first, sampled nearest.
    TextureRecord MakeTexture(int w, int h, const std::vector<u32>& rgba) {
        TextureRecord rec;
        glGenTextures(1, &rec.glName);
        glBindTexture(GL_TEXTURE_2D, rec.glName);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        rec.width = u32(w);
        rec.height = u32(h);
        return rec;
    }

    AppSettings m_Settings;
    std::unique_ptr<GLSurface> m_pSurface;
    std::vector<u8> m_Pixels;
};

}  // namespace

// ---------------------------------------------------------------------------
// Set-up and the Root hook.

TEST(RendererSetup, InitWithoutSurfaceFailsWithLogLine) {
    ZynTest::ScopedLogCapture log;
    EXPECT_FALSE(G::Init(nullptr, MakeSettings(64, 48, 64, 48)));
    EXPECT_TRUE(log->Contains(" E. "));
    EXPECT_TRUE(log->Contains("Graphics::ReInit -> no GL surface to draw into"));
    EXPECT_EQ(G::Globals::g_LockedQuadBuffer, nullptr);
    EXPECT_FALSE(G::BeginRendering());
}

TEST(RendererSetup, RootReachesTheRendererAsItsGraphicsLayer) {
    ZynTest::ScopedLogCapture log;
    AppSettings s = MakeSettings(64, 48, 64, 48);
    EXPECT_FALSE(Root::GetGraphicsLayer()->Init(nullptr, s));
    EXPECT_TRUE(log->Contains("Graphics::ReInit -> no GL surface to draw into"));
}

TEST(RendererSetup, RootInitCreatesTheContextOnTheWindowSurface) {
    struct SurfaceWindow : IWindowLayer {
        GLSurface* surface = nullptr;
        bool Init(AppSettings*) override { return true; }
        bool ReInit(AppSettings*) override { return true; }
        bool Destroy() override { return true; }
        void* GetHandle() override { return surface; }
        void ShowMouseCursor(bool) override {}
    } window;
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    window.surface = surface.get();
    Root::SetWindowLayer(&window);
    Root* root = Singleton<Root>::Get();
    EXPECT_TRUE(root->Init(MakeSettings(32, 24, 1024, 786)));
    EXPECT_TRUE(surface->HasContext());
    EXPECT_EQ(surface->GetWidth(), 32);
    EXPECT_NE(G::Globals::g_LockedQuadBuffer, nullptr);
    EXPECT_EQ(G::GetSurface(), surface.get());
    // The mouse goes through the renderer's mapping to the logical units of
    // the projection a frame sets up.
    G::SetProjection2D(1024, 786);
    root->ProcessSystemEvent(3, 16, 12);
    EXPECT_EQ(root->m_MouseX, 512);
    EXPECT_EQ(root->m_MouseY, 393);
    Root::SetWindowLayer(nullptr);
    G::ShutDown();
    EXPECT_EQ(G::GetSurface(), nullptr);
}

TEST(RendererSetup, QuadsBeforeInitAreDroppedWithOneLogLine) {
    ZynTest::ScopedLogCapture log;
    BasicVertex q[4];
    Quad(q, 0, 0, 1, 1, 0xFFFFFFFF);
    G::RenderQuads(q, 1);
    G::RenderQuads(q, 1);
    EXPECT_EQ(log->Count("Graphics::RenderQuads -> called before Graphics::Init"), 1);
    EXPECT_EQ(G::Globals::g_BufferPos, 0);
    G::_FlushRender();  // must do nothing without a store
}

TEST(RendererCopy, ExchangesRedAndBlueAndCopiesEverythingElse) {
    // Odd counts and every vertex of a pair go through the vector path and the tail.
    for (unsigned n : {1u, 2u, 7u, 8u}) {
        std::vector<BasicVertex> src(n), dst(n + 1);
        for (unsigned i = 0; i < n; ++i)
            src[i] = {float(i) + 0.25f, -float(i), Color(0x01020304u * (i + 1)),
                      1e6f * float(i),  3.5f,      0.125f};
        const BasicVertex guard = {9, 9, 0xDEADBEEF, 9, 9, 9};
        dst[n] = guard;
        G::CopyConvertVertices(dst.data(), src.data(), n);
        for (unsigned i = 0; i < n; ++i) {
            const u32 c = src[i].color;
            const u32 swapped = (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
            EXPECT_EQ(u32(dst[i].color), swapped) << n << "/" << i;
            EXPECT_EQ(dst[i].u, src[i].u);
            EXPECT_EQ(dst[i].v, src[i].v);
            EXPECT_EQ(dst[i].x, src[i].x);
            EXPECT_EQ(dst[i].y, src[i].y);
            EXPECT_EQ(dst[i].z, src[i].z);
        }
        EXPECT_EQ(std::memcmp(&dst[n], &guard, sizeof guard), 0) << "wrote past the end for " << n;
    }
}

TEST_F(Renderer, SecondInitKeepsItsArraysAndTheContext) {
    BasicVertex* store = G::Globals::g_LockedQuadBuffer;
    u16* indices = G::Globals::g_IndexBuffer;
    EXPECT_TRUE(G::Init(m_pSurface.get(), m_Settings));
    EXPECT_EQ(G::Globals::g_LockedQuadBuffer, store);
    EXPECT_EQ(G::Globals::g_IndexBuffer, indices);
}

TEST_F(Renderer, IndexArrayHoldsTwoTrianglesPerQuad) {
    const u16* idx = G::Globals::g_IndexBuffer;
    for (int q : {0, 1, 166, 333}) {
        const u16 b = u16(4 * q);
        const u16 expected[6] = {b, u16(b + 1), u16(b + 2), u16(b + 2), u16(b + 3), b};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(idx[q * 6 + i], expected[i]) << "quad " << q << " index " << i;
    }
}

TEST_F(Renderer, ReportsPendingGLErrorAsOpenGLErr) {
    ZynTest::ScopedLogCapture log;
    glEnable(0x1234);  // not a capability: GL_INVALID_ENUM
    G::reportOGLError();
    EXPECT_TRUE(log->Contains(" I. OPENGL err: invalid enumerant"));
    G::reportOGLError();
    EXPECT_EQ(log->Count("OPENGL err"), 1);
}

TEST_F(Renderer, DebugCheckNamesTheFailedCall) {
    ZynTest::ScopedLogCapture log;
    glEnable(0x1234);
    G::CheckGLError("glEnable(0x1234)", "here.cpp", 7);
    EXPECT_TRUE(log->Contains(" W. GL error invalid enumerant after glEnable(0x1234) (here.cpp:7)"));
    G::reportOGLError();
    EXPECT_FALSE(log->Contains("OPENGL err"));
}

// ---------------------------------------------------------------------------
// Projection and colours.

TEST_F(Renderer, TopLeftOfTheLogicalScreenIsTheTopLeftPixel) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(0, 0));
    EXPECT_TRUE(IsWhite(7, 7));
    EXPECT_TRUE(IsBlack(8, 8));
    EXPECT_TRUE(IsBlack(0, kSize - 1));
    EXPECT_TRUE(IsBlack(kSize - 1, 0));
}

TEST_F(Renderer, LogicalScreenIsScaledOntoTheWindow) {
    TearDown();
    StartWith(MakeSettings(64, 48, 256, 192));
    Fill(0, 0, 32, 32, 0xFFFFFFFF);        // 8 x 8 pixels at the top left
    Fill(224, 160, 256, 192, 0xFF00FF00);  // 8 x 8 pixels at the bottom right
    Finish();
    EXPECT_TRUE(IsWhite(0, 0));
    EXPECT_TRUE(IsWhite(7, 7));
    EXPECT_TRUE(IsBlack(8, 8));
    EXPECT_TRUE(IsColor(63, 47, {0, 255, 0}));
    EXPECT_TRUE(IsColor(56, 40, {0, 255, 0}));
    EXPECT_TRUE(IsBlack(55, 39));
}

TEST_F(Renderer, EmptyProjectionIsRefusedAndTheOldOneKept) {
    ZynTest::ScopedLogCapture log;
    G::SetProjection2D(0, 64);
    EXPECT_TRUE(log->Contains(" E. Graphics::SetProjection2D -> bad size 0 x 64"));
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(0, 0));
    EXPECT_TRUE(IsBlack(8, 8));
}

TEST_F(Renderer, ColorsAreReadAsAARRGGBB) {
    Fill(0, 0, 8, 8, 0xFFFF0000);
    Fill(8, 0, 16, 8, 0xFF00FF00);
    Fill(16, 0, 24, 8, 0xFF0000FF);
    Fill(24, 0, 32, 8, 0xFF336699);
    Finish();
    EXPECT_TRUE(IsColor(4, 4, {255, 0, 0}));
    EXPECT_TRUE(IsColor(12, 4, {0, 255, 0}));
    EXPECT_TRUE(IsColor(20, 4, {0, 0, 255}));
    EXPECT_TRUE(IsColor(28, 4, {0x33, 0x66, 0x99}));
}

TEST_F(Renderer, BatchHoldsGLByteOrderAndLeavesTheCallersArray) {
    BasicVertex q[4];
    Quad(q, 0, 0, 1, 1, 0x80FF0000);
    q[1].color = 0x11223344;
    G::RenderQuads(q, 1);
    const BasicVertex* store = G::Globals::g_LockedQuadBuffer;
    u8 bytes[4];
    std::memcpy(bytes, &store[0].color, 4);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x80);
    EXPECT_EQ(u32(store[1].color), 0x11443322u);
    EXPECT_EQ(store[2].x, 1.0f);
    EXPECT_EQ(store[2].v, 1.0f);
    EXPECT_EQ(u32(q[0].color), 0x80FF0000u);
    EXPECT_EQ(u32(q[1].color), 0x11223344u);
}

// ---------------------------------------------------------------------------
// Blending, alpha test, depth.

struct BlendCase {
    const char* name;
    BlendMode mode;
    Color dest;
    Color source;
    Rgb expected;
};

class RendererBlend : public Renderer, public ::testing::WithParamInterface<BlendCase> {};

TEST_P(RendererBlend, CombinesSourceAndDestination) {
    const BlendCase& c = GetParam();
    G::ClearScreenViewport(c.dest, true, 1.0f, false);
    G::SetBlendingMode(c.mode);
    Fill(0, 0, 16, 16, c.source);
    Finish();
    EXPECT_TRUE(IsColor(8, 8, c.expected, 2))
        << "got " << At(8, 8).r << "," << At(8, 8).g << "," << At(8, 8).b;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RendererBlend,
    ::testing::Values(BlendCase{"AlphaHalf", BLEND_ALPHA, 0xFF0000FF, 0x80FF0000, {128, 0, 127}},
                      BlendCase{"AlphaClear", BLEND_ALPHA, 0xFF0000FF, 0x00FF0000, {0, 0, 255}},
                      BlendCase{"AdditiveOpaque", BLEND_ADDITIVE, 0xFF404040, 0xFF202020, {0x60, 0x60, 0x60}},
                      BlendCase{"AdditiveHalf", BLEND_ADDITIVE, 0xFF404040, 0x80FF0000, {0xC0, 0x40, 0x40}},
                      BlendCase{"KeepDest", BLEND_KEEP_DEST, 0xFF123456, 0xFFFFFFFF, {0x12, 0x34, 0x56}}),
    [](const ::testing::TestParamInfo<BlendCase>& info) { return std::string(info.param.name); });

TEST_F(Renderer, UnknownBlendModeKeepsTheLastBlendFunction) {
    G::SetBlendingMode(BLEND_ADDITIVE);
    G::SetBlendingMode(BlendMode(7));
    EXPECT_EQ(G::Globals::g_BlendMode, BlendMode(7));
    G::ClearScreenViewport(0xFF404040, true, 1.0f, false);
    Fill(0, 0, 16, 16, 0xFF202020);
    Finish();
    EXPECT_TRUE(IsColor(8, 8, {0x60, 0x60, 0x60}, 2));
}

TEST_F(Renderer, AlphaTestDropsFragmentsBelowTheReference) {
    G::SetAlphaTestMode(true, 128, CMP_GEQUAL);
    G::SetBlendingMode(BLEND_ADDITIVE);
    Fill(0, 0, 8, 8, 0x40FFFFFF);
    Fill(8, 0, 16, 8, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsBlack(4, 4));
    EXPECT_TRUE(IsWhite(12, 4));
}

TEST_F(Renderer, DepthIsZeroNearAndOneFar) {
    G::ClearScreenViewport(0xFF000000, true, 0.5f, true);
    G::SetZBufferMode(true, true, CMP_LEQUAL);
    Fill(0, 0, 8, 8, 0xFFFFFFFF, 0.25f);
    Fill(8, 0, 16, 8, 0xFFFFFFFF, 0.75f);
    Finish();
    EXPECT_TRUE(IsWhite(4, 4));
    EXPECT_TRUE(IsBlack(12, 4));
}

TEST_F(Renderer, ClearingDepthRestoresTheCachedWriteMask) {
    G::SetZBufferMode(false, false, CMP_LEQUAL);
    G::ClearScreenViewport(0xFF000000, true, 1.0f, true);
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_FALSE);
}

// ---------------------------------------------------------------------------
// State caches and the batch.

TEST_F(Renderer, UnchangedStatesNeitherFlushNorCallGL) {
    // The states SetupOpenGLStates and the frame start left behind.
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_FALSE(G::SetTexture(TexHandle()));
    G::SetBlendingMode(BLEND_ALPHA);
    G::SetRenderMode(RENDER_2D);
    G::SetAlphaTestMode(false, 5, CMP_GEQUAL);
    G::SetZBufferMode(false, true, CMP_LEQUAL);
    const G::DebugCounters c = G::GetDebugCounters();
    EXPECT_EQ(c.flushes, 0u);
    EXPECT_EQ(c.stateCalls, 0u);
    EXPECT_EQ(G::Globals::g_BufferPos, 4);
}

TEST_F(Renderer, ChangedStatesFlushOnceAndIssueOnlyWhatChanged) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    G::SetBlendingMode(BLEND_ADDITIVE);
    G::SetBlendingMode(BLEND_ADDITIVE);
    EXPECT_EQ(G::GetDebugCounters().flushes, 1u);
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 1u);

    G::ResetDebugCounters();
    G::SetAlphaTestMode(true, 5, CMP_GEQUAL);  // only the enable changes
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 1u);
    G::SetAlphaTestMode(true, 9, CMP_NONE);  // no function issued for CMP_NONE
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 1u);
    G::SetZBufferMode(true, true, CMP_LEQUAL);  // only the test changes
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 2u);
    G::SetZBufferMode(true, false, CompareFunc(12));  // above 8: no function
    EXPECT_EQ(G::GetDebugCounters().stateCalls, 3u);
    // Nothing was waiting, so no draw was issued.
    EXPECT_EQ(G::GetDebugCounters().flushes, 0u);
}

TEST_F(Renderer, RenderModeIsResetEachFrameWithoutFlushing) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(G::BeginRendering());
    EXPECT_EQ(G::Globals::g_RenderMode, RENDER_NONE);
    EXPECT_EQ(G::GetDebugCounters().flushes, 0u);
    EXPECT_TRUE(G::SupportsRenderMode(RENDER_2D));
    EXPECT_FALSE(G::SupportsRenderMode(RENDER_NONE));
}

TEST_F(Renderer, SixHundredQuadsAreDrawnAs250And250With100Waiting) {
    // One 1 x 1 quad per pixel of a 30 x 20 block: every quad must land.
    std::vector<BasicVertex> quads(600 * 4);
    for (int i = 0; i < 600; ++i) {
        const float x = float(i % 30), y = float(i / 30);
        Quad(&quads[size_t(i) * 4], x, y, x + 1, y + 1, 0xFFFFFFFF);
    }
    G::RenderQuads(quads.data(), 600);
    G::DebugCounters c = G::GetDebugCounters();
    EXPECT_EQ(c.drawCalls, 2u);
    EXPECT_EQ(c.quadsDrawn, 500u);
    EXPECT_EQ(G::Globals::g_BufferPos, 400);
    Finish();
    c = G::GetDebugCounters();
    EXPECT_EQ(c.drawCalls, 3u);
    EXPECT_EQ(c.quadsDrawn, 600u);
    int white = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) white += IsWhite(x, y);
    EXPECT_EQ(white, 600);
    EXPECT_TRUE(IsBlack(30, 0));
    EXPECT_TRUE(IsBlack(0, 20));
}

TEST_F(Renderer, ABatchThatBecomesExactlyFullIsDrawnAtOnce) {
    std::vector<BasicVertex> quads(250 * 4);
    for (int i = 0; i < 250; ++i) Quad(&quads[size_t(i) * 4], 0, 0, 1, 1, 0xFFFFFFFF);
    G::RenderQuads(quads.data(), 249);
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 0u);
    G::RenderQuads(quads.data(), 1);
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 1u);
    EXPECT_EQ(G::Globals::g_BufferPos, 0);
    G::RenderQuads(quads.data(), 250);
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 2u);
    EXPECT_EQ(G::Globals::g_BufferPos, 0);
    G::_FlushRender();
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 2u);
}

TEST_F(Renderer, NullVertexArrayIsRefusedWithLogLine) {
    ZynTest::ScopedLogCapture log;
    G::RenderQuads(nullptr, 3);
    EXPECT_TRUE(log->Contains("Graphics::RenderQuads -> null vertex array for 3 quads"));
    EXPECT_EQ(G::Globals::g_BufferPos, 0);
}

// ---------------------------------------------------------------------------
// Textures through the batch.

TEST_F(Renderer, TextureIsUsedOnlyWhileCurrent) {
    TextureRecord rec = MakeTexture(1, 1, {0xFF0000FFu});  // bytes R=FF G=0 B=0 A=FF
    EXPECT_TRUE(TexHandle(&rec).IsOk());
    EXPECT_FALSE(TexHandle().IsOk());
    EXPECT_TRUE(G::SetTexture(&rec));
    EXPECT_FALSE(G::SetTexture(&rec));
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(G::SetTexture(TexHandle()));
    Fill(8, 0, 16, 8, 0xFFFFFFFF);
    Finish();
    EXPECT_EQ(G::GetDebugCounters().drawCalls, 2u);
    EXPECT_TRUE(IsColor(4, 4, {255, 0, 0}));
    EXPECT_TRUE(IsWhite(12, 4));
    glDeleteTextures(1, &rec.glName);
}

TEST_F(Renderer, ScreenMappedRectShowsTheTextureAtItsOrigin) {
    // Texels, rows top first: red, green / blue, white.
    TextureRecord rec = MakeTexture(2, 2, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu});
    G::SetTexture(&rec);
    G::DrawScreenMappedRect(10, 10, 12, 12, 0, 0xFFFFFFFF, 2, 2, 10, 10);
    // Shifted by one texel: the rectangle starts at the texture's second column.
    G::DrawScreenMappedRect(20, 10, 21, 12, 0, 0xFFFFFFFF, 2, 2, 19, 10);
    Finish();
    EXPECT_TRUE(IsColor(10, 10, {255, 0, 0}));
    EXPECT_TRUE(IsColor(11, 10, {0, 255, 0}));
    EXPECT_TRUE(IsColor(10, 11, {0, 0, 255}));
    EXPECT_TRUE(IsColor(11, 11, {255, 255, 255}));
    EXPECT_TRUE(IsColor(20, 10, {0, 255, 0}));
    EXPECT_TRUE(IsColor(20, 11, {255, 255, 255}));
    glDeleteTextures(1, &rec.glName);
}

TEST_F(Renderer, ScreenMappedRectRefusesAZeroTextureSize) {
    ZynTest::ScopedLogCapture log;
    G::DrawScreenMappedRect(0, 0, 8, 8, 0, 0xFFFFFFFF, 0, 2, 0, 0);
    EXPECT_TRUE(log->Contains("Graphics::DrawScreenMappedRect -> bad texture size 0 x 2"));
    EXPECT_EQ(G::Globals::g_BufferPos, 0);
}

// ---------------------------------------------------------------------------
// Transforms and clipping.

TEST_F(Renderer, RotationTurnsCounterClockwiseOnScreen) {
    // A square above the centre turns to the left of it.
    G::TransformScene2D_Rotate(32, 32, float(M_PI / 2));
    Fill(32, 8, 40, 16, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(12, 28));
    EXPECT_TRUE(IsBlack(36, 12));
    EXPECT_TRUE(IsBlack(52, 36));
}

TEST_F(Renderer, ScaleAndMoveComposeInCallOrder) {
    G::TransformScene2D_Move(10, 5);
    G::TransformScene2D_Scale(2, 2);
    Point3D<float> p(1, 1, 0.5f);
    G::TransformPoint(p);
    EXPECT_FLOAT_EQ(p.x, 12.0f);
    EXPECT_FLOAT_EQ(p.y, 7.0f);
    EXPECT_FLOAT_EQ(p.z, 0.5f);
    Fill(0, 0, 4, 4, 0xFFFFFFFF);  // lands on 10..18 x 5..13
    Finish();
    EXPECT_TRUE(IsWhite(10, 5));
    EXPECT_TRUE(IsWhite(17, 12));
    EXPECT_TRUE(IsBlack(18, 12));
    EXPECT_TRUE(IsBlack(9, 5));
}

TEST_F(Renderer, TransformRoundTripsThroughGetAndSet) {
    G::TransformScene2D_Rotate(5, 7, 0.3f);
    G::TransformScene2D_Move(3, -2);
    const Transform saved = G::GetTransform();
    G::ResetSceneTransform();
    EXPECT_EQ(G::GetTransform()[12], 0.0f);
    G::SetTransform(saved);
    const Transform back = G::GetTransform();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back[i], saved[i]) << i;

    // ApplyTransform multiplies onto the current matrix.
    G::ResetSceneTransform();
    Transform move = Transform::Identity();
    move[12] = 4;
    G::ApplyTransform(move);
    G::ApplyTransform(move);
    Point3D<float> p(1, 1, 0);
    G::TransformPoint(p);
    EXPECT_FLOAT_EQ(p.x, 9.0f);
    EXPECT_FLOAT_EQ(p.y, 1.0f);
}

TEST_F(Renderer, ClipRectangleClipsInScreenCoordinates) {
    const Rect<float> clip(10, 4, 20, 12);
    EXPECT_TRUE(G::SetClipping2D(&clip));
    Fill(0, 0, 64, 64, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(10, 4));
    EXPECT_TRUE(IsWhite(19, 11));
    EXPECT_TRUE(IsBlack(9, 8));
    EXPECT_TRUE(IsBlack(20, 8));
    EXPECT_TRUE(IsBlack(15, 3));
    EXPECT_TRUE(IsBlack(15, 12));
}

TEST_F(Renderer, ClipPlanesFollowTheSceneTransform) {
    const Rect<float> clip(10, 0, 20, 64);
    G::SetClipping2D(&clip);
    G::TransformScene2D_Move(10, 0);
    Fill(-10, 0, 64, 64, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsBlack(15, 8));
    EXPECT_TRUE(IsWhite(20, 8));
    EXPECT_TRUE(IsWhite(29, 8));
    EXPECT_TRUE(IsBlack(30, 8));
}

TEST_F(Renderer, ClippingOffDrawsEverything) {
    const Rect<float> clip(10, 0, 20, 64);
    G::SetClipping2D(&clip);
    G::SetClipping2D(nullptr);
    G::TransformScene2D_Move(1, 0);  // must not bring the planes back
    Fill(-1, 0, 63, 64, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(0, 0));
    EXPECT_TRUE(IsWhite(40, 40));
    EXPECT_TRUE(IsWhite(63, 63));
}

// ---------------------------------------------------------------------------
// Outlines, clears and the viewport.

TEST_F(Renderer, EmptyRectDrawsAOnePixelOutline) {
    G::DrawEmptyRect(10, 10, 20, 20, 0, 0xFFFFFFFF);
    EXPECT_EQ(G::Globals::g_BufferPos, 16);
    Finish();
    for (int i = 10; i <= 20; ++i) {
        EXPECT_TRUE(IsWhite(i, 10)) << "top " << i;
        EXPECT_TRUE(IsWhite(i, 20)) << "bottom " << i;
        EXPECT_TRUE(IsWhite(10, i)) << "left " << i;
        EXPECT_TRUE(IsWhite(20, i)) << "right " << i;
    }
    EXPECT_TRUE(IsBlack(15, 15));
    EXPECT_TRUE(IsBlack(11, 11));
    EXPECT_TRUE(IsBlack(21, 15));
    EXPECT_TRUE(IsBlack(15, 21));
    EXPECT_TRUE(IsBlack(9, 15));
}

TEST_F(Renderer, ClearScreenViewportUsesTheColorOrTransparentBlack) {
    G::ClearScreenViewport(0xFF336699, true, 1.0f, false);
    Finish();
    EXPECT_TRUE(IsColor(0, 0, {0x33, 0x66, 0x99}));
    EXPECT_TRUE(IsColor(63, 63, {0x33, 0x66, 0x99}));
    G::ClearScreenViewport(0xFF336699, false, 1.0f, false);
    Finish();
    EXPECT_TRUE(IsBlack(30, 30));
}

TEST_F(Renderer, ClearCoversTheApplicationArea) {
    TextureRecord rec = MakeTexture(1, 1, {0xFF0000FFu});
    G::SetTexture(&rec);
    G::Clear(0xFF00FF00, 0, false);
    EXPECT_TRUE(G::Globals::g_pCurTexture.IsNull());
    Finish();
    EXPECT_TRUE(IsColor(0, 0, {0, 255, 0}));
    EXPECT_TRUE(IsColor(63, 63, {0, 255, 0}));
    glDeleteTextures(1, &rec.glName);
}

// An opaque clear of the untransformed whole window may be done by GL's own
// clear; whatever stops the quad from covering it alike keeps the quad's
// pixels: a see-through colour, a clip rectangle, a smaller viewport, an
// alpha test that rejects it, added light.
TEST_F(Renderer, ClearKeepsTheQuadsPixelsWhereItCannotCoverTheWindow) {
    struct Case {
        const char* what;
        std::function<void()> setUp;
        Color color;
        Rgb inside, outside;  // at (40, 40) and at (2, 2)
    };
    const Rect<float> clip(32, 32, 64, 64);
    const Case cases[] = {
        {"opaque", [] {}, 0xFF00FF00, {0, 255, 0}, {0, 255, 0}},
        {"see-through", [] {}, 0x8000FF00, {127, 128, 0}, {127, 128, 0}},
        {"clipped", [&] { G::SetClipping2D(&clip); }, 0xFF00FF00, {0, 255, 0}, {255, 0, 0}},
        {"viewport", [] { G::SetScreenViewport(Rect<short>(32, 0, 64, 32)); }, 0xFF00FF00, {0, 255, 0},
         {255, 0, 0}},
        {"alpha test", [] { G::SetAlphaTestMode(true, 255, CMP_LESS); }, 0xFF00FF00, {255, 0, 0}, {255, 0, 0}},
        {"additive", [] { G::SetBlendingMode(BLEND_ADDITIVE); }, 0xFF00FF00, {255, 255, 0}, {255, 255, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        StartWith(MakeSettings(kSize, kSize, kSize, kSize));
        Fill(0, 0, 64, 64, 0xFFFF0000);
        c.setUp();
        G::Clear(c.color, 0, false);
        Finish();
        EXPECT_TRUE(IsColor(40, 40, c.inside, 2)) << int(At(40, 40).r) << " " << int(At(40, 40).g);
        EXPECT_TRUE(IsColor(2, 2, c.outside, 2)) << int(At(2, 2).r) << " " << int(At(2, 2).g);
    }
}

TEST_F(Renderer, ClearBeyondScreenCoversItUnderAMovedScene) {
    G::TransformScene2D_Move(5000, -3000);
    G::TransformScene2D_Scale(1.5f, 1.5f);
    G::Clear(0xFF0000FF, 0, true);
    Finish();
    EXPECT_TRUE(IsColor(0, 0, {0, 0, 255}));
    EXPECT_TRUE(IsColor(63, 63, {0, 0, 255}));
}

TEST_F(Renderer, ViewportLimitsDrawingAndIgnoresNegativeExtents) {
    // GL counts viewport rows from the bottom of the window.
    G::SetScreenViewport(Rect<short>(0, 0, 32, 32));
    G::SetScreenViewport(Rect<short>(40, 0, 10, 64));  // x2 < x1: ignored
    G::SetScreenViewport(Rect<short>(0, 50, 64, 20));  // y2 < y1: ignored
    Fill(0, 0, 64, 64, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsWhite(0, 32));
    EXPECT_TRUE(IsWhite(31, 63));
    EXPECT_TRUE(IsBlack(32, 63));
    EXPECT_TRUE(IsBlack(0, 31));
}

TEST_F(Renderer, MousePositionsMapThroughViewportAndProjection) {
    TearDown();
    StartWith(MakeSettings(64, 48, 1024, 786));
    int x = 32, y = 24;
    G::TweakMousePos(&x, &y);
    EXPECT_EQ(x, 512);
    EXPECT_EQ(y, 393);
    x = 63, y = 47;
    G::TweakMousePos(&x, &y);
    EXPECT_EQ(x, 1008);
    EXPECT_EQ(y, 769);
    // The right half of the window, GL rows counted from the bottom.
    G::SetScreenViewport(Rect<short>(32, 0, 64, 24));
    x = 32, y = 24;
    G::TweakMousePos(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    x = 48, y = 36;
    G::TweakMousePos(&x, &y);
    EXPECT_EQ(x, 512);
    EXPECT_EQ(y, 393);
}

// ---------------------------------------------------------------------------
// The loader's worker thread.

TEST_F(Renderer, WorkerThreadUploadsTexturesThroughASharedContext) {
    TextureRecord rec;
    bool scopeOk = false;
    std::thread worker([&] {
        G::OglContextScope scope;
        scopeOk = scope.IsOk();
        if (!scopeOk) return;
        const u32 texel = 0xFF00FF00u;  // green
        glGenTextures(1, &rec.glName);
        glBindTexture(GL_TEXTURE_2D, rec.glName);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &texel);
        glFinish();
    });
    worker.join();
    ASSERT_TRUE(scopeOk);
    ASSERT_TRUE(m_pSurface->MakeCurrent());
    EXPECT_TRUE(TexHandle(&rec).IsOk());
    G::SetTexture(&rec);
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    Finish();
    EXPECT_TRUE(IsColor(4, 4, {0, 255, 0}));
    glDeleteTextures(1, &rec.glName);
}

TEST(RendererSetup, ContextScopeWithoutSurfaceIsNotOk) {
    G::OglContextScope scope;
    EXPECT_FALSE(scope.IsOk());
}
