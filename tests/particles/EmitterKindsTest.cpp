// The four emitter kinds: emission counts and fans, the order of their rand()
// draws, part-part sources, masks read back from textures, stream layouts,
// class records, duplication and the bound on absurd rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/particles/MaskedRectEmitter.h>
#include <zyn/particles/PartPartEmitter.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/SimpleEmitter.h>
#include <zyn/particles/SprayEmitter.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<unsigned char> Bytes;

// Draws GenerateParticle makes for a default emitter: life, size 0 and 1,
// six colour, alpha 0 and 1, spin 0 and 1.
const int kOwnDraws = 13;
const float kPi = 3.14159265f;

float Draw(int r, float a, float b) { return a + float(r) * 4.656613e-10f * (b - a); }
float Unit(int r) { return float(r) * 4.656613e-10f; }

// The next n values of rand() after srand(seed), leaving the generator seeded
// again so that the code under test draws the same values.
std::vector<int> Sequence(unsigned seed, int n) {
    std::srand(seed);
    std::vector<int> r(size_t(n), 0);
    for (int& v : r) v = std::rand();
    std::srand(seed);
    return r;
}

void FreeAll(EmitterDesc& desc) {
    for (Particle* p : ListOf(desc)) ParticleAllocator::Delete(p);
    desc.m_pFirst = desc.m_pLast = nullptr;
    desc.m_Count = 0;
}

struct DetailGuard {
    explicit DetailGuard(float detail) { ParticleEmitter::ms_ParDetail = detail; }
    ~DetailGuard() { ParticleEmitter::ms_ParDetail = 1.0f; }
};

// An effect of one pass of two seconds with the given emitters, and one
// instance at (200, 300) bound to it.
struct Play {
    explicit Play(std::initializer_list<ParticleEmitter*> emitters, float effectTime = 2.0f, int loops = 0) {
        effect.Reset(new ParticleEffect("fx"));
        effect->SetEffectTime(effectTime);
        effect->SetEffectLoops(loops);
        for (ParticleEmitter* e : emitters) effect->InsertObject(e, ParticleEffect::kEmitters, 1, nullptr);
        instance.Reset(new ParticleEffectInstance("i", Point3D<float>(200.0f, 300.0f, 0.0f)));
        EXPECT_EQ(effect->InsertObject(instance.Get(), -1, 0, nullptr), ParticleEffect::kActive);
    }
    EmitterDesc& Desc(unsigned i = 0) { return *instance->GetEmitterDesc(i); }
    size_t Count(unsigned i = 0) { return ListOf(Desc(i)).size(); }
    void Run(int updates, float dt) {
        for (int i = 0; i < updates; ++i) instance->Update(dt);
    }
    // One particle owed and an empty window: exactly one emission attempt.
    void EmitOne(ParticleEmitter* e, unsigned desc = 0) {
        Desc(desc).m_fAccumulator = 1.0f;
        e->EmittParticles(0.0f, 0.0f, Desc(desc), instance.Get());
    }

    Ref<ParticleEffect> effect;
    Ref<ParticleEffectInstance> instance;
};

Bytes SaveOwn(ParticleEmitter* e) {
    StreamStub out;
    EXPECT_TRUE(e->Save(out));
    return out.Bytes();
}

// The emitter block of a default emitter, as every kind writes it after its
// own fields.
Bytes DefaultBlock() {
    Ref<TestEmitter> e(new TestEmitter("block"));
    Bytes b = SaveOwn(e.Get());
    return Bytes(b.begin() + 4, b.end());
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> ValueLabels(Class* cls) {
    std::vector<std::string> out;
    for (ValueProperty* p : cls->GetValueProps()) out.push_back(p->GetName());
    return out;
}

ValueProperty* Prop(Class* cls, const char* label) {
    ValueProperty* p = FindValueProperty(cls, label);
    EXPECT_NE(p, nullptr) << label;
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Simple emitter.

TEST(SimpleEmitter, EmitsRateTimesDetailPerSecondAtTheInstance) {
    for (float detail : {1.0f, 0.75f}) {
        DetailGuard guard(detail);
        SimpleEmitter* e = new SimpleEmitter("simple");
        e->SetPartLifeMin(10.0f);
        e->SetPartLifeMax(10.0f);
        Play play({e});
        // Sixteen steps of 1/16 s reach the emit end (1 s) exactly.
        play.Run(16, 0.0625f);
        const std::vector<Particle*> list = ListOf(play.Desc());
        EXPECT_EQ(list.size(), detail == 1.0f ? 100u : 75u);
        EXPECT_EQ(play.Desc().m_fAccumulator, 0.0f);
        // Position min = max = (0, 0): every particle is born at the instance;
        // one step of motion at most 10 units per second has moved it since.
        for (Particle* p : list) {
            EXPECT_LE(std::fabs(p->m_fX - 200.0f), 10.0f);
            EXPECT_LE(std::fabs(p->m_fY - 300.0f), 10.0f);
        }
        // Past the emit end nothing more is born.
        play.Run(4, 0.0625f);
        EXPECT_EQ(play.Count(), list.size());
    }
}

TEST(SimpleEmitter, WindowOutsideTheEmitTimesAddsNothingAndFractionsCarry) {
    Ref<SimpleEmitter> e(new SimpleEmitter("simple"));
    e->SetEmittStart(1.0f);
    e->SetEmittEnd(2.0f);
    e->SetEmittRate(10.0f);
    EmitterDesc desc;
    desc.m_pEmitter = e.Get();
    e->EmittParticles(0.0f, 0.5f, desc, nullptr);
    EXPECT_EQ(desc.m_fAccumulator, 0.0f);
    EXPECT_EQ(desc.m_pFirst, nullptr);
    // Only [1, 1.25] counts: 2.5 owed, 2 born, 0.5 carried.
    e->EmittParticles(0.75f, 1.25f, desc, nullptr);
    EXPECT_EQ(ListOf(desc).size(), 2u);
    EXPECT_EQ(desc.m_fAccumulator, 0.5f);
    e->EmittParticles(2.5f, 3.0f, desc, nullptr);
    EXPECT_EQ(desc.m_fAccumulator, 0.5f);
    e->EmittParticles(1.25f, 1.375f, desc, nullptr);
    EXPECT_EQ(ListOf(desc).size(), 3u);
    EXPECT_EQ(desc.m_fAccumulator, 0.75f);
    FreeAll(desc);
}

TEST(SimpleEmitter, DrawsPositionThenSpeedWithTheRotatedAxes) {
    SimpleEmitter* e = new SimpleEmitter("simple");
    e->SetPosMin(Point2D<float>(-5.0f, -6.0f));
    e->SetPosMax(Point2D<float>(5.0f, 6.0f));
    e->SetSpeedMin(Point2D<float>(1.0f, 2.0f));
    e->SetSpeedMax(Point2D<float>(3.0f, 4.0f));
    e->SetAddOrder(1);
    Play play({e});

    // Unrotated: x, y, then vx, vy.
    std::vector<int> r = Sequence(11, kOwnDraws + 5);
    play.EmitOne(e);
    Particle* p = play.Desc().m_pLast;
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->m_fX, 200.0f + Draw(r[13], -5, 5));
    EXPECT_FLOAT_EQ(p->m_fY, 300.0f + Draw(r[14], -6, 6));
    EXPECT_FLOAT_EQ(p->m_fVX, Draw(r[15], 1, 3));
    EXPECT_FLOAT_EQ(p->m_fVY, Draw(r[16], 2, 4));
    EXPECT_EQ(p->m_fAngle, 0.0f);
    EXPECT_EQ(std::rand(), r[17]);

    // Rotated by 0.5: y before x for both, local x along (c, s), local y along (s, -c).
    const float theta = 0.5f, c = std::cos(theta), s = std::sin(theta);
    play.instance->SetRotation(theta);
    r = Sequence(12, kOwnDraws + 5);
    play.EmitOne(e);
    p = play.Desc().m_pLast;
    const float ly = Draw(r[13], -6, 6), lx = Draw(r[14], -5, 5);
    const float wy = Draw(r[15], 2, 4), wx = Draw(r[16], 1, 3);
    EXPECT_NEAR(p->m_fX, 200.0f + lx * c + ly * s, 1e-4f);
    EXPECT_NEAR(p->m_fY, 300.0f + lx * s - ly * c, 1e-4f);
    EXPECT_NEAR(p->m_fVX, wx * c + wy * s, 1e-5f);
    EXPECT_NEAR(p->m_fVY, wx * s - wy * c, 1e-5f);
    EXPECT_FLOAT_EQ(p->m_fAngle, theta);
    EXPECT_EQ(std::rand(), r[17]);
}

// ---------------------------------------------------------------------------
// Spray emitter.

TEST(SprayEmitter, ContinuousDrawsDirectionBeforeTheParticleThenDistanceAndSpeed) {
    SprayEmitter* e = new SprayEmitter("spray");
    e->SetDistMin(10.0f);
    e->SetDistMax(20.0f);
    e->SetSpeedMin(50.0f);
    e->SetSpeedMax(150.0f);
    Play play({e});
    const float theta = 0.25f;
    play.instance->SetRotation(theta);
    const std::vector<int> r = Sequence(21, kOwnDraws + 4);
    play.EmitOne(e);
    Particle* p = play.Desc().m_pFirst;
    ASSERT_NE(p, nullptr);
    const float a = theta + Draw(r[0], -kPi / 4, kPi / 4);
    const float d = Draw(r[14], 10, 20), v = Draw(r[15], 50, 150);
    EXPECT_NEAR(p->m_fX, 200.0f + d * std::sin(a), 1e-4f);
    EXPECT_NEAR(p->m_fY, 300.0f - d * std::cos(a), 1e-4f);
    EXPECT_NEAR(p->m_fVX, v * std::sin(a), 1e-3f);
    EXPECT_NEAR(p->m_fVY, -v * std::cos(a), 1e-3f);
    EXPECT_FLOAT_EQ(p->m_fAngle, theta);
    EXPECT_EQ(std::rand(), r[16]);
}

TEST(SprayEmitter, BurstFiresAnEvenFanEveryPeriodFromAngleMin) {
    SprayEmitter* e = new SprayEmitter("spray");
    e->SetEmittRate(0.5f);
    e->SetBurstParticles(8);
    e->SetEmittEnd(4.0f);
    e->SetPartLifeMin(10.0f);
    e->SetPartLifeMax(10.0f);
    e->SetAddOrder(1);
    std::string minText = "-90", maxText = "90";
    ASSERT_TRUE(Prop(e->GetClass(), "Angle Min")->SetValue(e, minText));
    ASSERT_TRUE(Prop(e->GetClass(), "Angle Max")->SetValue(e, maxText));
    Play play({e}, 4.0f);
    // The detail level does not thin bursts.
    DetailGuard guard(0.75f);

    std::vector<size_t> born;
    size_t before = 0;
    for (int i = 0; i < 16; ++i) {
        play.instance->Update(0.125f);
        born.push_back(play.Count() - before);
        before = play.Count();
    }
    // A fresh descriptor bursts at once, then every half second of effect time.
    EXPECT_EQ(born, (std::vector<size_t>{8, 0, 0, 0, 8, 0, 0, 0, 8, 0, 0, 0, 8, 0, 0, 0}));

    // The first fan: angle min + k x 180 / 8 degrees, the last short of angle max.
    const std::vector<Particle*> list = ListOf(play.Desc());
    for (int k = 0; k < 8; ++k) {
        const Particle* p = list[size_t(k)];
        const float expected = -kPi / 2 + float(k) * kPi / 8;
        EXPECT_NEAR(std::atan2(p->m_fVX, -p->m_fVY), expected, 1e-4f) << k;
        EXPECT_NEAR(std::hypot(p->m_fVX, p->m_fVY), 100.0f, 1e-3f);
    }
}

TEST(SprayEmitter, BurstWithoutAPositiveRateFiresOnceEvenOutsideTheWindow) {
    Ref<SprayEmitter> e(new SprayEmitter("spray"));
    e->SetEmittRate(0.0f);
    e->SetBurstParticles(3);
    e->SetEmittStart(5.0f);
    EmitterDesc desc;
    desc.m_pEmitter = e.Get();
    e->EmittParticles(0.0f, 0.1f, desc, nullptr);
    EXPECT_EQ(ListOf(desc).size(), 3u);
    EXPECT_EQ(desc.m_fAccumulator, 1.0f);
    for (int i = 0; i < 100; ++i) e->EmittParticles(5.0f + float(i), 6.0f + float(i), desc, nullptr);
    EXPECT_EQ(ListOf(desc).size(), 3u);
    FreeAll(desc);
}

// ---------------------------------------------------------------------------
// Part-part emitter.

namespace {
// A simple emitter that never emits by itself (the source), then a part-part
// emitter reading it; the source's particles are placed by hand.
struct PartPartRig {
    PartPartRig() : source(new SimpleEmitter("source")), pp(new PartPartEmitter("pp")), play({source, pp}) {
        source->SetEmittRate(0.0f);
        pp->SetEmitter(0);
    }
    Particle* AddSource(float age, float x, float y, float angle, float spin = 0.0f) {
        Particle* q = source->GenerateParticle(0.0f);
        q->m_fAge = age;
        q->m_fX = x;
        q->m_fY = y;
        q->m_fAngle = angle;
        q->m_fSpin = spin;
        EXPECT_TRUE(source->AddParticle(play.Desc(0), q));
        return q;
    }

    SimpleEmitter* source;
    PartPartEmitter* pp;
    Play play;
};
}  // namespace

TEST(PartPartEmitter, EveryQualifyingSourceParticleEmitsTheWholeCount) {
    PartPartRig rig;
    rig.pp->SetPartLifeStart(0.5f);
    rig.pp->SetPartLifeEnd(1.0f);
    rig.pp->SetEmittRate(16.0f);
    rig.pp->SetOffset(Point2D<float>(10.0f, 0.0f));
    rig.pp->SetSpeedMin(5.0f);
    rig.pp->SetSpeedMax(5.0f);
    std::string zero = "0";
    Prop(rig.pp->GetClass(), "Angle Min")->SetValue(rig.pp, zero);
    Prop(rig.pp->GetClass(), "Angle Max")->SetValue(rig.pp, zero);
    // Lives of 1 s: ages 0.5, 0.7 and 1.0 lie in [0.5, 1], 0.2 and 0.4 do not.
    rig.AddSource(0.2f, 0, 0, 0);
    rig.AddSource(0.5f, 20, 0, kPi / 2);
    rig.AddSource(0.7f, 30, 0, 0.25f, 0.25f);
    rig.AddSource(1.0f, 40, 0, 0);
    rig.AddSource(0.4f, 50, 0, 0);

    // 1/8 s at 16 per second: n = 2 for each of the three.
    rig.pp->EmittParticles(0.0f, 0.125f, rig.play.Desc(1), rig.play.instance.Get());
    const std::vector<Particle*> born = ListOf(rig.play.Desc(1));
    ASSERT_EQ(born.size(), 6u);
    EXPECT_EQ(rig.play.Desc(1).m_fAccumulator, 0.0f);
    int fromTurned = 0;
    for (const Particle* p : born) {
        // The source at (20, 0) turned by pi/2: the offset lies along +y and
        // the direction (angle + spin) points along +x.
        if (std::fabs(p->m_fX - 20.0f) < 1e-3f) {
            ++fromTurned;
            EXPECT_NEAR(p->m_fY, 10.0f, 1e-4f);
            EXPECT_NEAR(p->m_fVX, 5.0f, 1e-4f);
            EXPECT_NEAR(p->m_fVY, 0.0f, 1e-4f);
            EXPECT_FLOAT_EQ(p->m_fAngle, kPi / 2);
        } else if (std::fabs(p->m_fX - (30.0f + 10.0f * std::cos(0.5f))) < 1e-3f) {
            EXPECT_NEAR(p->m_fY, 10.0f * std::sin(0.5f), 1e-4f);
            EXPECT_FLOAT_EQ(p->m_fAngle, 0.5f);
        } else {
            EXPECT_NEAR(p->m_fX, 50.0f, 1e-4f);  // (40, 0) turned by 0
            EXPECT_NEAR(p->m_fVY, -5.0f, 1e-4f);
        }
    }
    EXPECT_EQ(fromTurned, 2);
}

TEST(PartPartEmitter, DrawsDirectionThenTheParticleThenSpeed) {
    PartPartRig rig;
    rig.AddSource(0.5f, 0, 0, 0.5f);
    const std::vector<int> r = Sequence(31, kOwnDraws + 3);
    rig.play.EmitOne(rig.pp, 1);
    Particle* p = rig.play.Desc(1).m_pFirst;
    ASSERT_NE(p, nullptr);
    const float a = 0.5f + Draw(r[0], -kPi, kPi);
    const float v = Draw(r[14], 0, 20);
    EXPECT_NEAR(p->m_fVX, v * std::sin(a), 1e-4f);
    EXPECT_NEAR(p->m_fVY, -v * std::cos(a), 1e-4f);
    EXPECT_EQ(std::rand(), r[15]);
}

// A short looping effect makes up to a thousand passes in one update, each
// emitting again; a part-part emitter must not read its whole source on every
// one of them (found by fuzzing: one update of such an effect took seconds).
TEST(PartPartEmitter, ReadsAtMostOneFullSourceListPerUpdate) {
    const u32 kSource = 200000;
    for (const bool looping : {false, true}) {
        SimpleEmitter* source = new SimpleEmitter("source");
        PartPartEmitter* pp = new PartPartEmitter("pp");
        source->SetEmittRate(0.0f);
        pp->SetEmitter(0);
        pp->SetEmittRate(1.0e6f);
        // Young sources never qualify, so every pass reads the whole list.
        pp->SetPartLifeStart(0.9f);
        pp->SetPartLifeEnd(1.0f);
        Play play({source, pp}, looping ? 0.0001f : 100.0f, -1);
        for (u32 i = 0; i < kSource; ++i) {
            Particle* q = source->GenerateParticle(0.0f);
            q->m_fAge = 0.0f;
            q->m_fLife = 10.0f;
            // Placed by hand, not in one update: the per-update bound does not apply.
            play.Desc(0).m_EmittedThisUpdate = 0;
            ASSERT_TRUE(source->AddParticle(play.Desc(0), q));
        }
        for (int update = 0; update < 2; ++update) {
            play.instance->Update(0.15f);
            EXPECT_EQ(play.Desc(1).m_SourceReadThisUpdate,
                      looping ? ParticleEmitter::kMaxParticlesPerDesc : kSource)
                << "looping " << looping << ", update " << update;
            EXPECT_EQ(play.Count(1), 0u);
        }
        EXPECT_EQ(play.Count(0), kSource);
    }
}

TEST(PartPartEmitter, SelfOrMissingSourceEmitsNothingAndKeepsTheAccumulator) {
    PartPartRig rig;
    rig.AddSource(0.5f, 0, 0, 0);
    EmitterDesc& own = rig.play.Desc(1);
    // Particles of its own that would qualify as sources.
    for (int i = 0; i < 3; ++i) {
        Particle* p = rig.pp->GenerateParticle(0.0f);
        p->m_fAge = 0.5f;
        ASSERT_TRUE(rig.pp->AddParticle(own, p));
    }
    for (u32 id : {1u, 2u, 1000u}) {
        rig.pp->SetEmitter(id);
        own.m_fAccumulator = 5.5f;
        rig.pp->EmittParticles(0.0f, 0.5f, own, rig.play.instance.Get());
        EXPECT_EQ(ListOf(own).size(), 3u) << id;
        EXPECT_EQ(own.m_fAccumulator, 5.5f) << id;
    }
    rig.pp->EmittParticles(0.0f, 0.5f, own, nullptr);
    EXPECT_EQ(ListOf(own).size(), 3u);
    // Played for a while naming itself: no growth, no endless walk.
    rig.pp->SetEmitter(1);
    rig.play.Run(8, 0.125f);
    EXPECT_EQ(rig.play.Count(1), 0u);  // its three have aged out, none replaced
}

// ---------------------------------------------------------------------------
// Masked emitter: masks read back from textures on the offscreen context.

namespace {
class MaskedEmitterGL : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = 64;
        s.windowed = true;
        m_pSurface.reset(CreateOffscreenSurface());
        ASSERT_TRUE(Graphics::Init(m_pSurface.get(), s));
        m_Texture.Reset(new Texture("mask.tga"));
        ASSERT_TRUE(m_Texture->InitEmptyTexture(8, 8, false));  // all black
        m_pEmitter = new MaskedRectEmitter("masked");
        m_pEmitter->SetAddOrder(1);
        m_Play.reset(new Play({m_pEmitter}));
    }
    void TearDown() override {
        m_Play.reset();
        m_Texture.Reset();
        Graphics::ShutDown();
        m_pSurface.reset();
    }
    void Fill(unsigned x, unsigned y, unsigned w, unsigned h, Color c) {
        ASSERT_TRUE(Graphics::FillRectTexture(m_Texture->GetTexHandle(), x, y, w, h, c));
    }

    std::unique_ptr<GLSurface> m_pSurface;
    Ref<Texture> m_Texture;
    MaskedRectEmitter* m_pEmitter = nullptr;  // held by the effect
    std::unique_ptr<Play> m_Play;
};
}  // namespace

TEST_F(MaskedEmitterGL, AllBlackMaskEmitsNothingButDrainsTheAccumulator) {
    m_pEmitter->SetMask(m_Texture.Get());
    ASSERT_NE(m_pEmitter->GetMaskImage(), nullptr);
    m_Play->Run(16, 0.0625f);
    EXPECT_EQ(m_Play->Count(), 0u);
    EXPECT_EQ(m_Play->Desc().m_fAccumulator, 0.0f);
}

TEST_F(MaskedEmitterGL, AllWhiteMaskEmitsEveryAttemptWhoseThresholdItPasses) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    m_pEmitter->SetMask(m_Texture.Get());
    // Replays the draws: u, v, threshold; a pixel of 255 passes unless the
    // threshold is 256, 257 or 258; a passing attempt then makes a particle
    // (its own draws and two speeds).
    const int attempts = 100;
    const std::vector<int> r = Sequence(41, attempts * (3 + kOwnDraws + 2));
    size_t expected = 0;
    for (size_t i = 0, k = 0; i < size_t(attempts); ++i) {
        const int threshold = r[k + 2] % 254 + 5;
        k += 3;
        if (255 < threshold) continue;
        ++expected;
        k += kOwnDraws + 2;
    }
    m_Play->Desc().m_fAccumulator = float(attempts);
    m_pEmitter->EmittParticles(0.0f, 0.0f, m_Play->Desc(), m_Play->instance.Get());
    EXPECT_EQ(m_Play->Count(), expected);
    EXPECT_GT(expected, 90u);
    EXPECT_LE(expected, size_t(attempts));
    EXPECT_EQ(m_Play->Desc().m_fAccumulator, 0.0f);
}

TEST_F(MaskedEmitterGL, MaskIsStretchedOverTheRectangleAndReadFromItsThirdByte) {
    // Left half white; the right half has every byte but the third set.
    Fill(0, 0, 4, 8, 0xFFFFFFFF);
    ASSERT_TRUE(Graphics::FillRectTexture(m_Texture->GetTexHandle(), 4, 0, 4, 8, 0xFF00FFFF));
    m_pEmitter->SetMask(m_Texture.Get());
    const Image* mask = m_pEmitter->GetMaskImage();
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(mask->width, 8u);
    ASSERT_EQ(mask->height, 8u);
    EXPECT_EQ(mask->data[2], 255);
    EXPECT_EQ(mask->data[4 * 4 + 2], 0);

    m_pEmitter->SetPosMin(Point2D<float>(-40.0f, -10.0f));
    m_pEmitter->SetPosMax(Point2D<float>(40.0f, 10.0f));
    m_Play->Desc().m_fAccumulator = 400.0f;
    m_pEmitter->EmittParticles(0.0f, 0.0f, m_Play->Desc(), m_Play->instance.Get());
    const std::vector<Particle*> list = ListOf(m_Play->Desc());
    EXPECT_GT(list.size(), 150u);
    EXPECT_LT(list.size(), 250u);
    for (const Particle* p : list) {
        EXPECT_GE(p->m_fX, 200.0f - 40.0f);
        EXPECT_LT(p->m_fX, 200.0f);  // the white half maps to the left half
        EXPECT_GE(p->m_fY, 300.0f - 10.0f);
        EXPECT_LE(p->m_fY, 300.0f + 10.0f);
    }
}

TEST_F(MaskedEmitterGL, SpriteOutOfRangeRunsWithoutMaskWithLogLine) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    m_pEmitter->SetMask(m_Texture.Get());
    ASSERT_NE(m_pEmitter->GetMaskImage(), nullptr);
    ScopedLogCapture log;
    m_pEmitter->SetSprite(5);
    EXPECT_EQ(m_pEmitter->GetMaskImage(), nullptr);
    EXPECT_TRUE(
        log->Contains(" W. MaskedRectEmitter::UpdateMask() -> Can't extract mask - invalid sprite id"));
    // Uniform in the rectangle: every attempt is a particle.
    m_Play->Desc().m_fAccumulator = 50.0f;
    m_pEmitter->EmittParticles(0.0f, 0.0f, m_Play->Desc(), m_Play->instance.Get());
    EXPECT_EQ(m_Play->Count(), 50u);
    // A valid id brings the mask back.
    EXPECT_EQ(m_Texture->RegisterSprite(2, 2, 6, 6), 1);
    m_pEmitter->SetSprite(1);
    ASSERT_NE(m_pEmitter->GetMaskImage(), nullptr);
    EXPECT_EQ(m_pEmitter->GetMaskImage()->width, 4u);
}

TEST_F(MaskedEmitterGL, SpriteReachingPastTheTextureIsClippedAndTheRestIsBlack) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    ASSERT_EQ(m_Texture->RegisterSprite(4, 4, 12, 12), 1);
    m_pEmitter->SetSprite(1);
    m_pEmitter->SetMask(m_Texture.Get());
    const Image* mask = m_pEmitter->GetMaskImage();
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(mask->width, 8u);
    for (u32 y = 0; y < 8; ++y)
        for (u32 x = 0; x < 8; ++x)
            EXPECT_EQ(mask->data[(y * 8 + x) * 4 + 2], x < 4 && y < 4 ? 255 : 0) << x << "," << y;
}

TEST_F(MaskedEmitterGL, DuplicateSharesTheTextureAndRebuildsItsOwnMask) {
    Fill(0, 0, 8, 8, 0xFFFFFFFF);
    m_pEmitter->SetMask(m_Texture.Get());
    Ref<Object> copy(m_pEmitter->DuplicateObject("copy"));
    MaskedRectEmitter* m = ZYN_Cast<MaskedRectEmitter, Object>(copy.Get());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetMask(), m_Texture.Get());
    ASSERT_NE(m->GetMaskImage(), nullptr);
    EXPECT_NE(m->GetMaskImage(), m_pEmitter->GetMaskImage());
    EXPECT_EQ(SaveOwn(m), SaveOwn(m_pEmitter));
}

TEST(MaskedRectEmitter, MaskIndexStaysInsideTheMask) {
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(0.0f, 8), 0u);
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(0.5f, 8), 4u);
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(0.99f, 8), 7u);
    // rand() x 2^-31 reaches exactly 1 for the largest draws.
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(Unit(2147483647), 8), 7u);
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(std::nanf(""), 8), 0u);
    EXPECT_EQ(MaskedRectEmitter::MaskIndex(0.5f, 0), 0u);
}

TEST(MaskedRectEmitter, UnreadableOrHugeMaskRunsWithoutMaskWithLogLine) {
    ScopedLogCapture log;
    Ref<Texture> t(new Texture("nopixels.tga"));
    Ref<MaskedRectEmitter> e(new MaskedRectEmitter("masked"));
    e->SetMask(t.Get());
    EXPECT_EQ(e->GetMaskImage(), nullptr);
    EXPECT_TRUE(log->Contains(" W. Failed to extract mask from texture..."));
    // A sprite table can claim sprites of 65535 x 65535 pixels: refused
    // before any mask of that size is allocated.
    ASSERT_EQ(t->RegisterSprite(0, 0, 65535, 65535), 1);
    log->m_Lines.clear();
    e->SetSprite(1);
    EXPECT_EQ(e->GetMaskImage(), nullptr);
    EXPECT_TRUE(log->Contains(" W. Failed to extract mask from texture..."));
    e->SetMask(nullptr);
    EXPECT_EQ(e->GetMask(), nullptr);
}

// ---------------------------------------------------------------------------
// Stream layouts.

TEST(EmitterKindStream, EachKindWritesItsFieldsBeforeTheEmitterBlock) {
    const Bytes block = DefaultBlock();
    {
        Ref<SimpleEmitter> e(new SimpleEmitter("s"));
        e->SetEmittRate(12.5f);
        e->SetPosMin(Point2D<float>(-1, -2));
        e->SetPosMax(Point2D<float>(3, 4));
        ByteWriter w;
        w.Put(12.5f).Put(-10.0f).Put(-10.0f).Put(10.0f).Put(10.0f).Put(-1.0f).Put(-2.0f).Put(3.0f).Put(4.0f);
        EXPECT_EQ(SaveOwn(e.Get()), Concat(w.bytes, block));
    }
    {
        Ref<SprayEmitter> e(new SprayEmitter("s"));
        std::string degrees = "45";
        ASSERT_TRUE(Prop(e->GetClass(), "Angle Min")->SetValue(e.Get(), degrees));
        EXPECT_NEAR(std::stof(Prop(e->GetClass(), "Angle Min")->GetValue(e.Get())), 45.0f, 1e-3f);
        e->SetDistMin(1);
        e->SetDistMax(2);
        e->SetBurstParticles(7);
        ByteWriter w;
        // Angles in radians in the stream.
        w.Put(100.0f).Put(100.0f).Put(100.0f).Put(45.0f * 0.017453292f).Put(0.78539819f);
        w.Put(1.0f).Put(2.0f).Put(u32(7));
        EXPECT_EQ(SaveOwn(e.Get()), Concat(w.bytes, block));
    }
    {
        Ref<PartPartEmitter> e(new PartPartEmitter("s"));
        e->SetEmitter(3);
        e->SetPartLifeStart(0.25f);
        e->SetOffset(Point2D<float>(5, 6));
        ByteWriter w;
        w.Put(25.0f).Put(0.0f).Put(20.0f).Put(-3.14159274f).Put(3.14159274f).Put(0.25f).Put(1.0f);
        w.Put(u32(3)).Put(5.0f).Put(6.0f);
        EXPECT_EQ(SaveOwn(e.Get()), Concat(w.bytes, block));
    }
    {
        Ref<Texture> t(new Texture("masks\\m.tga"));
        Ref<MaskedRectEmitter> e(new MaskedRectEmitter("s"));
        ByteWriter plain;
        plain.Put(u32(1)).Put(100.0f).Put(0.0f).Put(0.0f).Put(0.0f).Put(0.0f);
        plain.Put(-50.0f).Put(-50.0f).Put(50.0f).Put(50.0f).Put(u32(0)).Put(u8(0));
        EXPECT_EQ(SaveOwn(e.Get()), Concat(plain.bytes, block));
        {
            ScopedLogCapture quiet;  // no GL texture: the mask itself fails
            e->SetMask(t.Get());
        }
        ByteWriter named;
        named.Put(u32(1)).Put(100.0f).Put(0.0f).Put(0.0f).Put(0.0f).Put(0.0f);
        named.Put(-50.0f).Put(-50.0f).Put(50.0f).Put(50.0f).Put(u32(0)).Put(u8(1)).Str("masks\\m.tga");
        EXPECT_EQ(SaveOwn(e.Get()), Concat(named.bytes, block));
        e->SetMask(nullptr);
    }
}

namespace {
// A kind with every own field away from its default, by class name.
Object* MakeKind(const char* cls) {
    Object* o = Class::FindClass(cls)->CreateInstance("kind");
    ParticleEmitter* e = ZYN_Cast<ParticleEmitter, Object>(o);
    e->SetPartLifeMax(2.5f);
    e->SetSpriteMode(1);
    if (SimpleEmitter* s = ZYN_Cast<SimpleEmitter, Object>(o)) {
        s->SetEmittRate(7);
        s->SetSpeedMin(Point2D<float>(1, 2));
        s->SetSpeedMax(Point2D<float>(3, 4));
        s->SetPosMin(Point2D<float>(5, 6));
        s->SetPosMax(Point2D<float>(7, 8));
    } else if (SprayEmitter* s = ZYN_Cast<SprayEmitter, Object>(o)) {
        s->SetEmittRate(7);
        s->SetSpeedMin(1);
        s->SetSpeedMax(2);
        s->SetDistMin(3);
        s->SetDistMax(4);
        s->SetAngleMin(-30);
        s->SetAngleMax(60);
        s->SetBurstParticles(9);
    } else if (PartPartEmitter* s = ZYN_Cast<PartPartEmitter, Object>(o)) {
        s->SetEmittRate(7);
        s->SetSpeedMin(1);
        s->SetSpeedMax(2);
        s->SetAngleMin(-30);
        s->SetAngleMax(60);
        s->SetEmitter(4);
        s->SetPartLifeStart(0.1f);
        s->SetPartLifeEnd(0.9f);
        s->SetOffset(Point2D<float>(5, 6));
    } else if (MaskedRectEmitter* s = ZYN_Cast<MaskedRectEmitter, Object>(o)) {
        s->SetEmittRate(7);
        s->SetSpeedMin(Point2D<float>(1, 2));
        s->SetSpeedMax(Point2D<float>(3, 4));
        s->SetPosMin(Point2D<float>(5, 6));
        s->SetPosMax(Point2D<float>(7, 8));
        ScopedLogCapture quiet;  // sprite 3 of no texture: no mask, logged
        s->SetSprite(3);
    }
    return o;
}

const char* const kKinds[] = {"SimpleEmitter", "SprayEmitter", "PartPartEmitter", "MaskedRectEmitter"};
}  // namespace

TEST(EmitterKindStream, LoadReadsWhatSaveWroteAndDuplicatesMatch) {
    for (const char* kind : kKinds) {
        Ref<Object> original(MakeKind(kind));
        ParticleEmitter* e = ZYN_Cast<ParticleEmitter, Object>(original.Get());
        const Bytes bytes = SaveOwn(e);

        Ref<Object> loaded(Class::FindClass(kind)->CreateInstance("loaded"));
        StreamStub in(bytes);
        EXPECT_TRUE(loaded->Load(in)) << kind;
        EXPECT_TRUE(in.m_File.IsEnd()) << kind;
        EXPECT_EQ(SaveOwn(ZYN_Cast<ParticleEmitter, Object>(loaded.Get())), bytes) << kind;

        Ref<Object> copy(e->DuplicateObject("copy"));
        ASSERT_NE(copy.Get(), nullptr);
        EXPECT_EQ(copy->GetClass(), original->GetClass()) << kind;
        EXPECT_EQ(copy->GetName(), "copy");
        EXPECT_EQ(SaveOwn(ZYN_Cast<ParticleEmitter, Object>(copy.Get())), bytes) << kind;
    }
}

TEST(EmitterKindStream, EveryTruncationFailsWithoutReadingPastTheEnd) {
    ScopedLogCapture log;
    for (const char* kind : kKinds) {
        Ref<Object> original(MakeKind(kind));
        const Bytes bytes = SaveOwn(ZYN_Cast<ParticleEmitter, Object>(original.Get()));
        for (size_t n = 0; n < bytes.size(); ++n) {
            Ref<Object> e(Class::FindClass(kind)->CreateInstance("cut"));
            StreamStub in(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)));
            EXPECT_FALSE(e->Load(in)) << kind << " cut at " << n;
        }
    }
    EXPECT_TRUE(log->Contains(" E. SimpleEmitter::Load(cut) -> the stream ends inside the emitter data"));
    EXPECT_TRUE(log->Contains(" E. MaskedRectEmitter::Load(cut) -> the stream ends inside the emitter data"));
}

TEST(EmitterKindStream, MaskedStreamOfAnotherVersionIsRefused) {
    Ref<MaskedRectEmitter> e(new MaskedRectEmitter("m"));
    Bytes bytes = SaveOwn(e.Get());
    bytes[0] = 2;
    Ref<MaskedRectEmitter> loaded(new MaskedRectEmitter("v2"));
    loaded->SetEmittRate(3.0f);
    ScopedLogCapture log;
    StreamStub in(bytes);
    EXPECT_FALSE(loaded->Load(in));
    EXPECT_EQ(loaded->GetEmittRate(), 3.0f);
    EXPECT_TRUE(log->Contains(" E. MaskedRectEmitter::Load(v2) -> unsupported version 2"));
}

TEST(EmitterKindStream, CurveKeyCountBeyondTheStreamFailsCleanly) {
    ScopedLogCapture log;
    for (const char* kind : kKinds) {
        Ref<Object> original(MakeKind(kind));
        Bytes bytes = SaveOwn(ZYN_Cast<ParticleEmitter, Object>(original.Get()));
        // The size curve's key count follows the fixed part of the emitter
        // block: find it as the first 2 after the kind's own fields.
        const size_t block = bytes.size() - DefaultBlock().size();
        const size_t count = block + 4 * 7 + 4 + 4 + 4 * 3;
        ASSERT_EQ(bytes[count], 2) << kind;
        for (u32 claim : {200u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            Bytes bad = bytes;
            std::memcpy(&bad[count], &claim, 4);
            Ref<Object> e(Class::FindClass(kind)->CreateInstance("bad"));
            StreamStub in(bad);
            EXPECT_FALSE(e->Load(in)) << kind << " " << claim;
        }
    }
}

// ---------------------------------------------------------------------------
// Class records.

TEST(EmitterKindClass, RecordsFactoriesAndPropertiesInOrder) {
    const std::vector<std::vector<std::string>> labels = {
        {"Emit Rate", "Speed Min", "Speed Max", "Position Min", "Position Max"},
        {"Emit Rate", "Speed Min", "Speed Max", "Center. Dist. Min", "Center. Dist. Max", "Angle Min",
         "Angle Max", "Burst Particles"},
        {"Emit Rate", "Emitter ID", "Speed Min", "Speed Max", "Angle Min", "Angle Max", "Part. Life Start",
         "Part. Life End", "Offset"},
        {"Emit Rate", "Speed Min", "Speed Max", "Position Min", "Position Max", "Mask Tex.", "Mask Sprite"}};
    for (size_t i = 0; i < 4; ++i) {
        Class* cls = Class::FindClass(kKinds[i]);
        ASSERT_NE(cls, nullptr) << kKinds[i];
        EXPECT_FALSE(cls->IsAbstract());
        std::list<Class*> parents;
        cls->EnumParentClasses(parents);
        EXPECT_EQ(parents, std::list<Class*>{&ParticleEmitter::sm_Class});
        EXPECT_EQ(ValueLabels(cls), labels[i]) << kKinds[i];
        ASSERT_EQ(cls->GetGroupProps().size(), 1u);
        GroupProperty* g = cls->GetGroupProps().front();
        EXPECT_EQ(g->GetName(), "Affectors");
        EXPECT_EQ(g->GetGroup(), 0);
        EXPECT_EQ(g->GetElementClass(), &ParticleAffector::sm_Class);

        Ref<Object> o(cls->CreateInstance("made"));
        ASSERT_NE(o.Get(), nullptr);
        EXPECT_EQ(o->GetClass(), cls);
        EXPECT_EQ(o->GetName(), "made");
        EXPECT_NE((ZYN_Cast<IDuplicatable, Object>(o.Get())), nullptr);
    }
    // The "Mask Tex." property points at textures.
    EXPECT_EQ(Prop(&MaskedRectEmitter::sm_Class, "Mask Tex.")->GetValueClass(), &Texture::sm_Class);
}

// ---------------------------------------------------------------------------
// Absurd rates and steps stay bounded.

TEST(EmitterKindBounds, BillionPerSecondAcrossThousandsOfPassesStaysBounded) {
    const u32 cap = ParticleEmitter::kMaxEmitPerUpdate;
    for (int kind = 0; kind < 5; ++kind) {
        std::vector<ParticleEmitter*> emitters;
        if (kind == 0) {
            SimpleEmitter* e = new SimpleEmitter("simple");
            e->SetEmittRate(1e9f);
            emitters.push_back(e);
        } else if (kind == 1) {
            SprayEmitter* e = new SprayEmitter("spray");
            e->SetEmittRate(1e9f);
            emitters.push_back(e);
        } else if (kind == 2) {
            // Bursts of four billion, one every nanosecond.
            SprayEmitter* e = new SprayEmitter("burst");
            e->SetEmittRate(1e-9f);
            e->SetBurstParticles(0xFFFFFFFFu);
            emitters.push_back(e);
        } else if (kind == 3) {
            MaskedRectEmitter* e = new MaskedRectEmitter("masked");
            e->SetEmittRate(1e9f);
            emitters.push_back(e);
        } else {
            SimpleEmitter* source = new SimpleEmitter("source");
            source->SetEmittRate(1e9f);
            PartPartEmitter* pp = new PartPartEmitter("pp");
            pp->SetEmittRate(1e9f);
            emitters.push_back(source);
            emitters.push_back(pp);
        }
        for (ParticleEmitter* e : emitters) {
            e->SetPartLifeMin(0.2f);
            e->SetPartLifeMax(0.2f);
            e->SetEmittEnd(1e9f);
        }
        // Passes of a tenth of a millisecond, looping forever: one 0.25 s
        // step covers 2500 of them.
        Play play({}, 1e-4f, -1);
        for (ParticleEmitter* e : emitters)
            play.effect->InsertObject(e, ParticleEffect::kEmitters, 1, nullptr);
        for (int step = 0; step < 4; ++step) {
            play.instance->Update(0.25f);
            for (unsigned d = 0; d < emitters.size(); ++d) {
                EXPECT_LE(play.Count(d), cap) << kind;
                EXPECT_LT(play.Desc(d).m_fAccumulator, float(cap) + 1.0f) << kind;
            }
        }
        EXPECT_GT(play.Count(unsigned(emitters.size() - 1)), 0u) << kind;
    }
}
