// Particles as emitters: every live particle of another emitter of the same
// effect (chosen by its index) whose age lies inside a window of its life
// emits particles of this emitter, oriented by its own angle and spin.
#pragma once

#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

class PartPartEmitter : public ParticleEmitter {
    ZYN_DECLARE_CLASS(PartPartEmitter)

public:
    explicit PartPartEmitter(const char* name);
    ZYN_STATIC_CREATE(PartPartEmitter)

    /// Each qualifying source particle emits the whole count owed for the
    /// window. Emits nothing, leaving the accumulator alone, when the emitter
    /// ID names no descriptor of the instance or names this emitter's own.
    void EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance* instance) override;
    /// A new PartPartEmitter (count 0, owned by the caller); affectors are not copied.
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
    /// The angle accessors work in degrees; the fields hold radians.
    float GetAngleMin() const { return m_fAngleMin * 57.29578f; }
    void SetAngleMin(float degrees) { m_fAngleMin = degrees * 0.017453292f; }
    float GetAngleMax() const { return m_fAngleMax * 57.29578f; }
    void SetAngleMax(float degrees) { m_fAngleMax = degrees * 0.017453292f; }
    /// Index of the source emitter in the effect.
    u32 GetEmitter() const { return m_EmitterID; }
    void SetEmitter(u32 id) { m_EmitterID = id; }
    float GetPartLifeStart() const { return m_fPartLifeStart; }
    void SetPartLifeStart(float f) { m_fPartLifeStart = f; }
    float GetPartLifeEnd() const { return m_fPartLifeEnd; }
    void SetPartLifeEnd(float f) { m_fPartLifeEnd = f; }
    Point2D<float> GetOffset() const { return m_Offset; }
    void SetOffset(Point2D<float> o) { m_Offset = o; }

    static void RegisterProps(Class* cls);

private:
    float m_fEmittRate = 25.0f;  // per source particle and second
    float m_fSpeedMin = 0.0f;
    float m_fSpeedMax = 20.0f;
    float m_fAngleMin = -3.14159274f;  // radians, relative to the source's angle
    float m_fAngleMax = 3.14159274f;
    u32 m_EmitterID = 0;
    float m_fPartLifeStart = 0.0f;  // fractions of the source particle's life
    float m_fPartLifeEnd = 1.0f;
    Point2D<float> m_Offset;  // in the source particle's frame
};

}  // namespace Zyn
