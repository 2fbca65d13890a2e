// The abstract base of affectors: objects in an emitter's affector group that
// change the velocities of its live particles at a fixed rate of running time.
// Stateless while playing; all state is in the particles.
#pragma once

#include <zyn/core/Class.h>
#include <zyn/particles/Particle.h>

namespace Zyn {

class ParticleEffectInstance;

class ParticleAffector : public Object {
    ZYN_DECLARE_CLASS(ParticleAffector)

public:
    /// The most applications one update runs; a larger backlog is dropped so
    /// that an absurd frequency cannot hang the frame.
    static constexpr u32 kMaxApplicationsPerUpdate = 1024;

    explicit ParticleAffector(const char* name);

    /// One application to every affected particle of desc.
    virtual void AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance* instance) = 0;

    /// Writes, or reads, the three base fields; false when the first fails.
    bool Save(ObjectSerializator& s) override;
    bool Load(ObjectSerializator& s) override;

    /// Runs the applications that fall into running time (t, t + dt].
    void UpdateAffector(EmitterDesc& desc, float t, float dt, ParticleEffectInstance* instance);

    /// True when the particle's age lies inside the affected window of its life.
    bool IsAffected(const Particle& p) const {
        return p.m_fAge >= p.m_fLife * m_fPartLifeStart && !(p.m_fAge > p.m_fLife * m_fPartLifeEnd);
    }

    float GetUpdateFrequency() const { return m_fUpdateFrequency; }
    void SetUpdateFrequency(float f) { m_fUpdateFrequency = f; }
    float GetPartLifeStart() const { return m_fPartLifeStart; }
    void SetPartLifeStart(float f) { m_fPartLifeStart = f; }
    float GetPartLifeEnd() const { return m_fPartLifeEnd; }
    void SetPartLifeEnd(float f) { m_fPartLifeEnd = f; }

    static void RegisterProps(Class* cls);

protected:
    float m_fUpdateFrequency = 40.0f;  // applications per second
    float m_fPartLifeStart = 0.0f;     // fraction of life
    float m_fPartLifeEnd = 1.0f;
};

}  // namespace Zyn
