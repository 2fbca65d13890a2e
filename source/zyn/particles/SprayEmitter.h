// A fan of directions around the instance: particles leave the centre (or a
// ring around it) along directions drawn between two angles. With burst
// particles set, the emitter instead fires that many particles at once,
// fanned evenly, every "emit rate" seconds.
#pragma once

#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

class SprayEmitter : public ParticleEmitter {
    ZYN_DECLARE_CLASS(SprayEmitter)

public:
    explicit SprayEmitter(const char* name);
    ZYN_STATIC_CREATE(SprayEmitter)

    /// Continuous: rate x detail particles per second of the emit window.
    /// Burst: desc's accumulator counts down the seconds to the next burst;
    /// the detail level does not scale bursts.
    void EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance* instance) override;
    /// A new SprayEmitter (count 0, owned by the caller); affectors are not copied.
    Object* DuplicateObject(const char* name) override;
    /// Own fields (angles in radians), then the emitter block.
    bool Save(ObjectSerializator& s) override;
    bool Load(ObjectSerializator& s) override;

    float GetEmittRate() const { return m_fEmittRate; }
    void SetEmittRate(float rate) { m_fEmittRate = rate; }
    float GetSpeedMin() const { return m_fSpeedMin; }
    void SetSpeedMin(float v) { m_fSpeedMin = v; }
    float GetSpeedMax() const { return m_fSpeedMax; }
    void SetSpeedMax(float v) { m_fSpeedMax = v; }
    float GetDistMin() const { return m_fDistMin; }
    void SetDistMin(float d) { m_fDistMin = d; }
    float GetDistMax() const { return m_fDistMax; }
    void SetDistMax(float d) { m_fDistMax = d; }
    /// The angle accessors work in degrees; the fields hold radians.
    float GetAngleMin() const { return m_fAngleMin * 57.29578f; }
    void SetAngleMin(float degrees) { m_fAngleMin = degrees * 0.017453292f; }
    float GetAngleMax() const { return m_fAngleMax * 57.29578f; }
    void SetAngleMax(float degrees) { m_fAngleMax = degrees * 0.017453292f; }
    u32 GetBurstParticles() const { return m_BurstParticles; }
    void SetBurstParticles(u32 n) { m_BurstParticles = n; }

    static void RegisterProps(Class* cls);

private:
    void EmittBurst(float start, float end, EmitterDesc& desc, ParticleEffectInstance* instance);

    float m_fEmittRate = 100.0f;  // particles per second, or seconds between bursts
    float m_fSpeedMin = 100.0f;
    float m_fSpeedMax = 100.0f;
    float m_fDistMin = 0.0f;  // distance from the centre at birth
    float m_fDistMax = 0.0f;
    float m_fAngleMin = -0.78539819f;  // radians; 0 points towards -y
    float m_fAngleMax = 0.78539819f;
    u32 m_BurstParticles = 0;
};

}  // namespace Zyn
