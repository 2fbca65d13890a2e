// The scene on screens of every shape: a column and the trophy, drawn through
// the screen saver's application as the scene draws them, keep their
// proportions whatever the window's shape, the logical centre stays in the
// middle of the window, and the scene's clear covers all of it. The scene can be started once per process, so
// this runs apart from the timeline test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <screensaver/SSHall.h>
#include <screensaver/SSTrophy.h>
#include <screensaver/ScreenSaverApp.h>
#include <screensaver/ZynMain.h>
#include <zyn/core/AppObject.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace {

// Draws one thing of the scene's with the scene's own code.
class ProbeLayer : public AppObject {
public:
    enum class What { kColumn, kTrophy };
    What m_What = What::kColumn;
    SSTrophy* m_pTrophy = nullptr;  // borrowed; kept alive by the application
    bool Render(float) override {
        // White over the whole window first: the scene's clear must leave
        // none of it on any shape, as the hall's clear must in every frame.
        Graphics::ClearScreenViewport(Color(0xFFFFFFFFu), true, 0.f, false);
        Graphics::Clear(Color(0xFF000000u), 0.f, false);
        Graphics::SetBlendingMode(BLEND_ALPHA);
        if (m_What == What::kColumn) {
            if (SSHall* hall = SingletonEx<SSHall>::ms_pInstance)
                hall->RenderCollumn(512.f, 384.f, 0.6f, Color(0xFFFFFFFFu), 3);
        } else if (m_pTrophy && m_pTrophy->m_pTexture) {
            m_pTrophy->m_pTexture->DrawSpriteEx(m_pTrophy->m_Sprite, 512.f, 300.f, 0.f, 1.f, 1.f, 0.f,
                                                Color(0xFFFFFFFFu));
        }
        return true;
    }
};

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool Empty() const { return x1 < x0; }
    float Aspect() const { return float(x1 - x0 + 1) / float(y1 - y0 + 1); }
    float CentreX() const { return 0.5f * float(x0 + x1 + 1); }
};

// The bounding box of every pixel brighter than the black background.
Box LitBox(const std::vector<u8>& rgba, int w, int h) {
    Box b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const u8* p = &rgba[(size_t(y) * w + x) * 4];
            if (p[0] + p[1] + p[2] < 48) continue;
            b.x0 = std::min(b.x0, x);
            b.y0 = std::min(b.y0, y);
            b.x1 = std::max(b.x1, x);
            b.y1 = std::max(b.y1, y);
        }
    return b;
}

struct Shape {
    const char* name;
    int w, h;
};

const Shape kShapes[] = {
    {"logical 1024x786", 1024, 786}, {"16:9", 1920, 1080}, {"16:10", 1280, 800}, {"21:9", 2560, 1080},
    {"32:9", 3840, 1080},            {"4:3", 800, 600},    {"5:4", 1280, 1024}, {"portrait 9:16", 1080, 1920},
    {"portrait 3:4", 600, 800},      {"preview 200x150", 200, 150},
};

class SceneShapes : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string prefs = std::string(::testing::TempDir()) + "zyn-shapes-prefs";
        setenv("XDG_CONFIG_HOME", prefs.c_str(), 1);
        setenv("ZYN_DATA_DIR", ZYN_SCENE_DATA_DIR, 1);
        RegisterZynMain();
        m_pSurface.reset(CreateOffscreenSurface());
        m_Driver.UseFixedStep(50000);
        ASSERT_TRUE(m_Driver.Create(m_pSurface.get(), 1024.f, 786.f, false));
        m_Driver.Start();
        ASSERT_TRUE(m_Driver.Frame());

        // The scene's layers go idle (kept alive, neither updated nor drawn);
        // the probe alone draws, through the application's frame set-up.
        m_pApp = SingletonEx<ScreenSaverApp>::ms_pInstance;
        ASSERT_NE(m_pApp, nullptr);
        ASSERT_EQ(m_pApp->GetFit(), App::Fit::kExtend);
        std::vector<AppObject*> layers(m_pApp->GetActiveLayers().GetList().begin(),
                                       m_pApp->GetActiveLayers().GetList().end());
        for (AppObject* layer : layers) {
            layer->AddRef();
            m_pApp->RemoveObject(layer, App::kActiveLayers);
            m_pApp->InsertObject(layer, App::kIdleLayers, 0, nullptr);
            layer->Release();
        }
        m_pProbe = new ProbeLayer;
        for (AppObject* layer : layers)
            if (std::string(layer->GetName()) == "trophy") m_pProbe->m_pTrophy = static_cast<SSTrophy*>(layer);
        ASSERT_NE(m_pProbe->m_pTrophy, nullptr);
        m_pApp->InsertObject(m_pProbe, App::kActiveLayers, 0, nullptr);
    }
    void TearDown() override {
        m_Driver.Stop();
        m_Driver.Release();
    }

    Box Draw(ProbeLayer::What what, const Shape& shape) {
        m_pProbe->m_What = what;
        EXPECT_TRUE(m_Driver.Resize(shape.w, shape.h)) << shape.name;
        EXPECT_TRUE(m_Driver.Frame());
        std::vector<u8> rgba;
        EXPECT_TRUE(m_pSurface->ReadPixels(rgba));
        EXPECT_EQ(rgba.size(), size_t(shape.w) * shape.h * 4) << shape.name;
        return LitBox(rgba, shape.w, shape.h);
    }

    std::unique_ptr<GLSurface> m_pSurface;
    HostDriver m_Driver;
    ScreenSaverApp* m_pApp = nullptr;
    ProbeLayer* m_pProbe = nullptr;  // held by the application
};

}  // namespace

TEST_F(SceneShapes, ColumnAndTrophyKeepTheirProportionsOnEveryShape) {
    for (ProbeLayer::What what : {ProbeLayer::What::kColumn, ProbeLayer::What::kTrophy}) {
        const char* thing = what == ProbeLayer::What::kColumn ? "column" : "trophy";
        const Box reference = Draw(what, kShapes[0]);
        ASSERT_FALSE(reference.Empty()) << thing << " not drawn";
        for (const Shape& shape : kShapes) {
            const Box box = Draw(what, shape);
            ASSERT_FALSE(box.Empty()) << thing << " not drawn at " << shape.name;
            // A pixel of rounding at each edge of the smallest box (the preview).
            const float slack = 2.f / float(std::min(box.x1 - box.x0, box.y1 - box.y0) + 1);
            EXPECT_NEAR(box.Aspect(), reference.Aspect(), reference.Aspect() * (0.02f + slack))
                << thing << " distorted at " << shape.name;
            EXPECT_NEAR(box.CentreX(), 0.5f * float(shape.w), 1.5f + 0.01f * float(shape.w))
                << thing << " off centre at " << shape.name;
            // Wider windows keep the logical height, narrower ones the width.
            const bool wider = long(shape.w) * 786 >= long(shape.h) * 1024;
            const float scale = wider ? float(shape.h) / 786.f : float(shape.w) / 1024.f;
            EXPECT_NEAR(float(box.y1 - box.y0 + 1), float(reference.y1 - reference.y0 + 1) * scale,
                        2.f + 0.02f * float(reference.y1 - reference.y0 + 1) * scale)
                << thing << " wrongly sized at " << shape.name;
        }
    }
}
