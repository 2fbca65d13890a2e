// Attraction by steps: every application moves each velocity component a
// fixed amount towards a centre (the instance plus an offset, or a fixed
// scene point), whatever the distance, then scales the velocity.
#pragma once

#include <zyn/particles/ParticleAffector.h>

namespace Zyn {

class ParAffectorGravity : public ParticleAffector {
    ZYN_DECLARE_CLASS(ParAffectorGravity)

public:
    /// Position mode 0 centres on the instance; any other value on the offset alone.
    enum : u32 { kAroundInstance = 0 };

    explicit ParAffectorGravity(const char* name);
    ZYN_STATIC_CREATE(ParAffectorGravity)

    void AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance* instance) override;
    /// Own fields, then the base fields; false when the first value fails.
    bool Save(ObjectSerializator& s) override;
    bool Load(ObjectSerializator& s) override;

    Point2D<float> GetOffset() const { return m_Offset; }
    void SetOffset(Point2D<float> o) { m_Offset = o; }
    Point2D<float> GetStrength() const { return m_Strength; }
    void SetStrength(Point2D<float> s) { m_Strength = s; }
    float GetAccelerate() const { return m_fAccelerate; }
    void SetAccelerate(float a) { m_fAccelerate = a; }
    u32 GetPosMode() const { return m_PosMode; }
    void SetPosMode(u32 mode) { m_PosMode = mode; }

    static void RegisterProps(Class* cls);

private:
    Point2D<float> m_Offset;
    Point2D<float> m_Strength{10.0f, 10.0f};  // velocity change per application and axis
    float m_fAccelerate = 1.0f;               // velocity factor per application
    u32 m_PosMode = kAroundInstance;
};

}  // namespace Zyn
