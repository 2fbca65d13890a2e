#include <zyn/particles/PartFXSineMoveInstance.h>

#include <cmath>

#include <zyn/core/Property.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(PartFXSineMoveInstance, "PartFXSineMoveInstance", &PartFXSineMoveInstance::StaticCreate,
                    nullptr, &PartFXSineMoveInstance::RegisterProps, ParticleEffectInstance)

namespace {

const double kTwoPi = 6.283185307179586;

// radius x wave(2 pi (t + offset) / period). A period of zero, or one that is
// not a number, holds the axis at phase 0 instead of placing the instance
// (and every particle it emits) at NaN.
double Wave(double (*wave)(double), double radius, double t, double offset, double period) {
    if (!(period != 0.0) || !std::isfinite(period)) return radius * wave(0.0);
    return radius * wave(kTwoPi * (t + offset) / period);
}

double Sin(double v) { return std::sin(v); }
double Cos(double v) { return std::cos(v); }

}  // namespace

PartFXSineMoveInstance::PartFXSineMoveInstance(const char* name, Point3D<float> centre, Point2D<float> radius,
                                               Point2D<float> period, Point2D<float> offset, float lifetime,
                                               bool removeWhenDone)
    : ParticleEffectInstance(name, centre),
      m_Centre(centre),
      m_Radius(radius),
      m_Period(period),
      m_Offset(offset),
      m_fLifetime(lifetime),
      m_bRemoveWhenDone(removeWhenDone),
      m_bHasLifetime(lifetime > 0.0f) {}

Object* PartFXSineMoveInstance::StaticCreate(const char* name) {
    return new PartFXSineMoveInstance(name, Point3D<float>(100.0f, 100.0f, 0.0f),
                                      Point2D<float>(100.0f, 100.0f), Point2D<float>(1.0f, 1.0f),
                                      Point2D<float>(0.0f, 0.0f), -1.0f, false);
}

void PartFXSineMoveInstance::RegisterProps(Class* cls) {
    typedef PartFXSineMoveInstance I;
    typedef Point2D<float> P;
    cls->InsertValueProp(new MemberProp<P>("Radius", "Effect radius", &I::m_Radius, 0));
    cls->InsertValueProp(new MemberProp<P>("Period", "Effect period in seconds", &I::m_Period, 0));
    cls->InsertValueProp(new MemberProp<P>("Offset", "Effect motion offset", &I::m_Offset, 0));
}

bool PartFXSineMoveInstance::Update(float dt) {
    if (m_bHasLifetime) {
        if (m_fLifetime > 0.0f) m_fLifetime -= dt;
        // Repeated on every later update, so a Kill(false) from outside
        // cannot bring emission back once the lifetime is over.
        if (m_fLifetime <= 0.0f) Kill(m_bRemoveWhenDone);
    }
    m_fMoveTime += dt;
    // Written straight into the position: auto-rotation to motion, which
    // acts in SetPosition, does not apply to the path.
    const double t = m_fMoveTime;
    m_Position.x = float(double(m_Centre.x) + Wave(&Sin, m_Radius.x, t, m_Offset.x, m_Period.x));
    m_Position.y = float(double(m_Centre.y) + Wave(&Cos, m_Radius.y, t, m_Offset.y, m_Period.y));
    m_Position.z = m_Centre.z;
    // May destroy this instance: nothing may follow.
    return ParticleEffectInstance::Update(dt);
}

}  // namespace Zyn
