// The emitter core: particle birth and its rand() order, list linking,
// aging, motion and the piecewise curves, emission bounds, affectors, drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef ParticleEmitter::SplineValue Key;
typedef ParticleEmitter::ColorSplineValue ColorKey;

float Draw(int r, float a, float b) { return a + float(r) * 4.656613e-10f * (b - a); }

// An emitter held for the test's lifetime, with one descriptor of its own.
struct Rig {
    Rig() : emitter(new TestEmitter("rig")) {
        emitter->AddRef();
        desc.m_pEmitter = emitter;
    }
    ~Rig() {
        for (Particle* p : ListOf(desc)) ParticleAllocator::Delete(p);
        emitter->Release();
    }
    // A particle born now at (x, y) with velocity (vx, vy), linked by AddParticle.
    Particle* Add(float x = 0, float y = 0, float vx = 0, float vy = 0) {
        Particle* p = emitter->GenerateParticle(0.0f);
        p->m_fX = x;
        p->m_fY = y;
        p->m_fVX = vx;
        p->m_fVY = vy;
        EXPECT_TRUE(emitter->AddParticle(desc, p));
        return p;
    }
    u32 Step(float dt, float runningTime = 0.0f) {
        return emitter->UpdateParticles(dt, desc, runningTime, nullptr);
    }

    TestEmitter* emitter;
    EmitterDesc desc;
};

}  // namespace

// ---------------------------------------------------------------------------
// Birth.

TEST(ParticleBirth, DefaultEmitterMakesWhiteOpaqueUnitParticlesLivingOneSecond) {
    Rig rig;
    Particle* p = rig.Add();
    EXPECT_EQ(p->m_fLife, 1.0f);
    EXPECT_EQ(p->m_fAge, 0.0f);
    EXPECT_EQ(p->m_fSize, 1.0f);
    EXPECT_EQ(p->m_fDSize, 0.0f);
    EXPECT_EQ(p->m_fSpin, 0.0f);
    EXPECT_EQ(p->m_fAlpha, 255.0f);
    EXPECT_EQ(p->m_fRed, 255.0f);
    EXPECT_EQ(p->m_fGreen, 255.0f);
    EXPECT_EQ(p->m_fBlue, 255.0f);
    EXPECT_EQ(p->m_fAngle, 0.0f);
    EXPECT_EQ(p->m_Sprite, 0u);
    EXPECT_EQ(p->m_fFrameTime, 0.0f);
    EXPECT_EQ(p->m_fSizeKeyEnd, 1.0f);
    EXPECT_EQ(p->m_SizeKey, 1);
    EXPECT_EQ(p->m_ColorKey, 1);
    EXPECT_EQ(p->m_AlphaKey, 1);
    EXPECT_EQ(p->m_SpinKey, 1);
}

TEST(ParticleBirth, DrawsRandomValuesInTheDocumentedOrder) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetPartLifeMin(1.0f);
    e.SetPartLifeMax(3.0f);
    ASSERT_TRUE(e.SetSizeCurve({{0, 10, 20}, {0.5f, 30, 40}, {1, 0, 0}}));
    ASSERT_TRUE(e.SetColorCurve(
        {{0, 0, 10, 20, 30, 40, 50}, {0.25f, 60, 70, 80, 90, 100, 110}, {1, 0, 0, 0, 0, 0, 0}}));
    ASSERT_TRUE(e.SetAlphaCurve({{0, 100, 200}, {1, 0, 50}}));
    ASSERT_TRUE(e.SetSpinCurve({{0, -1, 1}, {1, 2, 3}}));
    e.SetRotationMode(2);
    e.SetSpriteMode(0);
    e.SetSpriteMin(3);
    e.SetSpriteMax(9);

    std::srand(7);
    std::unique_ptr<Particle, void (*)(Particle*)> p(e.GenerateParticle(0.0f), &ParticleAllocator::Delete);
    ASSERT_NE(p, nullptr);

    std::srand(7);
    int r[15];
    for (int& v : r) v = std::rand();
    const float life = Draw(r[0], 1, 3);
    EXPECT_FLOAT_EQ(p->m_fLife, life);
    EXPECT_FLOAT_EQ(p->m_fSize, Draw(r[1], 10, 20));
    EXPECT_FLOAT_EQ(p->m_fSizeKeyEnd, 0.5f * life);
    EXPECT_FLOAT_EQ(p->m_fDSize, (Draw(r[2], 30, 40) - Draw(r[1], 10, 20)) / (0.5f * life));
    EXPECT_FLOAT_EQ(p->m_fRed, Draw(r[3], 0, 10));
    EXPECT_FLOAT_EQ(p->m_fDRed, (Draw(r[4], 60, 70) - Draw(r[3], 0, 10)) / (0.25f * life));
    EXPECT_FLOAT_EQ(p->m_fGreen, Draw(r[5], 20, 30));
    EXPECT_FLOAT_EQ(p->m_fDGreen, (Draw(r[6], 80, 90) - Draw(r[5], 20, 30)) / (0.25f * life));
    EXPECT_FLOAT_EQ(p->m_fBlue, Draw(r[7], 40, 50));
    EXPECT_FLOAT_EQ(p->m_fDBlue, (Draw(r[8], 100, 110) - Draw(r[7], 40, 50)) / (0.25f * life));
    EXPECT_FLOAT_EQ(p->m_fColorKeyEnd, 0.25f * life);
    EXPECT_FLOAT_EQ(p->m_fAlpha, Draw(r[9], 100, 200));
    EXPECT_FLOAT_EQ(p->m_fDAlpha, (Draw(r[10], 0, 50) - Draw(r[9], 100, 200)) / life);
    EXPECT_FLOAT_EQ(p->m_fSpin, Draw(r[11], -1, 1));
    EXPECT_FLOAT_EQ(p->m_fDSpin, (Draw(r[12], 2, 3) - Draw(r[11], -1, 1)) / life);
    EXPECT_FLOAT_EQ(p->m_fAngle, float(r[13]) * 4.6566129e-08f);
    EXPECT_EQ(p->m_Sprite, 3u + u32(r[14]) % 7u);
    // Nothing else was drawn.
    std::srand(7);
    for (int i = 0; i < 15; ++i) std::rand();
    const int next = std::rand();
    std::srand(7);
    std::unique_ptr<Particle, void (*)(Particle*)> q(e.GenerateParticle(0.0f), &ParticleAllocator::Delete);
    EXPECT_EQ(std::rand(), next);
}

TEST(ParticleBirth, ColorModeOneTakesTheColourAtTheEmittersPosition) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetColorMode(1);
    e.SetEmittStart(0.0f);
    e.SetEmittEnd(2.0f);
    ASSERT_TRUE(e.SetColorCurve({{0, 0, 0, 10, 10, 20, 20},
                                 {0.5f, 100, 100, 110, 110, 120, 120},
                                 {1, 200, 200, 210, 210, 220, 220}}));
    struct Case {
        float t, red, green, blue;
    };
    for (const Case c : {Case{0.5f, 50, 60, 70}, Case{1.5f, 150, 160, 170}, Case{-1.0f, 0, 10, 20},
                         Case{3.0f, 200, 210, 220}}) {
        Particle* p = e.GenerateParticle(c.t);
        EXPECT_FLOAT_EQ(p->m_fRed, c.red) << c.t;
        EXPECT_FLOAT_EQ(p->m_fGreen, c.green) << c.t;
        EXPECT_FLOAT_EQ(p->m_fBlue, c.blue) << c.t;
        EXPECT_EQ(p->m_fDRed, 0.0f);
        EXPECT_EQ(p->m_fColorKeyEnd, 1.0f + p->m_fLife);
        rig.emitter->AddParticle(rig.desc, p);
    }
    // A fixed colour never changes while the particle lives.
    rig.Step(0.9f);
    for (Particle* p : ListOf(rig.desc)) EXPECT_EQ(p->m_fDRed, 0.0f);
    EXPECT_FLOAT_EQ(rig.desc.m_pFirst->m_fRed, 200.0f);  // the newest, at the head

    // An empty emission window (start = end) gives NaN, which counts as key 0.
    e.SetEmittEnd(0.0f);
    std::unique_ptr<Particle, void (*)(Particle*)> p(e.GenerateParticle(0.0f), &ParticleAllocator::Delete);
    EXPECT_FLOAT_EQ(p->m_fRed, 0.0f);
}

TEST(ParticleBirth, ColorModeTwoPicksOneKeyThenItsColour) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetColorMode(2);
    ASSERT_TRUE(e.SetColorCurve(
        {{0, 10, 10, 10, 10, 10, 10}, {0.3f, 20, 20, 20, 20, 20, 20}, {1, 30, 30, 30, 30, 30, 30}}));
    std::srand(11);
    std::vector<float> expected;
    for (int i = 0; i < 20; ++i) {
        std::rand();  // life
        std::rand();  // size key 0
        std::rand();  // size key 1
        expected.push_back(10.0f * float(1 + std::rand() % 3));
        for (int k = 0; k < 3 + 4; ++k) std::rand();  // colour, alpha and spin
    }
    std::srand(11);
    for (int i = 0; i < 20; ++i) {
        std::unique_ptr<Particle, void (*)(Particle*)> p(e.GenerateParticle(0.0f),
                                                         &ParticleAllocator::Delete);
        EXPECT_FLOAT_EQ(p->m_fRed, expected[size_t(i)]) << i;
        EXPECT_FLOAT_EQ(p->m_fBlue, expected[size_t(i)]) << i;
    }
}

TEST(ParticleBirth, SpriteModeThreeUsesEmissionTimeTimesFrameTime) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetSpriteMode(3);
    e.SetSpriteMin(1);
    e.SetSpriteMax(3);
    e.SetSpriteAnimSpeed(2.0f);
    struct Case {
        float t;
        u32 sprite;
    };
    for (const Case c : {Case{0.4f, 1}, Case{1.0f, 3}, Case{1.6f, 1}, Case{2.6f, 3}}) {
        std::unique_ptr<Particle, void (*)(Particle*)> p(e.GenerateParticle(c.t), &ParticleAllocator::Delete);
        EXPECT_EQ(p->m_Sprite, c.sprite) << c.t;
        EXPECT_EQ(p->m_fFrameTime, 0.0f);
    }
    // Values far outside the int range, NaN and infinity stay defined; the
    // remainder keeps the sign of the time, so only negative times leave the range.
    for (float t : {1e30f, NAN, INFINITY}) {
        std::unique_ptr<Particle, void (*)(Particle*)> p(e.GenerateParticle(t), &ParticleAllocator::Delete);
        EXPECT_TRUE(p->m_Sprite >= 1 && p->m_Sprite <= 3) << t;
    }
}

TEST(ParticleBirth, SpriteMaxBelowMinShowsSpriteMin) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetSpriteMin(5);
    e.SetSpriteMax(2);
    e.SetSpriteAnimSpeed(0.01f);
    for (u8 mode : {0, 1, 2, 3, 7}) {
        e.SetSpriteMode(mode);
        Particle* p = e.GenerateParticle(1.25f);
        EXPECT_EQ(p->m_Sprite, 5u) << int(mode);
        e.AddParticle(rig.desc, p);
    }
    e.SetSpriteMode(1);
    rig.Step(0.1f);
    for (Particle* p : ListOf(rig.desc)) EXPECT_EQ(p->m_Sprite, 5u);
}

// ---------------------------------------------------------------------------
// Lists.

TEST(ParticleList, AddOrderZeroDrawsNewestFirstAndOneNewestLast) {
    Rig rig;
    rig.emitter->SetAddOrder(0);
    Particle* a = rig.Add();
    Particle* b = rig.Add();
    EXPECT_EQ(ListOf(rig.desc), (std::vector<Particle*>{b, a}));
    EXPECT_EQ(rig.desc.m_pLast, a);
    rig.emitter->SetAddOrder(1);
    Particle* c = rig.Add();
    rig.emitter->SetAddOrder(5);  // any value above 2 appends as well
    Particle* d = rig.Add();
    EXPECT_EQ(ListOf(rig.desc), (std::vector<Particle*>{b, a, c, d}));
    EXPECT_EQ(rig.desc.m_pLast, d);
    EXPECT_EQ(rig.desc.m_Count, 4u);
}

TEST(ParticleList, AddOrderTwoChoosesHeadOrTailByOneDraw) {
    Rig rig;
    rig.emitter->SetAddOrder(2);
    std::srand(5);
    std::vector<int> sides;
    for (int i = 0; i < 40; ++i) {
        for (int k = 0; k < 13; ++k) std::rand();  // the birth's own draws
        sides.push_back(std::rand() % 2);
    }
    std::srand(5);
    std::vector<Particle*> expected;
    for (int i = 0; i < 40; ++i) {
        Particle* p = rig.Add();
        if (sides[size_t(i)] == 0)
            expected.insert(expected.begin(), p);
        else
            expected.push_back(p);
    }
    EXPECT_EQ(ListOf(rig.desc), expected);
    EXPECT_EQ(rig.desc.m_pLast, expected.back());
}

TEST(ParticleList, RotationModesThreeAndFourFollowTheVelocity) {
    Rig rig;
    rig.emitter->SetPartLifeMin(10);
    rig.emitter->SetPartLifeMax(10);
    rig.emitter->SetRotationMode(3);
    Particle* p = rig.Add(0, 0, 1, 0);  // moving right: a quarter turn clockwise
    EXPECT_FLOAT_EQ(p->m_fAngle, float(M_PI / 2));
    rig.emitter->SetGravity(Point2D<float>(-2, 0));
    rig.Step(1.0f);
    EXPECT_FLOAT_EQ(p->m_fAngle, float(M_PI / 2));  // mode 3 sets it once
    rig.emitter->SetRotationMode(4);
    rig.Step(0.25f);  // vx -1.5: now moving left
    EXPECT_FLOAT_EQ(p->m_fAngle, std::atan2(-1.5f, -0.0f));
}

TEST(ParticleUpdate, ExpiredParticlesLeaveInTheSameUpdateUnmoved) {
    Rig rig;
    rig.emitter->SetAddOrder(1);
    Particle* a = rig.Add(0, 0, 10, 0);
    Particle* b = rig.Add(0, 0, 10, 0);
    Particle* c = rig.Add(0, 0, 10, 0);
    a->m_fLife = 2.0f;
    b->m_fLife = 0.5f;
    c->m_fLife = 0.5f;  // the tail
    const u32 live = ParticleAllocator::GetLiveCount();
    EXPECT_EQ(rig.Step(0.75f), 1u);
    EXPECT_EQ(ListOf(rig.desc), (std::vector<Particle*>{a}));
    EXPECT_EQ(rig.desc.m_pLast, a);
    EXPECT_EQ(rig.desc.m_Count, 1u);
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live - 2);
    EXPECT_FLOAT_EQ(a->m_fX, 7.5f);
    // A particle whose age equals its life still lives.
    EXPECT_EQ(rig.Step(1.25f), 1u);
    EXPECT_EQ(rig.Step(0.001f), 0u);
    EXPECT_EQ(rig.desc.m_pFirst, nullptr);
    EXPECT_EQ(rig.desc.m_pLast, nullptr);
}

TEST(ParticleUpdate, NaNLifeEndsTheParticle) {
    Rig rig;
    rig.Add()->m_fLife = NAN;
    EXPECT_EQ(rig.Step(0.01f), 0u);
}

TEST(ParticleUpdate, VelocityChangesBeforePosition) {
    Rig rig;
    Particle* p = rig.Add(1, 2, 10, 0);
    p->m_fLife = 5;
    rig.emitter->SetGravity(Point2D<float>(0, 20));
    rig.Step(0.5f);
    EXPECT_FLOAT_EQ(p->m_fVY, 10.0f);
    EXPECT_FLOAT_EQ(p->m_fY, 7.0f);
    EXPECT_FLOAT_EQ(p->m_fX, 6.0f);
}

TEST(ParticleUpdate, StepAcrossTwoKeysLandsOnThePiecewiseCurve) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    ASSERT_TRUE(e.SetSizeCurve({{0, 0, 0}, {0.2f, 10, 10}, {0.4f, 0, 0}, {1, 30, 30}}));
    ASSERT_TRUE(e.SetAlphaCurve({{0, 0, 0}, {0.2f, 10, 10}, {0.4f, 0, 0}, {1, 30, 30}}));
    ASSERT_TRUE(e.SetSpinCurve({{0, 0, 0}, {0.2f, 10, 10}, {0.4f, 0, 0}, {1, 30, 30}}));
    ASSERT_TRUE(e.SetColorCurve({{0, 0, 0, 0, 0, 0, 0},
                                 {0.2f, 10, 10, 20, 20, 30, 30},
                                 {0.4f, 0, 0, 0, 0, 0, 0},
                                 {1, 30, 30, 60, 60, 90, 90}}));
    Particle* p = rig.Add();
    rig.Step(0.1f);
    EXPECT_FLOAT_EQ(p->m_fSize, 5.0f);
    rig.Step(0.4f);  // age 0.5: keys at 0.2 and 0.4 crossed in one step
    EXPECT_NEAR(p->m_fSize, 5.0f, 1e-4);
    EXPECT_NEAR(p->m_fAlpha, 5.0f, 1e-4);
    EXPECT_NEAR(p->m_fSpin, 5.0f, 1e-4);
    EXPECT_NEAR(p->m_fRed, 5.0f, 1e-4);
    EXPECT_NEAR(p->m_fGreen, 10.0f, 1e-4);
    EXPECT_NEAR(p->m_fBlue, 15.0f, 1e-4);
    EXPECT_EQ(p->m_SizeKey, 3);
    EXPECT_EQ(p->m_ColorKey, 3);

    // Small steps reach the same values as the one big step.
    Particle* q = rig.Add();
    for (int i = 0; i < 50; ++i) rig.Step(0.01f);
    EXPECT_NEAR(q->m_fSize, 5.0f, 1e-3);
    EXPECT_NEAR(q->m_fBlue, 15.0f, 1e-3);
    rig.Step(0.45f);  // age 0.95 for q
    EXPECT_NEAR(q->m_fSize, 27.5f, 1e-3);
}

TEST(ParticleUpdate, EqualKeyTimesMakeAStepInsteadOfNaN) {
    Rig rig;
    ASSERT_TRUE(rig.emitter->SetSizeCurve({{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 100, 100}, {1, 100, 100}}));
    ASSERT_TRUE(rig.emitter->SetAlphaCurve({{0, 7, 7}, {0, 50, 50}, {1, 50, 50}}));
    Particle* p = rig.Add();
    EXPECT_EQ(p->m_fAlpha, 50.0f);  // a zero-length first segment starts at its target
    rig.Step(0.25f);
    EXPECT_FLOAT_EQ(p->m_fSize, 0.0f);
    rig.Step(0.5f);
    EXPECT_FLOAT_EQ(p->m_fSize, 100.0f);
    EXPECT_FALSE(std::isnan(p->m_fDSize));
}

TEST(ParticleUpdate, CurveShortenedUnderLiveParticlesHoldsItsLastValue) {
    Rig rig;
    ASSERT_TRUE(rig.emitter->SetSizeCurve({{0, 0, 0}, {0.1f, 1, 1}, {0.2f, 2, 2}, {0.3f, 3, 3}, {1, 4, 4}}));
    Particle* p = rig.Add();
    rig.Step(0.25f);  // heading for key 3
    ASSERT_EQ(p->m_SizeKey, 3);
    ASSERT_TRUE(rig.emitter->SetSizeCurve({{0, 9, 9}, {1, 9, 9}}));
    rig.Step(0.5f);
    EXPECT_FLOAT_EQ(p->m_fSize, 3.0f);
    EXPECT_EQ(p->m_fDSize, 0.0f);
    rig.Step(0.2f);
    EXPECT_FLOAT_EQ(p->m_fSize, 3.0f);
}

TEST(ParticleUpdate, AnimatedSpritesAdvanceAtMostOneFramePerUpdate) {
    Rig rig;
    ParticleEmitter& e = *rig.emitter;
    e.SetSpriteMode(1);
    e.SetSpriteMin(2);
    e.SetSpriteMax(4);
    e.SetSpriteAnimSpeed(0.1f);
    e.SetPartLifeMin(10);
    e.SetPartLifeMax(10);
    Particle* p = rig.Add();
    std::vector<u32> seen{p->m_Sprite};
    for (int i = 0; i < 4; ++i) {
        rig.Step(0.15f);
        seen.push_back(p->m_Sprite);
    }
    EXPECT_EQ(seen, (std::vector<u32>{2, 3, 4, 2, 3}));
    rig.Step(0.05f);
    EXPECT_EQ(p->m_Sprite, 3u);
    rig.Step(5.0f);
    EXPECT_EQ(p->m_Sprite, 4u);
}

TEST(ParticleUpdate, SetterRefusesMalformedCurvesWithLogLine) {
    ScopedLogCapture log;
    Rig rig;
    const std::vector<Key> before = rig.emitter->GetSizeCurve();
    EXPECT_FALSE(rig.emitter->SetSizeCurve({{0, 1, 1}}));
    EXPECT_FALSE(rig.emitter->SetSizeCurve({{0, 1, 1}, {0.6f, 1, 1}, {0.5f, 1, 1}, {1, 1, 1}}));
    EXPECT_FALSE(rig.emitter->SetSizeCurve({{0, 1, 1}, {0.9f, 1, 1}}));
    EXPECT_FALSE(rig.emitter->SetSizeCurve({{0.1f, 1, 1}, {1, 1, 1}}));
    EXPECT_FALSE(rig.emitter->SetSizeCurve(std::vector<Key>(257, Key{1, 1, 1})));
    EXPECT_FALSE(rig.emitter->SetColorCurve({{0, 1, 1, 1, 1, 1, 1}, {NAN, 1, 1, 1, 1, 1, 1}}));
    EXPECT_EQ(rig.emitter->GetSizeCurve().size(), before.size());
    EXPECT_EQ(log->Count(" E. ParticleEmitter::SetCurve(rig) -> size curve refused: must have 2 to 256 keys"),
              2);
    EXPECT_EQ(log->Count("size curve refused: key times must not fall"), 1);
    EXPECT_EQ(log->Count("size curve refused: keys must run from time 0 to time 1"), 2);
    EXPECT_EQ(log->Count("colour curve refused: keys must run from time 0 to time 1"), 1);
}

// ---------------------------------------------------------------------------
// Bounds on the work of one update.

TEST(ParticleBounds, TakeEmitCountKeepsOnlyTheFractionOfAnOversizedDebt) {
    EmitterDesc desc;
    desc.m_fAccumulator = 2.5e8f + 0.0f;
    EXPECT_EQ(ParticleEmitter::TakeEmitCount(desc), ParticleEmitter::kMaxEmitPerUpdate);
    desc.m_fAccumulator -= float(ParticleEmitter::kMaxEmitPerUpdate);
    EXPECT_LT(desc.m_fAccumulator, 1.0f);

    desc.m_fAccumulator = 12.75f;
    EXPECT_EQ(ParticleEmitter::TakeEmitCount(desc), 12u);
    EXPECT_EQ(desc.m_fAccumulator, 12.75f);  // the caller subtracts

    desc.m_EmittedThisUpdate = ParticleEmitter::kMaxEmitPerUpdate - 3;
    desc.m_fAccumulator = 10.5f;
    EXPECT_EQ(ParticleEmitter::TakeEmitCount(desc), 3u);
    EXPECT_FLOAT_EQ(desc.m_fAccumulator, 3.5f);

    desc.m_EmittedThisUpdate = 0;
    for (float bad : {INFINITY, NAN, -5.0f, 0.5f}) {
        desc.m_fAccumulator = bad;
        const u32 n = ParticleEmitter::TakeEmitCount(desc);
        EXPECT_LE(n, ParticleEmitter::kMaxEmitPerUpdate) << bad;
    }
}

TEST(ParticleBounds, FullDescriptorRefusesAndReturnsTheSlot) {
    Rig rig;
    rig.desc.m_Count = ParticleEmitter::kMaxParticlesPerDesc;
    const u32 live = ParticleAllocator::GetLiveCount();
    Particle* p = rig.emitter->GenerateParticle(0);
    EXPECT_FALSE(rig.emitter->AddParticle(rig.desc, p));
    EXPECT_EQ(ParticleAllocator::GetLiveCount(), live);
    EXPECT_EQ(rig.desc.m_pFirst, nullptr);
    EXPECT_FALSE(rig.emitter->AddParticle(rig.desc, nullptr));
    rig.desc.m_Count = 0;
}

// ---------------------------------------------------------------------------
// Affectors.

TEST(ParticleAffectors, RunAtTheirFrequencyWithOneTimeValuePerUpdate) {
    Rig rig;
    TestAffector* a = new TestAffector;
    ASSERT_EQ(rig.emitter->InsertObject(a, 0, 1, nullptr), 0);
    rig.Add()->m_fLife = 100;
    rig.Step(0.1f, 1.0f);
    EXPECT_EQ(a->m_Times, (std::vector<float>(4, 1.0f + 4.0f / 40.0f)));
    a->m_Times.clear();
    rig.Step(0.01f, 1.0f);  // (40.4 - 40) ticks: none
    EXPECT_TRUE(a->m_Times.empty());
    a->SetUpdateFrequency(0.0f);
    rig.Step(1.0f, 2.0f);
    EXPECT_TRUE(a->m_Times.empty());
    a->SetUpdateFrequency(1e12f);  // capped, not hung
    rig.Step(1.0f, 3.0f);
    EXPECT_EQ(a->m_Times.size(), size_t(ParticleAffector::kMaxApplicationsPerUpdate));
    a->SetUpdateFrequency(-40.0f);
    a->m_Times.clear();
    rig.Step(1.0f, 3.0f);
    EXPECT_TRUE(a->m_Times.empty());
}

TEST(ParticleAffectors, TouchOnlyParticlesInsideTheirLifeWindow) {
    Rig rig;
    TestAffector* a = new TestAffector;
    a->SetPartLifeStart(0.5f);
    rig.emitter->InsertObject(a, 0, 1, nullptr);
    rig.emitter->SetAddOrder(1);
    Particle* young = rig.Add();
    Particle* old = rig.Add();
    young->m_fLife = 10;
    old->m_fLife = 1;
    rig.Step(0.6f, 0.0f);
    EXPECT_EQ(young->m_fVX, 0.0f);
    EXPECT_GT(old->m_fVX, 0.0f);
}

// ---------------------------------------------------------------------------
// Drawing, on the offscreen context: the quads are read from the batch.

namespace {
class ParticleRender : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = 64;
        s.windowed = true;
        m_pSurface.reset(CreateOffscreenSurface());
        ASSERT_TRUE(Graphics::Init(m_pSurface.get(), s));
        ASSERT_TRUE(Graphics::BeginRendering());
        Graphics::SetRenderMode(RENDER_2D);
        Graphics::SetProjection2D(64, 64);
        m_pTexture = new Texture("particles.tga");
        ASSERT_TRUE(m_pTexture->InitEmptyTexture(8, 4, false));
        m_Rig.emitter->SetTexture(m_pTexture);
        Graphics::SetTexture(m_pTexture->GetTexHandle());
        Graphics::SetBlendingMode(BLEND_ALPHA);
        Graphics::_FlushRender();
        Graphics::ResetDebugCounters();
    }
    void TearDown() override {
        m_Rig.emitter->SetTexture(nullptr);
        Graphics::ShutDown();
        m_pSurface.reset();
    }
    const BasicVertex* Quad(int i) const { return Graphics::Globals::g_LockedQuadBuffer + 4 * i; }

    std::unique_ptr<GLSurface> m_pSurface;
    Texture* m_pTexture = nullptr;
    Rig m_Rig;
};
}  // namespace

TEST_F(ParticleRender, OneBatchedSpritePerParticleHeadToTail) {
    m_Rig.emitter->SetAddOrder(0);
    for (int i = 0; i < 100; ++i) m_Rig.Add(float(i), 10);
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.5f, 1.0f);
    EXPECT_EQ(Graphics::Globals::g_BufferPos, 400);
    EXPECT_EQ(Graphics::GetDebugCounters().flushes, 0u);
    // Add order 0: the newest particle (x 99) is drawn first, under the others.
    EXPECT_FLOAT_EQ(Quad(0)[0].x, 99.0f - 4.0f);
    EXPECT_FLOAT_EQ(Quad(99)[0].x, 0.0f - 4.0f);
    EXPECT_FLOAT_EQ(Quad(0)[0].z, 0.5f);
    // Alpha 255 at power 1 gives 0xFF in the top byte.
    EXPECT_EQ(u32(Quad(0)[0].color) >> 24, 0xFFu);
}

TEST_F(ParticleRender, PowerScalesAlphaAndXStretchWidensTheSprite) {
    m_Rig.emitter->SetXStretch(2.0f);
    ASSERT_TRUE(m_Rig.emitter->SetColorCurve(
        {{0, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40}, {1, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40}}));
    m_Rig.Add(20, 20);
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.0f, 0.5f);
    const BasicVertex* q = Quad(0);
    EXPECT_EQ(u32(q[0].color), 0x7F404040u);
    EXPECT_FLOAT_EQ(q[1].x - q[0].x, 16.0f);  // 8 texels x size 1 x stretch 2
    EXPECT_FLOAT_EQ(q[3].y - q[0].y, 4.0f);
    EXPECT_FLOAT_EQ(q[0].x, 20.0f - 8.0f);
}

TEST_F(ParticleRender, RotationModeZeroIgnoresSpin) {
    ASSERT_TRUE(m_Rig.emitter->SetSpinCurve({{0, 1, 1}, {1, 1, 1}}));
    m_Rig.Add(20, 20);
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(Quad(0)[0].y, Quad(0)[1].y);
    m_Rig.emitter->SetRotationMode(1);
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.0f, 1.0f);
    EXPECT_NE(Quad(1)[0].y, Quad(1)[1].y);
}

TEST_F(ParticleRender, WithoutTextureParticlesLiveButAreNotDrawn) {
    m_Rig.emitter->SetTexture(nullptr);
    m_Rig.Add();
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.0f, 1.0f);
    EXPECT_EQ(Graphics::Globals::g_BufferPos, 0);
    EXPECT_EQ(m_Rig.Step(0.1f), 1u);
}

TEST_F(ParticleRender, HugeColourValuesStayDefined) {
    ASSERT_TRUE(m_Rig.emitter->SetAlphaCurve({{0, 1e20f, 1e20f}, {1, -1e20f, -1e20f}}));
    ASSERT_TRUE(m_Rig.emitter->SetColorCurve({{0, NAN, NAN, 1e12f, 1e12f, -3, -3}, {1, 0, 0, 0, 0, 0, 0}}));
    m_Rig.Add();
    m_Rig.emitter->RenderParticles(m_Rig.desc, 0.0f, 1.0f);
    // The batch holds GL byte order (red and blue exchanged): blue -3 keeps
    // its low byte, a NaN red gives 0, a huge alpha saturates.
    const u32 c = u32(Quad(0)[0].color);
    EXPECT_EQ((c >> 16) & 0xFFu, 0xFDu);
    EXPECT_EQ(c & 0xFFu, 0u);
    EXPECT_EQ(c >> 24, 0xFFu);
}
