// Turbulence: pushes particles by gradient noise sampled at their position,
// optionally animated over time. A share of the particles is skipped at
// random on each application to save noise samples.
#pragma once

#include <zyn/particles/ParticleAffector.h>

namespace Zyn {

class ParAffectorNoise : public ParticleAffector {
    ZYN_DECLARE_CLASS(ParAffectorNoise)

public:
    explicit ParAffectorNoise(const char* name);
    ZYN_STATIC_CREATE(ParAffectorNoise)

    /// One rand() per affected particle decides whether it is pushed.
    void AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance* instance) override;
    /// Own fields, then the base fields; false when the first value fails.
    bool Save(ObjectSerializator& s) override;
    /// False when the force cannot be read, or (logged) when the stream ends
    /// inside the own fields; else the base's result.
    bool Load(ObjectSerializator& s) override;

    Point2D<float> GetForce() const { return m_Force; }
    void SetForce(Point2D<float> f) { m_Force = f; }
    float GetScale() const { return m_fScale; }
    void SetScale(float s) { m_fScale = s; }
    float GetAnimSpeed() const { return m_fAnimSpeed; }
    void SetAnimSpeed(float s) { m_fAnimSpeed = s; }
    u32 GetPercentage() const { return m_Percentage; }
    void SetPercentage(u32 p) { m_Percentage = p; }

    static void RegisterProps(Class* cls);

private:
    Point2D<float> m_Force{10.0f, 10.0f};
    float m_fScale = 0.001f;  // noise units per scene unit
    float m_fAnimSpeed = 0.0f;
    u32 m_Percentage = 50;
};

}  // namespace Zyn
