// Swirling: pushes particles sideways, either around a centre (the instance
// or a fixed scene point, plus an offset) or across their own motion.
#pragma once

#include <zyn/particles/ParticleAffector.h>

namespace Zyn {

class ParAffectorSwirl : public ParticleAffector {
    ZYN_DECLARE_CLASS(ParAffectorSwirl)

public:
    /// Swirl point values; any value other than these bends each particle's
    /// path across its own velocity.
    enum : u32 { kAroundInstance = 0, kAroundScenePoint = 2 };

    explicit ParAffectorSwirl(const char* name);
    ZYN_STATIC_CREATE(ParAffectorSwirl)

    void AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance* instance) override;
    /// Own fields, then the base fields; false when the first value fails.
    bool Save(ObjectSerializator& s) override;
    bool Load(ObjectSerializator& s) override;

    float GetForce() const { return m_fForce; }
    void SetForce(float f) { m_fForce = f; }
    Point2D<float> GetOffset() const { return m_Offset; }
    void SetOffset(Point2D<float> o) { m_Offset = o; }
    u32 GetSwirlPoint() const { return m_SwirlPoint; }
    void SetSwirlPoint(u32 mode) { m_SwirlPoint = mode; }

    static void RegisterProps(Class* cls);

private:
    float m_fForce = 10.0f;
    Point2D<float> m_Offset;
    u32 m_SwirlPoint = kAroundInstance;
};

}  // namespace Zyn
