// Effects and their instances: passes, loops and wraps, killing, speed,
// resets, binding, bounds on one update, determinism and drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/particles/ParticleEffect.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<std::pair<float, float>> Calls;

// One effect with one test emitter and one instance bound to it (held by the
// effect's active group and by the fixture).
class EffectPlay : public ::testing::Test {
protected:
    void SetUp() override {
        m_Effect.Reset(new ParticleEffect("fx"));
        m_pEmitter = new TestEmitter("e");
        m_Effect->InsertObject(m_pEmitter, ParticleEffect::kEmitters, 1, nullptr);
        m_Instance.Reset(new ParticleEffectInstance("i", Point3D<float>(10, 10, 0.5f)));
        ASSERT_EQ(m_Effect->InsertObject(m_Instance.Get(), -1, 0, nullptr), ParticleEffect::kActive);
        ASSERT_EQ(m_Instance->GetEffect(), m_Effect.Get());
    }
    void TearDown() override {
        ParticleEmitter::ms_ParDetail = 1.0f;
        m_Instance.Reset();
        m_Effect.Reset();
    }
    // Applies the effect's values to the instance again.
    void Restart() { m_Instance->Reset(true); }
    EmitterDesc& Desc(unsigned i = 0) { return *m_Instance->GetEmitterDesc(i); }

    Ref<ParticleEffect> m_Effect;
    Ref<ParticleEffectInstance> m_Instance;
    TestEmitter* m_pEmitter = nullptr;  // held by the effect
};

}  // namespace

TEST_F(EffectPlay, BindingCopiesTheEffectsDefaults) {
    m_Effect->SetDefaultPlaySpeed(2.0f);
    m_Effect->SetDefaultRotation(0.5f);
    m_Effect->SetDefaultRotationSpeed(3.0f);
    m_Effect->SetDefaultAutoRotate(true);
    m_Effect->SetEffectLoops(4);
    Restart();
    EXPECT_EQ(m_Instance->GetPlaybackSpeed(), 2.0f);
    EXPECT_EQ(m_Instance->GetRotation(), 0.5f);
    EXPECT_EQ(m_Instance->GetAutoRotationSpeed(), 3.0f);
    EXPECT_TRUE(m_Instance->GetAutoRotateToMotion());
    EXPECT_EQ(m_Instance->GetLoopsLeft(), 4);
    EXPECT_EQ(m_Instance->GetEmitterDescCount(), 1u);
    EXPECT_EQ(Desc().m_pEmitter, m_pEmitter);
    EXPECT_EQ(m_Instance->GetEmitterDesc(1), nullptr);
    // Auto-rotation turns the instance with scaled time.
    m_Instance->Update(0.25f);
    EXPECT_FLOAT_EQ(m_Instance->GetRotation(), 0.5f + 0.5f * 3.0f);
}

TEST_F(EffectPlay, NegativeLoopsPlayForeverAndWrapWithTwoCalls) {
    m_Effect->SetEffectLoopToTime(0.25f);
    Restart();
    EXPECT_EQ(m_Instance->GetLoopsLeft(), ParticleEffectInstance::kLoopForever);
    m_Instance->Update(0.5f);
    m_Instance->Update(0.75f);
    EXPECT_EQ(m_pEmitter->m_Calls, (Calls{{0.0f, 0.5f}, {0.5f, 1.0f}, {0.25f, 0.5f}}));
    EXPECT_FLOAT_EQ(m_Instance->GetTime(), 0.5f);
    EXPECT_EQ(m_Instance->GetLoopsLeft(), ParticleEffectInstance::kLoopForever);
    EXPECT_FALSE(m_Instance->IsFinished());
}

TEST_F(EffectPlay, ZeroLoopsPlayOnePassEndingExactlyAtTheEffectTime) {
    m_Effect->SetEffectLoops(0);
    Restart();
    m_Instance->Update(0.625f);
    m_Instance->Update(0.625f);
    EXPECT_TRUE(m_Instance->IsFinished());
    EXPECT_EQ(m_Instance->GetLoopsLeft(), ParticleEffectInstance::kFinished);
    EXPECT_EQ(m_Instance->GetTime(), 1.0f);
    m_Instance->Update(0.25f);
    m_Instance->Update(0.25f);
    EXPECT_EQ(m_pEmitter->m_Calls, (Calls{{0.0f, 0.625f}, {0.625f, 1.0f}}));
    // The particles live out their lives.
    EXPECT_GT(m_Instance->GetParticleCount(), 0u);
}

TEST_F(EffectPlay, LongStepWrapsSeveralTimesInOneUpdate) {
    m_Effect->SetEffectTime(0.25f);
    Restart();
    m_Instance->Update(0.875f);  // three wraps
    ASSERT_EQ(m_pEmitter->m_Calls.size(), 6u);
    for (size_t i = 0; i < 6; i += 2) {
        EXPECT_EQ(m_pEmitter->m_Calls[i].second, 0.25f) << i;
        EXPECT_EQ(m_pEmitter->m_Calls[i + 1].first, 0.0f) << i;
    }
    EXPECT_EQ(m_pEmitter->m_Calls[1].second, 0.625f);
    EXPECT_EQ(m_pEmitter->m_Calls[5].second, 0.125f);
    EXPECT_EQ(m_Instance->GetTime(), 0.125f);

    // With one loop, the second wrap ends the last pass.
    m_pEmitter->m_Calls.clear();
    m_Effect->SetEffectLoops(1);
    Restart();
    m_Instance->Update(0.875f);
    EXPECT_EQ(m_pEmitter->m_Calls.size(), 3u);
    EXPECT_TRUE(m_Instance->IsFinished());
    EXPECT_EQ(m_Instance->GetTime(), 0.25f);
}

TEST_F(EffectPlay, TinyOrDegeneratePassesAreBoundedPerUpdate) {
    const u32 cap = ParticleEffectInstance::kMaxLoopPassesPerUpdate;
    m_pEmitter->m_fRate = 0.0f;
    m_Effect->SetEffectTime(1e-4f);
    Restart();
    m_Instance->Update(0.25f);  // 2500 passes owed
    EXPECT_EQ(m_pEmitter->m_Calls.size(), 2u * cap);
    EXPECT_EQ(m_Instance->GetTime(), 1e-4f);

    // A pass that never shortens the time (loop-to at or past the end).
    for (float loopTo : {0.0f, 2.0f}) {
        m_pEmitter->m_Calls.clear();
        m_Effect->SetEffectTime(loopTo == 0.0f ? 0.0f : 1.0f);
        m_Effect->SetEffectLoopToTime(loopTo);
        Restart();
        m_Instance->Update(1.5f);
        m_Instance->Update(1.5f);
        EXPECT_EQ(m_pEmitter->m_Calls.size(), 4u * cap) << loopTo;
        EXPECT_LE(m_Instance->GetTime(), 1.0f);
    }
}

TEST_F(EffectPlay, AbsurdRateIsBoundedPerUpdate) {
    m_pEmitter->m_fRate = 1e9f;
    m_Effect->SetEffectTime(1e-3f);  // many passes as well
    Restart();
    m_Instance->Update(0.25f);
    EXPECT_EQ(Desc().m_Count, ParticleEmitter::kMaxEmitPerUpdate);
    EXPECT_LT(Desc().m_fAccumulator, 1.0f);
    m_Instance->Update(0.25f);
    EXPECT_EQ(Desc().m_Count, 2u * ParticleEmitter::kMaxEmitPerUpdate);
    EXPECT_EQ(m_Instance->GetParticleCount(), ParticleEmitter::kMaxEmitPerUpdate);
    Restart();
    EXPECT_EQ(Desc().m_Count, 0u);
}

TEST_F(EffectPlay, EmissionCountFollowsTheDetailLevel) {
    m_pEmitter->SetPartLifeMin(10);
    m_pEmitter->SetPartLifeMax(10);
    m_Effect->SetEffectLoops(0);
    for (float detail : {1.0f, 0.75f}) {
        ParticleEmitter::ms_ParDetail = detail;
        Restart();
        for (int i = 0; i < 8; ++i) m_Instance->Update(0.125f);
        EXPECT_EQ(Desc().m_Count, u32(100 * detail)) << detail;
    }
}

TEST_F(EffectPlay, PlaybackSpeedScalesTimeAndParticles) {
    m_Instance->Update(0.25f);
    const Particle* p = Desc().m_pLast;  // the oldest
    ASSERT_NE(p, nullptr);
    const float age = p->m_fAge;
    m_Instance->SetPlaybackSpeed(0.0f);
    m_Instance->Update(0.25f);
    EXPECT_EQ(p->m_fAge, age);
    EXPECT_EQ(m_Instance->GetTime(), 0.25f);
    m_Instance->SetPlaybackSpeed(-1.0f);
    m_Instance->Update(0.25f);
    EXPECT_EQ(m_Instance->GetTime(), 0.25f);
    m_Instance->SetPlaybackSpeed(2.0f);
    m_Instance->Update(0.125f);
    EXPECT_EQ(p->m_fAge, age + 0.25f);
    EXPECT_EQ(m_Instance->GetTime(), 0.5f);
    EXPECT_EQ(m_Instance->GetRunningTime(), 0.5f);
}

TEST_F(EffectPlay, RunningTimeWrapsPastTenThousandSeconds) {
    m_pEmitter->m_fRate = 0.0f;
    m_Instance->Update(9999.5f);
    EXPECT_EQ(m_Instance->GetRunningTime(), 9999.5f);
    m_Instance->Update(1.0f);
    EXPECT_EQ(m_Instance->GetRunningTime(), 0.0f);
}

TEST_F(EffectPlay, KillTrueWaitsForTheLastParticleThenDestroys) {
    m_Instance->Update(0.5f);
    ASSERT_GT(Desc().m_Count, 0u);
    ParticleEffectInstance* instance = m_Instance.Get();
    m_Instance.Reset();  // only the effect holds it now
    instance->Kill(true);
    const size_t calls = m_pEmitter->m_Calls.size();
    instance->Update(0.5f);
    EXPECT_EQ(m_Effect->GetActiveGroup().GetList().size(), 1u);
    EXPECT_EQ(m_pEmitter->m_Calls.size(), calls);  // no more emission
    const u32 live = ParticleAllocator::GetLiveCount();
    instance->Update(0.75f);  // every particle is past its life now
    EXPECT_TRUE(m_Effect->GetActiveGroup().GetList().empty());
    EXPECT_LT(ParticleAllocator::GetLiveCount(), live);
}

TEST_F(EffectPlay, KillFalseStopsEmissionAndCancelsRemoval) {
    m_Instance->Kill(true);
    m_Instance->Kill(false);
    EXPECT_TRUE(m_Instance->IsFinished());
    EXPECT_FALSE(m_Instance->IsKilled());
    for (int i = 0; i < 5; ++i) m_Instance->Update(0.5f);
    EXPECT_TRUE(m_pEmitter->m_Calls.empty());
    EXPECT_EQ(m_Effect->GetActiveGroup().GetList().size(), 1u);
}

TEST_F(EffectPlay, KillWhenDoneRemovesTheInstanceAfterItsLastPass) {
    m_Effect->SetEffectLoops(0);
    m_Effect->SetEffectTime(0.5f);
    Restart();
    ParticleEffectInstance* instance = m_Instance.Get();
    instance->SetKillWhenDone(true);
    m_Instance.Reset();
    instance->Update(0.625f);  // the pass ends
    EXPECT_TRUE(instance->IsFinished());
    EXPECT_FALSE(instance->IsKilled());
    instance->Update(0.125f);
    EXPECT_TRUE(instance->IsKilled());
    for (int i = 0; i < 20 && !m_Effect->GetActiveGroup().GetList().empty(); ++i) instance->Update(0.125f);
    EXPECT_TRUE(m_Effect->GetActiveGroup().GetList().empty());
}

TEST_F(EffectPlay, InsertingAnEmitterRestartsEveryInstanceWithoutParticles) {
    m_Instance->Update(0.5f);
    ASSERT_GT(Desc().m_Count, 0u);
    const u32 live = ParticleAllocator::GetLiveCount();
    const u32 had = Desc().m_Count;
    TestEmitter* second = new TestEmitter("second");
    EXPECT_EQ(m_Effect->InsertObject(second, -1, 1, nullptr), ParticleEffect::kEmitters);
    EXPECT_EQ(m_Instance->GetEmitterDescCount(), 2u);
    EXPECT_EQ(m_Instance->GetEmitterDesc(1)->m_pEmitter, second);
    EXPECT_EQ(Desc().m_pFirst, nullptr);
    EXPECT_EQ(Desc().m_fAccumulator, 0.0f);
    EXPECT_EQ(m_Instance->GetTime(), 0.0f);
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live - had);
}

TEST_F(EffectPlay, RemovingAnEmitterByAnyGroupIndexRestartsTheInstances) {
    m_Instance->Update(0.5f);
    for (int group : {-1, -3, 0}) {
        TestEmitter* extra = new TestEmitter("extra");
        m_Effect->InsertObject(extra, 0, 1, nullptr);
        m_Instance->Update(0.25f);
        ASSERT_EQ(m_Instance->GetEmitterDescCount(), 2u);
        EXPECT_GE(m_Effect->RemoveObject(extra, group), 1) << group;  // destroys it
        EXPECT_EQ(m_Instance->GetEmitterDescCount(), 1u) << group;
        m_Instance->Update(0.25f);  // must not reach the destroyed emitter
    }
}

TEST_F(EffectPlay, SecondEffectIsRefusedWithLogLine) {
    ScopedLogCapture log;
    Ref<ParticleEffect> other(new ParticleEffect("other"));
    EXPECT_FALSE(m_Instance->SetEffect(other.Get()));
    EXPECT_FALSE(m_Instance->SetEffect(nullptr));
    EXPECT_EQ(log->Count(" W. Instance already asigned to an effect"), 2);
    EXPECT_EQ(m_Instance->GetEffect(), m_Effect.Get());
    EXPECT_TRUE(m_Instance->SetEffect(m_Effect.Get()));
    Ref<ParticleEffectInstance> fresh(new ParticleEffectInstance("fresh", Point3D<float>()));
    EXPECT_FALSE(fresh->SetEffect(nullptr));
}

TEST_F(EffectPlay, DyingEffectUnbindsInstancesHeldElsewhere) {
    m_Instance->Update(0.5f);
    const u32 live = ParticleAllocator::GetLiveCount();
    const u32 had = Desc().m_Count;
    m_Effect.Reset();  // destroys the effect and its emitter
    EXPECT_EQ(m_Instance->GetEffect(), nullptr);
    EXPECT_EQ(m_Instance->GetEmitterDescCount(), 0u);
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live - had);
    EXPECT_TRUE(m_Instance->Update(0.5f));
    EXPECT_TRUE(m_Instance->Render(0.5f));
}

TEST_F(EffectPlay, OffsetParticlesMovesTheTrailNotTheInstance) {
    m_Instance->Update(0.25f);
    m_Instance->OffsetParticles(5, -2);
    for (Particle* p : ListOf(Desc())) {
        EXPECT_EQ(p->m_fX, 15.0f);
        EXPECT_EQ(p->m_fY, 8.0f);
    }
    EXPECT_EQ(m_Instance->GetPosition(), Point3D<float>(10, 10, 0.5f));
}

TEST_F(EffectPlay, AutoRotationFollowsMovesWithLogLines) {
    ScopedLogCapture log;
    m_Instance->SetPosition(Point3D<float>(10, 20, 0.5f));
    EXPECT_EQ(m_Instance->GetRotation(), 0.0f);  // off: no rotation, no log
    EXPECT_FALSE(log->Contains("Updaing position"));
    m_Instance->SetAutoRotateToMotion(true);
    m_Instance->SetPosition(Point3D<float>(13, 24, 0.5f));
    EXPECT_TRUE(log->Contains(" I. Updaing position: delta = 3.000000, 4.000000"));
    EXPECT_FLOAT_EQ(m_Instance->GetRotation(), std::atan2(3.0f, -4.0f));
    EXPECT_TRUE(log->Contains(" I. Updaing position: rotation = 2.498092"));
    m_Instance->SetPosition(Point3D<float>(13, 24, 0.5f));  // no move
    EXPECT_EQ(log->Count("Updaing position: delta"), 1);
}

TEST_F(EffectPlay, ResetGivesEveryParticleBack) {
    m_Instance->Update(0.5f);
    const u32 had = Desc().m_Count;
    ASSERT_GT(had, 0u);
    const u32 live = ParticleAllocator::GetLiveCount();
    m_Instance->Reset(true);
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live - had);
    EXPECT_EQ(Desc().m_pLast, nullptr);
    EXPECT_EQ(m_Instance->GetRunningTime(), 0.0f);
}

TEST_F(EffectPlay, SameRandSequenceGivesTheSameParticleState) {
    m_pEmitter->SetColorMode(0);
    m_pEmitter->SetAddOrder(2);
    m_pEmitter->SetRotationMode(2);
    m_pEmitter->SetSpriteMode(2);
    m_pEmitter->SetSpriteMax(5);
    m_pEmitter->SetPartLifeMin(0.2f);
    m_pEmitter->SetPartLifeMax(1.5f);
    m_pEmitter->SetGravity(Point2D<float>(3, 40));
    m_pEmitter->m_Velocity = Point2D<float>(5, -20);
    ASSERT_TRUE(m_pEmitter->SetSizeCurve({{0, 0.5f, 1}, {0.3f, 2, 3}, {1, 0, 0.5f}}));
    ASSERT_TRUE(m_pEmitter->SetColorCurve(
        {{0, 0, 255, 0, 255, 0, 255}, {0.5f, 10, 20, 30, 40, 50, 60}, {1, 0, 0, 0, 0, 0, 0}}));
    TestEmitter* second = new TestEmitter("second");
    second->m_fRate = 37;
    second->SetColorMode(2);
    ASSERT_TRUE(second->SetColorCurve({{0, 0, 255, 0, 255, 0, 255}, {1, 9, 9, 9, 9, 9, 9}}));
    m_Effect->InsertObject(second, 0, 1, nullptr);
    auto run = [this](unsigned seed) {
        std::srand(seed);
        Restart();
        for (int i = 0; i < 90; ++i) m_Instance->Update(1.0f / 60.0f);
        return HashParticles(Desc(1), HashParticles(Desc(0)));
    };
    const uint64_t first = run(1);
    EXPECT_GT(Desc(0).m_Count, 50u);
    EXPECT_EQ(run(1), first);
    EXPECT_NE(run(2), first);
}

TEST(ParticleEffectClass, PropertiesAndGroupsAreRegistered) {
    std::vector<std::string> labels;
    for (ValueProperty* p : ParticleEffect::sm_Class.GetValueProps()) labels.push_back(p->GetName());
    EXPECT_EQ(labels,
              (std::vector<std::string>{"Effect Time", "Loops", "Effect Reset Time", "Def. Play Speed",
                                        "Def. Rotation", "Def. Rot. Speed", "Def. Auto rotate"}));
    std::vector<std::string> groups;
    for (GroupProperty* p : ParticleEffect::sm_Class.GetGroupProps()) groups.push_back(p->GetName());
    EXPECT_EQ(groups, (std::vector<std::string>{"Emitters", "Active", "Inactive"}));
    labels.clear();
    for (ValueProperty* p : ParticleEffectInstance::sm_Class.GetValueProps()) labels.push_back(p->GetName());
    EXPECT_EQ(labels, (std::vector<std::string>{"Playback Speed", "Rotation", "Auto Rot. Speed",
                                                "Auto Rot. To Motion", "Scale", "Power"}));
    // Created by name at (100, 100, 0); an instance casts to IPositionable.
    Ref<Object> created(Class::FindClass("ParticleEffectInstance")->CreateInstance("made"));
    IPositionable* positionable = ZYN_Cast<IPositionable, Object>(created.Get());
    ASSERT_NE(positionable, nullptr);
    EXPECT_EQ(positionable->GetPosition(), Point3D<float>(100, 100, 0));
    EXPECT_EQ(Class::FindClass("ParticleEffect")->GetResourceManager()->GetName(), "ParticleEffectManager");
}

// ---------------------------------------------------------------------------
// Drawing on the offscreen context, read back as pixels.

namespace {
class EffectRender : public EffectPlay {
protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        EffectPlay::SetUp();
        AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = kSize;
        s.windowed = true;
        m_pSurface.reset(CreateOffscreenSurface());
        ASSERT_TRUE(Graphics::Init(m_pSurface.get(), s));
        ASSERT_TRUE(Graphics::BeginRendering());
        Graphics::SetScreenViewport(Rect<short>(0, 0, kSize, kSize));
        Graphics::SetRenderMode(RENDER_2D);
        Graphics::SetProjection2D(kSize, kSize);
        Graphics::ResetSceneTransform();
        Graphics::ClearScreenViewport(0xFF000000, true, 1.0f, true);
        Texture* texture = new Texture("white");
        ASSERT_TRUE(texture->InitEmptyTexture(8, 8, false));
        ASSERT_TRUE(Graphics::FillRectTexture(texture->GetTexHandle(), 0, 0, 8, 8, 0xFFFFFFFF));
        m_pEmitter->SetTexture(texture);
        // One particle at (20, 20): born at the instance, then moved.
        m_pEmitter->m_fRate = 0.0f;
        Particle* p = m_pEmitter->GenerateParticle(0);
        p->m_fX = p->m_fY = 10;
        m_pEmitter->AddParticle(Desc(), p);
        m_Instance->OffsetParticles(10, 10);
    }
    void TearDown() override {
        m_pEmitter->SetTexture(nullptr);
        Graphics::ShutDown();
        m_pSurface.reset();
        EffectPlay::TearDown();
    }
    bool IsWhite(int x, int y) {
        const size_t i = (size_t(y) * kSize + size_t(x)) * 4;
        return m_Pixels[i] > 200 && m_Pixels[i + 1] > 200 && m_Pixels[i + 2] > 200;
    }
    void Finish() {
        Graphics::EndRendering();
        ASSERT_TRUE(m_pSurface->ReadPixels(m_Pixels));
    }

    std::unique_ptr<GLSurface> m_pSurface;
    std::vector<u8> m_Pixels;
};
}  // namespace

TEST_F(EffectRender, DrawsEachParticleAsASpriteAtItsPosition) {
    m_Instance->Render(0.0f);
    Finish();
    EXPECT_TRUE(IsWhite(16, 16));
    EXPECT_TRUE(IsWhite(23, 23));
    EXPECT_FALSE(IsWhite(24, 20));
    EXPECT_FALSE(IsWhite(15, 20));
}

TEST_F(EffectRender, ScaleTwoDoublesTheEffectAboutItsPositionAndRestoresTheTransform) {
    m_Instance->SetScale(2.0f);
    m_Instance->Render(0.0f);
    const Transform after = Graphics::GetTransform();
    Finish();
    // The particle lands at 10 + 2 x 10 = 30, 16 pixels wide.
    EXPECT_TRUE(IsWhite(22, 22));
    EXPECT_TRUE(IsWhite(37, 37));
    EXPECT_FALSE(IsWhite(38, 30));
    EXPECT_FALSE(IsWhite(21, 30));
    const Transform identity = Transform::Identity();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], identity[i]) << i;
}

TEST_F(EffectRender, PowerZeroDrawsNothing) {
    m_Instance->SetPower(0.0f);
    m_Instance->Render(0.0f);
    EXPECT_EQ(Graphics::Globals::g_BufferPos, 0);
    Finish();
    EXPECT_FALSE(IsWhite(20, 20));
}
