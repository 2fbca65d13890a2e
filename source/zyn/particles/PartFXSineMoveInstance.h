// An effect instance that moves itself along a Lissajous path around a
// centre: x on a sine, y on a cosine, each with its own radius, period and
// phase. Particles keep the positions they were born at, so they trail
// behind. With a lifetime, emission stops when it runs out.
#pragma once

#include <zyn/particles/ParticleEffectInstance.h>

namespace Zyn {

class PartFXSineMoveInstance : public ParticleEffectInstance {
    ZYN_DECLARE_CLASS(PartFXSineMoveInstance)

public:
    /// A lifetime of 0 or less never runs out.
    PartFXSineMoveInstance(const char* name, Point3D<float> centre, Point2D<float> radius,
                           Point2D<float> period, Point2D<float> offset, float lifetime, bool removeWhenDone);
    /// Centre (100, 100, 0), radius (100, 100), period (1, 1), no offset, no lifetime.
    static Object* StaticCreate(const char* name);

    /// Advances the path, places the instance on it, then plays the effect.
    /// May destroy the instance (lifetime run out with remove when done).
    bool Update(float dt) override;
    /// The centre of the path; the drawn position follows on the next update.
    Point3D<float> GetPosition() override { return m_Centre; }
    void SetPosition(Point3D<float> centre) override { m_Centre = centre; }

    float GetMoveTime() const { return m_fMoveTime; }
    float GetLifetime() const { return m_fLifetime; }

    static void RegisterProps(Class* cls);

private:
    Point3D<float> m_Centre;
    Point2D<float> m_Radius;
    Point2D<float> m_Period;  // seconds per turn, per axis
    Point2D<float> m_Offset;  // seconds added to the time, per axis
    float m_fMoveTime = 0.0f;
    float m_fLifetime;  // seconds left
    bool m_bRemoveWhenDone;
    bool m_bHasLifetime;
};

}  // namespace Zyn
