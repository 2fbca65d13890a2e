// The simplest emitter kind: particles born uniformly in a rectangle around
// the instance, with velocities drawn uniformly from a box.
#pragma once

#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

class SimpleEmitter : public ParticleEmitter {
    ZYN_DECLARE_CLASS(SimpleEmitter)

public:
    explicit SimpleEmitter(const char* name);
    ZYN_STATIC_CREATE(SimpleEmitter)

    /// Emits the particles owed for effect time [from, to]: rate x detail per
    /// second inside the emit window, bounded by what desc may take.
    void EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance* instance) override;
    /// A new SimpleEmitter (count 0, owned by the caller) with every field
    /// copied; affectors are not copied.
    Object* DuplicateObject(const char* name) override;
    /// Own fields, then the emitter block; false when the first value fails.
    bool Save(ObjectSerializator& s) override;
    /// False (logged) when the stream ends inside the own fields; then the
    /// result of the emitter block.
    bool Load(ObjectSerializator& s) override;

    float GetEmittRate() const { return m_fEmittRate; }
    void SetEmittRate(float rate) { m_fEmittRate = rate; }
    Point2D<float> GetSpeedMin() const { return m_SpeedMin; }
    void SetSpeedMin(Point2D<float> v) { m_SpeedMin = v; }
    Point2D<float> GetSpeedMax() const { return m_SpeedMax; }
    void SetSpeedMax(Point2D<float> v) { m_SpeedMax = v; }
    Point2D<float> GetPosMin() const { return m_PosMin; }
    void SetPosMin(Point2D<float> p) { m_PosMin = p; }
    Point2D<float> GetPosMax() const { return m_PosMax; }
    void SetPosMax(Point2D<float> p) { m_PosMax = p; }

    static void RegisterProps(Class* cls);

private:
    float m_fEmittRate = 100.0f;  // particles per second
    Point2D<float> m_SpeedMin{-10.0f, -10.0f};
    Point2D<float> m_SpeedMax{10.0f, 10.0f};
    Point2D<float> m_PosMin;
    Point2D<float> m_PosMax;
};

}  // namespace Zyn
