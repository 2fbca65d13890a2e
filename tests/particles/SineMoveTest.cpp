// The sine-move instance: its path over time, the centre behind
// Get/SetPosition, emission along the path, and its lifetime.
#include <gtest/gtest.h>

#include <cmath>
#include <list>
#include <string>

#include <zyn/core/Property.h>
#include <zyn/particles/PartFXSineMoveInstance.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/SimpleEmitter.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

// An effect whose one emitter makes still particles exactly where the
// instance stands, 16 per second, living `life` seconds.
Ref<ParticleEffect> StillTrailEffect(float life) {
    Ref<ParticleEffect> effect(new ParticleEffect("trail"));
    SimpleEmitter* e = new SimpleEmitter("dots");
    e->SetEmittRate(16.0f);
    e->SetSpeedMin(Point2D<float>());
    e->SetSpeedMax(Point2D<float>());
    e->SetEmittEnd(1000.0f);
    e->SetPartLifeMin(life);
    e->SetPartLifeMax(life);
    e->SetAddOrder(1);
    effect->InsertObject(e, ParticleEffect::kEmitters, 1, nullptr);
    effect->SetEffectTime(1000.0f);
    return effect;
}

// Where the path puts the instance at time t, in double precision.
Point2D<float> PathAt(double t, Point3D<float> c, Point2D<float> r, Point2D<float> period,
                      Point2D<float> off) {
    const double twoPi = 6.283185307179586;
    return Point2D<float>(float(c.x + r.x * std::sin(twoPi * (t + off.x) / period.x)),
                          float(c.y + r.y * std::cos(twoPi * (t + off.y) / period.y)));
}

}  // namespace

TEST(SineMove, QuarterPeriodsOfTheUnitCircleAroundTheCentre) {
    Ref<ParticleEffect> effect = StillTrailEffect(1.0f);
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance("i", Point3D<float>(300, 200, 0.5f),
                                                             Point2D<float>(100, 100), Point2D<float>(1, 1),
                                                             Point2D<float>(0, 0), -1.0f, false));
    effect->InsertObject(i.Get(), -1, 0, nullptr);
    i->Update(0.0f);  // time 0: straight below the centre (cos 0 = 1)
    Point3D<float> at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 300.0f, 1e-4f);
    EXPECT_NEAR(at.y, 300.0f, 1e-4f);
    EXPECT_EQ(at.z, 0.5f);
    i->Update(0.25f);  // a quarter: to the right
    at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 400.0f, 1e-4f);
    EXPECT_NEAR(at.y, 200.0f, 1e-4f);
    i->Update(0.25f);  // a half: above
    at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 300.0f, 1e-4f);
    EXPECT_NEAR(at.y, 100.0f, 1e-4f);
    EXPECT_FLOAT_EQ(i->GetMoveTime(), 0.5f);
}

TEST(SineMove, FollowsTheLissajousPathWithItsOwnPeriodsAndPhases) {
    const Point3D<float> c(512, 393, 0);
    const Point2D<float> r(120, 40), period(3, 1.5f), off(0.4f, -0.2f);
    Ref<ParticleEffect> effect = StillTrailEffect(1.0f);
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance("i", c, r, period, off, -1.0f, false));
    effect->InsertObject(i.Get(), -1, 0, nullptr);
    float t = 0.0f;
    for (int step = 0; step < 200; ++step) {
        const float dt = 0.01f + 0.005f * float(step % 7);
        i->Update(dt);
        t += dt;
        const Point2D<float> expected = PathAt(double(t), c, r, period, off);
        const Point3D<float> at = i->ParticleEffectInstance::GetPosition();
        ASSERT_NEAR(at.x, expected.x, 1e-3f) << step;
        ASSERT_NEAR(at.y, expected.y, 1e-3f) << step;
    }
    EXPECT_FALSE(i->IsFinished());  // no lifetime: plays on
}

TEST(SineMove, ParticlesAreBornAtTheMovingPositionAndStayBehind) {
    Ref<ParticleEffect> effect = StillTrailEffect(10.0f);
    const Point3D<float> c(100, 100, 0);
    const Point2D<float> r(50, 50), period(2, 2), off(0, 0);
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance("i", c, r, period, off, -1.0f, false));
    effect->InsertObject(i.Get(), -1, 0, nullptr);
    // One particle per 1/16 s step, born where the instance stands then.
    for (int step = 1; step <= 16; ++step) i->Update(0.0625f);
    const std::vector<Particle*> trail = ListOf(*i->GetEmitterDesc(0));
    ASSERT_EQ(trail.size(), 16u);
    for (size_t k = 0; k < trail.size(); ++k) {
        const Point2D<float> expected = PathAt(0.0625 * double(k + 1), c, r, period, off);
        EXPECT_NEAR(trail[k]->m_fX, expected.x, 1e-3f) << k;
        EXPECT_NEAR(trail[k]->m_fY, expected.y, 1e-3f) << k;
    }
}

TEST(SineMove, SetPositionMovesTheOrbitNotTheDrawnPositionAndNeverAutoRotates) {
    Ref<ParticleEffect> effect = StillTrailEffect(1.0f);
    effect->SetDefaultAutoRotate(true);
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance("i", Point3D<float>(0, 0, 0),
                                                             Point2D<float>(10, 10), Point2D<float>(1, 1),
                                                             Point2D<float>(0, 0), -1.0f, false));
    effect->InsertObject(i.Get(), -1, 0, nullptr);
    ASSERT_TRUE(i->GetAutoRotateToMotion());
    ScopedLogCapture log;
    i->Update(0.25f);
    i->SetPosition(Point3D<float>(500, 600, 0.25f));
    EXPECT_EQ(i->GetPosition(), Point3D<float>(500, 600, 0.25f));
    Point3D<float> at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 10.0f, 1e-4f);  // unchanged until the next update
    i->Update(0.25f);
    at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 500.0f, 1e-3f);
    EXPECT_NEAR(at.y, 590.0f, 1e-3f);
    EXPECT_EQ(at.z, 0.25f);
    EXPECT_EQ(i->GetRotation(), 0.0f);
    EXPECT_FALSE(log->Contains("Updaing position"));
}

TEST(SineMove, LifetimeEndsEmissionThenTheInstanceLeavesWithItsLastParticle) {
    Ref<ParticleEffect> effect = StillTrailEffect(0.5f);
    PartFXSineMoveInstance* i =
        new PartFXSineMoveInstance("i", Point3D<float>(100, 100, 0), Point2D<float>(10, 10),
                                   Point2D<float>(1, 1), Point2D<float>(0, 0), 2.0f, true);
    effect->InsertObject(i, -1, 0, nullptr);  // held by the effect alone
    ASSERT_EQ(effect->GetActiveGroup().GetList().size(), 1u);
    int updates = 0;
    size_t lastCount = 0;
    while (!effect->GetActiveGroup().GetList().empty() && updates < 100) {
        i->Update(0.125f);
        ++updates;
        if (effect->GetActiveGroup().GetList().empty()) break;
        const size_t count = ListOf(*i->GetEmitterDesc(0)).size();
        if (updates <= 15) {
            EXPECT_FALSE(i->IsFinished()) << updates;
        }
        if (updates >= 16) {
            // 2 s have passed: no particle is born any more.
            EXPECT_TRUE(i->IsFinished()) << updates;
            EXPECT_TRUE(i->IsKilled());
            EXPECT_LE(count, lastCount) << updates;
        }
        lastCount = count;
    }
    // The last particles (life 0.5 s) are gone four or five updates later,
    // and the instance with them.
    EXPECT_GE(updates, 19);
    EXPECT_LE(updates, 21);
    EXPECT_TRUE(effect->GetActiveGroup().GetList().empty());
}

TEST(SineMove, LifetimeWithoutRemovalStopsEmissionButStays) {
    Ref<ParticleEffect> effect = StillTrailEffect(0.25f);
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance(
        "i", Point3D<float>(), Point2D<float>(1, 1), Point2D<float>(1, 1), Point2D<float>(), 0.5f, false));
    effect->InsertObject(i.Get(), -1, 0, nullptr);
    for (int k = 0; k < 40; ++k) i->Update(0.125f);
    EXPECT_TRUE(i->IsFinished());
    EXPECT_FALSE(i->IsKilled());
    EXPECT_EQ(ListOf(*i->GetEmitterDesc(0)).size(), 0u);
    EXPECT_EQ(effect->GetActiveGroup().GetList().size(), 1u);
    EXPECT_FLOAT_EQ(i->GetMoveTime(), 5.0f);  // still moving
}

TEST(SineMove, ZeroPeriodHoldsTheAxisInsteadOfGoingToNaN) {
    Ref<PartFXSineMoveInstance> i(new PartFXSineMoveInstance("i", Point3D<float>(10, 20, 0),
                                                             Point2D<float>(5, 5), Point2D<float>(0, 0),
                                                             Point2D<float>(), -1.0f, false));
    i->Update(0.3f);
    const Point3D<float> at = i->ParticleEffectInstance::GetPosition();
    EXPECT_EQ(at.x, 10.0f);
    EXPECT_EQ(at.y, 25.0f);
}

TEST(SineMove, ClassRecordFactoryAndProperties) {
    Class* cls = Class::FindClass("PartFXSineMoveInstance");
    ASSERT_EQ(cls, &PartFXSineMoveInstance::sm_Class);
    std::list<Class*> parents;
    cls->EnumParentClasses(parents);
    EXPECT_EQ(parents, std::list<Class*>{&ParticleEffectInstance::sm_Class});
    Ref<Object> o(cls->CreateInstance("made"));
    PartFXSineMoveInstance* i = ZYN_Cast<PartFXSineMoveInstance, Object>(o.Get());
    ASSERT_NE(i, nullptr);
    IPositionable* pos = ZYN_Cast<IPositionable, Object>(o.Get());
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(pos->GetPosition(), Point3D<float>(100, 100, 0));
    std::vector<std::string> labels;
    for (ValueProperty* p : cls->GetValueProps()) labels.push_back(p->GetName());
    EXPECT_EQ(labels, (std::vector<std::string>{"Radius", "Period", "Offset"}));
    EXPECT_EQ(FindValueProperty(cls, "Radius")->GetValue(o.Get()), "100.00, 100.00");
    EXPECT_EQ(FindValueProperty(cls, "Period")->GetValue(o.Get()), "1.00, 1.00");
    std::string text = "20, 30";
    ASSERT_TRUE(FindValueProperty(cls, "Radius")->SetValue(o.Get(), text));
    // The factory's instance has no lifetime and follows its new radius.
    i->Update(0.25f);
    const Point3D<float> at = i->ParticleEffectInstance::GetPosition();
    EXPECT_NEAR(at.x, 120.0f, 1e-4f);
    EXPECT_NEAR(at.y, 100.0f, 1e-4f);
    EXPECT_FALSE(i->IsFinished());
    // The instance's own properties are inherited.
    EXPECT_NE(FindValueProperty(cls, "Playback Speed"), nullptr);
}
