// The four affectors: what one application does to a velocity, how often
// they apply, which particles they touch, stream layouts and class records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/particles/ParAffectorGravity.h>
#include <zyn/particles/ParAffectorNoise.h>
#include <zyn/particles/ParAffectorSuperGravity.h>
#include <zyn/particles/ParAffectorSwirl.h>
#include <zyn/particles/PerlinNoise.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<unsigned char> Bytes;

// Particles on the stack, linked in order; life 1 s.
struct Swarm {
    explicit Swarm(size_t n) : parts(n) {
        for (size_t i = 0; i < n; ++i) {
            Particle& p = parts[i];
            p.m_fX = p.m_fY = p.m_fVX = p.m_fVY = 0.0f;
            p.m_fAge = 0.5f;
            p.m_fLife = 1.0f;
            p.m_pNext = i + 1 < n ? &parts[i + 1] : nullptr;
        }
        desc.m_pFirst = n ? &parts[0] : nullptr;
        desc.m_pLast = n ? &parts[n - 1] : nullptr;
        desc.m_Count = u32(n);
    }
    Particle& operator[](size_t i) { return parts[i]; }
    void Place(size_t i, float x, float y, float vx = 0, float vy = 0) {
        parts[i].m_fX = x;
        parts[i].m_fY = y;
        parts[i].m_fVX = vx;
        parts[i].m_fVY = vy;
    }

    std::vector<Particle> parts;
    EmitterDesc desc;
};

// An unbound instance at (200, 300) supplies the position.
Ref<ParticleEffectInstance> At200x300() {
    return Ref<ParticleEffectInstance>(new ParticleEffectInstance("i", Point3D<float>(200, 300, 0)));
}

Bytes SaveOwn(Object* a) {
    StreamStub out;
    EXPECT_TRUE(a->Save(out));
    return out.Bytes();
}

const char* const kKinds[] = {"ParAffectorNoise", "ParAffectorSwirl", "ParAffectorGravity",
                              "ParAffectorSuperGravity"};

}  // namespace

// ---------------------------------------------------------------------------
// Application rate and window.

TEST(AffectorTicks, ApplyAtTheirFrequencyWhateverTheFrameRate) {
    Ref<ParAffectorGravity> g(new ParAffectorGravity("g"));
    g->SetStrength(Point2D<float>(1.0f, 0.0f));
    Swarm s(1);
    s.Place(0, -5, 0);  // left of the centre (0, 0): each application adds 1 to vx
    g->SetPosMode(1);
    // 40 per second: a 0.1 s frame holds four applications.
    g->UpdateAffector(s.desc, 0.0f, 0.1f, nullptr);
    EXPECT_EQ(s[0].m_fVX, 4.0f);
    // 64 frames of 1/64 s at 10 per second: exactly ten, most frames none.
    s[0].m_fVX = 0.0f;
    g->SetUpdateFrequency(10.0f);
    int applied = 0;
    for (int i = 0; i < 64; ++i) {
        const float before = s[0].m_fVX;
        g->UpdateAffector(s.desc, float(i) / 64.0f, 1.0f / 64.0f, nullptr);
        applied += s[0].m_fVX != before ? 1 : 0;
    }
    EXPECT_EQ(applied, 10);
    EXPECT_EQ(s[0].m_fVX, 10.0f);
    // Frequency 0 never applies.
    g->SetUpdateFrequency(0.0f);
    g->UpdateAffector(s.desc, 0.0f, 5.0f, nullptr);
    EXPECT_EQ(s[0].m_fVX, 10.0f);
}

TEST(AffectorTicks, TouchOnlyParticlesInsideTheLifeWindow) {
    Ref<ParAffectorSuperGravity> g(new ParAffectorSuperGravity("g"));
    g->SetStrength(0.0f);
    g->SetAccelerate(0.5f);
    g->SetPartLifeStart(0.5f);
    g->SetPartLifeEnd(0.8f);
    Swarm s(4);
    const float ages[] = {0.2f, 0.5f, 0.8f, 0.9f};
    for (size_t i = 0; i < 4; ++i) {
        s[i].m_fAge = ages[i];
        s[i].m_fVX = 8.0f;
    }
    g->AffectParticles(s.desc, 0.0f, nullptr);
    EXPECT_EQ(s[0].m_fVX, 8.0f);  // younger than half its life
    EXPECT_EQ(s[1].m_fVX, 4.0f);
    EXPECT_EQ(s[2].m_fVX, 4.0f);
    EXPECT_EQ(s[3].m_fVX, 8.0f);  // past 0.8 of its life
}

// ---------------------------------------------------------------------------
// One application of each kind.

TEST(ParAffectorGravity, ConstantStepTowardsTheCentreThenScaled) {
    Ref<ParticleEffectInstance> instance = At200x300();
    Ref<ParAffectorGravity> g(new ParAffectorGravity("g"));
    g->SetOffset(Point2D<float>(10, 0));  // centre (210, 300) in mode 0
    g->SetAccelerate(0.5f);
    Swarm s(3);
    s.Place(0, 210, 400, 1, 1);  // level with the centre in x
    s.Place(1, 100, 200, 0, 0);  // left of and above it
    s.Place(2, 1000, 300, 4, 6);
    g->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_EQ(s[0].m_fVX, 0.5f);
    EXPECT_EQ(s[0].m_fVY, (1.0f - 10.0f) * 0.5f);
    EXPECT_EQ(s[1].m_fVX, 5.0f);
    EXPECT_EQ(s[1].m_fVY, 5.0f);
    EXPECT_EQ(s[2].m_fVX, (4.0f - 10.0f) * 0.5f);
    EXPECT_EQ(s[2].m_fVY, 3.0f);
    // Any other position mode: the offset alone is the centre.
    g->SetPosMode(1);
    g->SetAccelerate(1.0f);
    s.Place(0, 10, 0, 0, 0);
    g->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_EQ(s[0].m_fVX, 0.0f);
    EXPECT_EQ(s[0].m_fVY, 0.0f);
}

TEST(ParAffectorSuperGravity, PullsAlongTheLineAndDamps) {
    Ref<ParticleEffectInstance> instance = At200x300();
    Ref<ParAffectorSuperGravity> g(new ParAffectorSuperGravity("g"));
    Swarm s(2);
    s.Place(0, 203, 304, 0, 0);  // 5 units from the instance, direction (-0.6, -0.8)
    s.Place(1, 200, 300, 2, 0);  // on the centre: only scaled
    g->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_FLOAT_EQ(s[0].m_fVX, -6.0f * 0.99f);
    EXPECT_FLOAT_EQ(s[0].m_fVY, -8.0f * 0.99f);
    EXPECT_FLOAT_EQ(s[1].m_fVX, 2.0f * 0.99f);
    EXPECT_EQ(s[1].m_fVY, 0.0f);
    // Strength 0: velocities shrink by 0.99 per application.
    g->SetStrength(0.0f);
    s.Place(0, 0, 0, 100, -50);
    for (int i = 0; i < 10; ++i) g->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_NEAR(s[0].m_fVX, 100.0f * std::pow(0.99f, 10.0f), 1e-3f);
    EXPECT_NEAR(s[0].m_fVY, -50.0f * std::pow(0.99f, 10.0f), 1e-3f);
}

TEST(ParAffectorSwirl, PushesAcrossTheRadiusOrAcrossTheMotion) {
    Ref<ParticleEffectInstance> instance = At200x300();
    Ref<ParAffectorSwirl> w(new ParAffectorSwirl("w"));
    w->SetForce(3.0f);
    w->SetOffset(Point2D<float>(0, 10));
    Swarm s(2);
    // Point 0: centre (200, 310); a particle 10 to its right is pushed down.
    s.Place(0, 210, 310);
    s.Place(1, 200, 310, 1, 1);  // on the centre: unchanged
    w->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_EQ(s[0].m_fVX, 0.0f);
    EXPECT_EQ(s[0].m_fVY, 3.0f);
    EXPECT_EQ(s[1].m_fVX, 1.0f);
    EXPECT_EQ(s[1].m_fVY, 1.0f);
    // Point 2: the offset is a scene point; above it means a push to the right.
    w->SetSwirlPoint(2);
    s.Place(0, 0, 0);
    w->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_EQ(s[0].m_fVX, 3.0f);
    EXPECT_EQ(s[0].m_fVY, 0.0f);
    // Any other value: across the particle's own velocity; a resting one stays.
    w->SetSwirlPoint(1);
    s.Place(0, 5, 5, 4, 0);
    s.Place(1, 5, 5, 0, 0);
    w->AffectParticles(s.desc, 0.0f, instance.Get());
    EXPECT_EQ(s[0].m_fVX, 4.0f);
    EXPECT_EQ(s[0].m_fVY, 3.0f);
    EXPECT_EQ(s[1].m_fVX, 0.0f);
    EXPECT_EQ(s[1].m_fVY, 0.0f);
}

TEST(ParAffectorNoise, AddsNoiseAtThePositionTimesForce) {
    Ref<ParAffectorNoise> n(new ParAffectorNoise("n"));
    n->SetForce(Point2D<float>(2, 3));
    n->SetScale(0.01f);
    n->SetAnimSpeed(0.5f);
    n->SetPercentage(100);
    Swarm s(2);
    s.Place(0, 123.4f, 56.7f, 1, 1);
    s.Place(1, -40.0f, 310.5f, 0, 0);
    n->AffectParticles(s.desc, 2.0f, nullptr);
    for (size_t i = 0; i < 2; ++i) {
        const float x = 0.01f * s[i].m_fX, y = 0.01f * s[i].m_fY;
        const float vx0 = i == 0 ? 1.0f : 0.0f;
        EXPECT_FLOAT_EQ(s[i].m_fVX, vx0 + PerlinNoise::Sample(x, y, 1.0f) * 2.0f);
        EXPECT_FLOAT_EQ(s[i].m_fVY, vx0 + PerlinNoise::Sample(x + 1.0f, y - 1.0f, 10.23f - 1.0f) * 3.0f);
        EXPECT_NE(s[i].m_fVX, vx0);  // the noise is not zero there
    }
}

TEST(ParAffectorNoise, OneDrawPerAffectedParticleDecidesWhetherItIsPushed) {
    Ref<ParAffectorNoise> n(new ParAffectorNoise("n"));
    n->SetForce(Point2D<float>(0, 0));
    n->SetPercentage(100);
    n->SetPartLifeStart(0.5f);
    Swarm s(10);
    for (size_t i = 0; i < 10; ++i) {
        s.Place(i, float(i) * 37.0f, 5.0f, 1, 2);
        s[i].m_fAge = i < 4 ? 0.1f : 0.6f;  // four outside the window
    }
    std::srand(5);
    std::vector<int> r(7);
    for (int& v : r) v = std::rand();
    std::srand(5);
    n->AffectParticles(s.desc, 0.0f, nullptr);
    // Force (0, 0): nothing moves, but each of the six affected drew once.
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(s[i].m_fVX, 1.0f);
        EXPECT_EQ(s[i].m_fVY, 2.0f);
    }
    EXPECT_EQ(std::rand(), r[6]);

    // Percentage 50: pushed when rand() % 100 <= 50.
    n->SetForce(Point2D<float>(1, 1));
    n->SetScale(0.013f);
    n->SetPercentage(50);
    for (size_t i = 0; i < 10; ++i) s.Place(i, float(i) * 37.0f, 5.0f, 0, 0);
    std::srand(9);
    for (int& v : r) v = std::rand();
    std::srand(9);
    n->AffectParticles(s.desc, 0.0f, nullptr);
    for (size_t i = 4; i < 10; ++i) {
        const bool pushed = r[i - 4] % 100 <= 50;
        EXPECT_EQ(s[i].m_fVX != 0.0f, pushed) << i;
    }
}

// ---------------------------------------------------------------------------
// Streams and records.

TEST(AffectorStream, OwnFieldsThenTheBaseFields) {
    ByteWriter base;
    base.Put(20.0f).Put(0.25f).Put(0.75f);
    auto withBase = [](ParticleAffector* a) {
        a->SetUpdateFrequency(20.0f);
        a->SetPartLifeStart(0.25f);
        a->SetPartLifeEnd(0.75f);
    };
    {
        Ref<ParAffectorNoise> a(new ParAffectorNoise("a"));
        withBase(a.Get());
        ByteWriter w;
        w.Put(10.0f).Put(10.0f).Put(0.001f).Put(0.0f).Put(u32(50));
        w.bytes.insert(w.bytes.end(), base.bytes.begin(), base.bytes.end());
        EXPECT_EQ(SaveOwn(a.Get()), w.bytes);
    }
    {
        Ref<ParAffectorSwirl> a(new ParAffectorSwirl("a"));
        withBase(a.Get());
        a->SetSwirlPoint(2);
        ByteWriter w;
        w.Put(10.0f).Put(0.0f).Put(0.0f).Put(u32(2));
        w.bytes.insert(w.bytes.end(), base.bytes.begin(), base.bytes.end());
        EXPECT_EQ(SaveOwn(a.Get()), w.bytes);
    }
    {
        Ref<ParAffectorGravity> a(new ParAffectorGravity("a"));
        withBase(a.Get());
        a->SetOffset(Point2D<float>(1, 2));
        ByteWriter w;
        w.Put(1.0f).Put(2.0f).Put(10.0f).Put(10.0f).Put(1.0f).Put(u32(0));
        w.bytes.insert(w.bytes.end(), base.bytes.begin(), base.bytes.end());
        EXPECT_EQ(SaveOwn(a.Get()), w.bytes);
    }
    {
        Ref<ParAffectorSuperGravity> a(new ParAffectorSuperGravity("a"));
        withBase(a.Get());
        a->SetPosMode(1);
        ByteWriter w;
        w.Put(0.0f).Put(0.0f).Put(10.0f).Put(0.99f).Put(u32(1));
        w.bytes.insert(w.bytes.end(), base.bytes.begin(), base.bytes.end());
        EXPECT_EQ(SaveOwn(a.Get()), w.bytes);
    }
}

TEST(AffectorStream, LoadReadsWhatSaveWroteAndTruncationsFail) {
    ScopedLogCapture log;
    for (const char* kind : kKinds) {
        Ref<Object> a(Class::FindClass(kind)->CreateInstance("a"));
        // Every value away from its default, through the properties.
        for (ValueProperty* p : a->GetClass()->GetValueProps()) {
            std::string text = "3, 4";
            ASSERT_TRUE(p->SetValue(a.Get(), text)) << p->GetName();
        }
        ParticleAffector* pa = ZYN_Cast<ParticleAffector, Object>(a.Get());
        pa->SetUpdateFrequency(12.0f);
        const Bytes bytes = SaveOwn(a.Get());
        Ref<Object> b(Class::FindClass(kind)->CreateInstance("b"));
        StreamStub in(bytes);
        EXPECT_TRUE(b->Load(in)) << kind;
        EXPECT_TRUE(in.m_File.IsEnd());
        EXPECT_EQ(SaveOwn(b.Get()), bytes) << kind;

        for (size_t n = 0; n < 4 * 4; ++n) {
            // Cut inside the own fields (all of them are at least 16 bytes).
            Ref<Object> c(Class::FindClass(kind)->CreateInstance("cut"));
            const Bytes before = SaveOwn(c.Get());
            StreamStub cut(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)));
            EXPECT_FALSE(c->Load(cut)) << kind << " " << n;
            EXPECT_EQ(SaveOwn(c.Get()), before) << kind << " " << n;
        }
    }
    EXPECT_TRUE(
        log->Contains(" E. ParAffectorGravity::Load(cut) -> the stream ends inside the affector data"));
}

TEST(AffectorClass, RecordsFactoriesAndPropertiesInOrder) {
    const std::vector<std::vector<std::string>> labels = {
        {"Force", "Scale", "Anim. Speed", "Percentage"},
        {"Force", "Offset", "Swirl Point"},
        {"Strength", "Offset", "Position Mode", "Accelerate"},
        {"Strength", "Offset", "Position Mode", "Accelerate"}};
    for (size_t i = 0; i < 4; ++i) {
        Class* cls = Class::FindClass(kKinds[i]);
        ASSERT_NE(cls, nullptr);
        std::list<Class*> parents;
        cls->EnumParentClasses(parents);
        EXPECT_EQ(parents, std::list<Class*>{&ParticleAffector::sm_Class});
        std::vector<std::string> own;
        for (ValueProperty* p : cls->GetValueProps()) own.push_back(p->GetName());
        EXPECT_EQ(own, labels[i]) << kKinds[i];
        EXPECT_TRUE(cls->GetGroupProps().empty());
        Ref<Object> o(cls->CreateInstance("made"));
        ASSERT_NE(o.Get(), nullptr);
        EXPECT_EQ(o->GetClass(), cls);
        // The base's three properties reach every kind.
        EXPECT_EQ(FindValueProperty(cls, "Update Frequency")->GetValue(o.Get()), "40.000");
    }
    // Defaults as the factory leaves them.
    Ref<Object> noise(Class::FindClass("ParAffectorNoise")->CreateInstance("n"));
    EXPECT_EQ(FindValueProperty(noise->GetClass(), "Force")->GetValue(noise.Get()), "10.00, 10.00");
    EXPECT_EQ(FindValueProperty(noise->GetClass(), "Percentage")->GetValue(noise.Get()), "50");
}
