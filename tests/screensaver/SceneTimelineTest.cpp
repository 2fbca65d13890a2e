// The whole scene started as the screen saver starts it and played headless
// on a fixed step through its 60-second timeline; the key moments are checked
// from the director's state, the application's layers and the rendered pixels.
// One run serves every check: the scene can be started once per process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <screensaver/OrvSettings.h>
#include <screensaver/SSHall.h>
#include <screensaver/SSTrophy.h>
#include <screensaver/ScreenSaverApp.h>
#include <screensaver/ZynMain.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace {

constexpr int kFps = 20;
constexpr int kWidth = 256;   // a quarter of the logical 1024 x 786
constexpr int kHeight = 196;

struct Frame {
    std::vector<u8> rgba;
    float Luma(int x0, int y0, int x1, int y1) const {
        double sum = 0;
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const u8* p = &rgba[(size_t(y) * kWidth + x) * 4];
                sum += 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
                ++n;
            }
        return n ? float(sum / n) : 0.f;
    }
    // Logical coordinates scaled down to the frame.
    float LumaLogical(int x0, int y0, int x1, int y1) const {
        return Luma(x0 * kWidth / 1024, y0 * kHeight / 786, x1 * kWidth / 1024, y1 * kHeight / 786);
    }
};

struct HallState {
    float speed, visible;
    int minSegments, maxSegments;
};

std::set<std::string> LayerNames() {
    std::set<std::string> names;
    if (ScreenSaverApp* app = SingletonEx<ScreenSaverApp>::ms_pInstance)
        for (AppObject* layer : app->GetActiveLayers().GetList()) names.insert(layer->GetName());
    return names;
}

class SceneTimeline : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string prefs = std::string(::testing::TempDir()) + "zyn-scene-prefs";
        setenv("XDG_CONFIG_HOME", prefs.c_str(), 1);
        setenv("ZYN_DATA_DIR", ZYN_SCENE_DATA_DIR, 1);
        RegisterZynMain();
        m_pSurface.reset(CreateOffscreenSurface());
        m_Driver.UseFixedStep(1000000 / kFps);
        ASSERT_TRUE(m_Driver.Create(m_pSurface.get(), float(kWidth), float(kHeight), false));
        m_Driver.Start();
    }
    void TearDown() override {
        m_Driver.Stop();
        m_Driver.Release();
    }

    /// Plays until the timeline reaches t seconds, noting when layers first appear.
    void PlayTo(float t) {
        while (m_Frames < int(std::lround(t * kFps))) {
            ASSERT_TRUE(m_Driver.Frame());
            ++m_Frames;
            for (const std::string& name : LayerNames())
                if (!m_FirstSeen.count(name)) m_FirstSeen[name] = float(m_Frames) / kFps;
        }
    }
    Frame Grab() {
        Frame f;
        EXPECT_TRUE(m_pSurface->ReadPixels(f.rgba));
        return f;
    }
    HallState Hall() const {
        SSHall* h = SingletonEx<SSHall>::ms_pInstance;
        return HallState{h->m_fSpeed, h->m_fVisible, h->m_MinSegments, h->m_MaxSegments};
    }
    float FirstSeen(const std::string& name) const {
        auto it = m_FirstSeen.find(name);
        return it == m_FirstSeen.end() ? -1.f : it->second;
    }

    std::unique_ptr<GLSurface> m_pSurface;
    HostDriver m_Driver;
    int m_Frames = 0;
    std::map<std::string, float> m_FirstSeen;
};

}  // namespace

TEST_F(SceneTimeline, KeyMomentsOfTheSixtySeconds) {
    // Start-up: the trophy display stands in front of the hall; variant 13.
    ScreenSaverApp* app = SingletonEx<ScreenSaverApp>::ms_pInstance;
    ASSERT_NE(app, nullptr);
    const auto& layers = app->GetActiveLayers().GetList();
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers.front()->GetName(), "trophy");
    EXPECT_EQ(layers.back()->GetName(), "hall");
    ASSERT_NE(SingletonEx<OrvSettings>::ms_pInstance, nullptr);
    EXPECT_TRUE(SingletonEx<OrvSettings>::ms_pInstance->m_bTrophyVariant);
    EXPECT_EQ(static_cast<SSTrophy*>(layers.front())->m_Sprite, 13u);

    // 0-3 s: the trophy materialises out of black while the hall is dark.
    PlayTo(0.5f);
    const float trophyEarly = Grab().LumaLogical(412, 100, 612, 500);
    PlayTo(2.4f);
    const Frame before = Grab();
    EXPECT_GT(before.LumaLogical(412, 100, 612, 500), trophyEarly + 10.f);
    EXPECT_FLOAT_EQ(Hall().visible, 0.f);
    EXPECT_LT(before.LumaLogical(0, 100, 180, 600), 2.f);  // no near column yet

    // 2.5-3.5 s: the hall fades in, row by row.
    PlayTo(3.0f);
    EXPECT_NEAR(Hall().visible, 0.5f, 0.06f);
    PlayTo(3.6f);
    EXPECT_FLOAT_EQ(Hall().visible, 1.f);
    const Frame lit = Grab();
    EXPECT_GT(lit.LumaLogical(0, 100, 180, 600), 20.f);  // the nearest left columns

    // 3 s: the cloak is done, the glow "fx" starts.
    EXPECT_NEAR(FirstSeen("fx"), 3.0f, 0.1f);

    // 5-7 s: the first acceleration; 7 s: the shattering.
    PlayTo(6.0f);
    EXPECT_GT(Hall().speed, 0.f);
    EXPECT_LT(Hall().speed, 1.f);
    PlayTo(7.2f);
    EXPECT_NEAR(FirstSeen("dzban"), 7.0f, 0.1f);
    EXPECT_NEAR(FirstSeen("rank"), 7.0f, 0.1f);

    // Speed exactly 1 between the shattering and 13 s.
    PlayTo(8.0f);
    EXPECT_EQ(Hall().speed, 1.0f);
    PlayTo(9.9f);
    const float centreBefore = Grab().LumaLogical(462, 334, 562, 434);

    // 10 s: the light path and the burst, bright at the vanishing point.
    PlayTo(10.2f);
    EXPECT_NEAR(FirstSeen("swiatelko"), 10.0f, 0.1f);
    EXPECT_NEAR(FirstSeen("burst"), 10.0f, 0.1f);
    EXPECT_GT(Grab().LumaLogical(462, 334, 562, 434), centreBefore + 30.f);
    PlayTo(12.9f);
    EXPECT_EQ(Hall().speed, 1.0f);

    // 13-53 s: the second acceleration, heights narrowing, the glyph waves.
    PlayTo(24.0f);
    EXPECT_EQ(Hall().minSegments, 2);
    EXPECT_EQ(Hall().maxSegments, 4);
    PlayTo(38.0f);
    EXPECT_EQ(Hall().minSegments, 1);
    EXPECT_EQ(Hall().maxSegments, 5);
    EXPECT_NEAR(FirstSeen("g1"), 32.67f, 0.15f);
    PlayTo(44.0f);
    EXPECT_NEAR(FirstSeen("g2"), 42.34f, 0.15f);
    PlayTo(55.0f);
    EXPECT_NEAR(FirstSeen("g3"), 53.0f, 0.15f);

    // After 53 s: full speed and heights 0-7, columns racing.
    EXPECT_EQ(Hall().speed, 6.0f);
    EXPECT_EQ(Hall().minSegments, 0);
    EXPECT_EQ(Hall().maxSegments, 7);
    PlayTo(60.0f);
    EXPECT_EQ(Hall().speed, 6.0f);
    std::set<int> heights;
    for (const auto& row : SingletonEx<SSHall>::ms_pInstance->m_Rows) {
        heights.insert(row[0]);
        heights.insert(row[1]);
        EXPECT_GE(row[0], 0);
        EXPECT_LE(row[0], 7);
    }
    EXPECT_GE(heights.size(), 3u);  // the heights vary
    // The ended effects removed themselves; the endless light path stays.
    const std::set<std::string> names = LayerNames();
    EXPECT_EQ(names.count("dzban"), 0u);
    EXPECT_EQ(names.count("burst"), 0u);
    EXPECT_EQ(names.count("rank"), 0u);
    EXPECT_EQ(names.count("swiatelko"), 1u);

    // Asked to replay, the show starts again from the dark with the same
    // layers, the art still loaded and never loaded twice.
    TextureManager* textures = GetCreateTextureManager();
    Texture* stone = textures->GetResourceTyped("temple\\temple.jp2");
    const int stoneRefs = stone->GetRefCount();
    app->SetReplayInterval(1.0f);
    PlayTo(61.05f);
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers.front()->GetName(), "trophy");
    EXPECT_EQ(layers.back()->GetName(), "hall");
    EXPECT_FLOAT_EQ(Hall().visible, 0.f);
    EXPECT_EQ(Hall().speed, 0.f);
    EXPECT_EQ(textures->GetResourceTyped("temple\\temple.jp2"), stone) << "the art was loaded again";
    stone->Release();
    EXPECT_EQ(stone->GetRefCount(), stoneRefs) << "the old hall let its texture go, the new one took it";
    EXPECT_LT(Grab().LumaLogical(0, 100, 180, 600), 2.f);  // dark again
    app->SetReplayInterval(0.f);
    PlayTo(65.0f);
    EXPECT_FLOAT_EQ(Hall().visible, 1.f) << "the second show runs its own timeline";
    EXPECT_EQ(LayerNames().count("fx"), 1u);
}
