// Attraction along the line: every application adds a fixed amount of
// velocity pointing at the centre (the instance plus an offset, or a fixed
// scene point), then scales the velocity (dampening below 1).
#pragma once

#include <zyn/particles/ParticleAffector.h>

namespace Zyn {

class ParAffectorSuperGravity : public ParticleAffector {
    ZYN_DECLARE_CLASS(ParAffectorSuperGravity)

public:
    /// Position mode 0 centres on the instance; any other value on the offset alone.
    enum : u32 { kAroundInstance = 0 };

    explicit ParAffectorSuperGravity(const char* name);
    ZYN_STATIC_CREATE(ParAffectorSuperGravity)

    void AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance* instance) override;
    /// Own fields, then the base fields; false when the first value fails.
    bool Save(ObjectSerializator& s) override;
    bool Load(ObjectSerializator& s) override;

    Point2D<float> GetOffset() const { return m_Offset; }
    void SetOffset(Point2D<float> o) { m_Offset = o; }
    float GetStrength() const { return m_fStrength; }
    void SetStrength(float s) { m_fStrength = s; }
    float GetAccelerate() const { return m_fAccelerate; }
    void SetAccelerate(float a) { m_fAccelerate = a; }
    u32 GetPosMode() const { return m_PosMode; }
    void SetPosMode(u32 mode) { m_PosMode = mode; }

    static void RegisterProps(Class* cls);

private:
    Point2D<float> m_Offset;
    float m_fStrength = 10.0f;    // velocity added per application
    float m_fAccelerate = 0.99f;  // velocity factor per application
    u32 m_PosMode = kAroundInstance;
};

}  // namespace Zyn
