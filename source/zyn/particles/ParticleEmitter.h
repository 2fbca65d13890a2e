// The abstract base of every emitter: how a particle lives (life span,
// sprites, blending, rotation, gravity, four keyframed curves) independent of
// where it is born. An emitter is shared by every instance of its effect and
// is never changed by playing; all per-instance state is in EmitterDesc.
// Kinds implement EmittParticles with GenerateParticle and AddParticle.
#pragma once

#include <vector>

#include <zyn/core/DynGroupObject.h>
#include <zyn/core/Interfaces.h>
#include <zyn/particles/Particle.h>

namespace Zyn {

class File;
class ParticleAffector;
class ParticleEffectInstance;
class Texture;

class ParticleEmitter : public DynGroupObject, public IDuplicatable {
    ZYN_DECLARE_CLASS(ParticleEmitter)

public:
    /// One key of a curve: time as a fraction of the particle's life, and the
    /// range the key's value is drawn from.
    struct SplineValue {
        float m_fTime;
        float m_fMin;
        float m_fMax;
    };
    /// One key of the colour curve (0-255 scale).
    struct ColorSplineValue {
        float m_fTime;
        float m_fRedMin, m_fRedMax;
        float m_fGreenMin, m_fGreenMax;
        float m_fBlueMin, m_fBlueMax;
    };

    /// A curve's key indices are bytes, so it holds at most this many keys.
    static constexpr u32 kMaxCurveKeys = 256;
    /// The most particles one descriptor takes in one instance update; what a
    /// larger emission owes beyond it is dropped, so no backlog builds up.
    static constexpr u32 kMaxEmitPerUpdate = 65536;
    /// The most live particles one descriptor holds; AddParticle refuses more.
    static constexpr u32 kMaxParticlesPerDesc = 1u << 20;

    explicit ParticleEmitter(const char* name);
    ~ParticleEmitter() override;

    /// Emits the particles owed for effect time [from, to] into desc.
    virtual void EmittParticles(float from, float to, EmitterDesc& desc,
                                ParticleEffectInstance* instance) = 0;

    bool Save(ObjectSerializator& s) override;
    /// False when the stream ends inside the data or a curve is malformed
    /// (logged); a malformed curve keeps its previous keys.
    bool Load(ObjectSerializator& s) override;

    /// A new particle born at effect time t, not yet in a list; position and
    /// velocity are left to the caller. Null when the pool is at its limit:
    /// the caller stops emitting.
    Particle* GenerateParticle(float t);
    /// Links p into desc's list. Returns false, and gives p back to the pool,
    /// when desc is full or has taken its share for this update (or p is null).
    bool AddParticle(EmitterDesc& desc, Particle* p);
    /// Whole particles to emit now out of desc's accumulator, bounded by the
    /// room desc has left; the part beyond the bound is dropped from the
    /// accumulator. The caller subtracts the returned count afterwards.
    static u32 TakeEmitCount(EmitterDesc& desc);
    /// How many more particles desc accepts in this update.
    static u32 GetEmitRoom(const EmitterDesc& desc);
    /// Ages, moves and kills desc's particles, then runs the affectors.
    /// Returns the number of live particles.
    u32 UpdateParticles(float dt, EmitterDesc& desc, float runningTime, ParticleEffectInstance* instance);
    /// One sprite per particle, head to tail, in one batch. Nothing without a texture.
    void RenderParticles(EmitterDesc& desc, float z, float power);
    /// Copies every field (the texture with a new reference, the curves by
    /// value) into target; affectors are not copied.
    void DuplicateEmitter(ParticleEmitter* target);

    /// Takes a reference on the new texture (may be null) and releases the old.
    void SetTexture(Texture* texture);
    /// Borrowed; may be null.
    Texture* GetTexture() const { return m_pTexture; }

    float GetEmittStart() const { return m_fEmittStart; }
    void SetEmittStart(float t) { m_fEmittStart = t; }
    float GetEmittEnd() const { return m_fEmittEnd; }
    void SetEmittEnd(float t) { m_fEmittEnd = t; }
    float GetPartLifeMin() const { return m_fPartLifeMin; }
    void SetPartLifeMin(float t) { m_fPartLifeMin = t; }
    float GetPartLifeMax() const { return m_fPartLifeMax; }
    void SetPartLifeMax(float t) { m_fPartLifeMax = t; }
    u16 GetSpriteMin() const { return m_SpriteMin; }
    void SetSpriteMin(u16 id) { m_SpriteMin = id; }
    u16 GetSpriteMax() const { return m_SpriteMax; }
    void SetSpriteMax(u16 id) { m_SpriteMax = id; }
    u8 GetSpriteMode() const { return m_SpriteMode; }
    void SetSpriteMode(u8 mode) { m_SpriteMode = mode; }
    /// Seconds per sprite frame.
    float GetSpriteAnimSpeed() const { return m_fSpriteFrameTime; }
    void SetSpriteAnimSpeed(float seconds) { m_fSpriteFrameTime = seconds; }
    u32 GetBlendMode() const { return m_BlendMode; }
    void SetBlendMode(u32 mode) { m_BlendMode = mode; }
    u8 GetRotationMode() const { return m_RotationMode; }
    void SetRotationMode(u8 mode) { m_RotationMode = mode; }
    float GetOffsetZ() const { return m_fOffsetZ; }
    void SetOffsetZ(float z) { m_fOffsetZ = z; }
    float GetXStretch() const { return m_fXStretch; }
    void SetXStretch(float s) { m_fXStretch = s; }
    Point2D<float> GetGravity() const { return m_Gravity; }
    void SetGravity(Point2D<float> g) { m_Gravity = g; }
    u8 GetAddOrder() const { return m_AddOrder; }
    void SetAddOrder(u8 order) { m_AddOrder = order; }
    u8 GetColorMode() const { return m_ColorMode; }
    void SetColorMode(u8 mode) { m_ColorMode = mode; }

    const std::vector<SplineValue>& GetSizeCurve() const { return m_SizeCurve; }
    const std::vector<SplineValue>& GetSpinCurve() const { return m_SpinCurve; }
    const std::vector<SplineValue>& GetAlphaCurve() const { return m_AlphaCurve; }
    const std::vector<ColorSplineValue>& GetColorCurve() const { return m_ColorCurve; }
    /// The setters refuse (false, logged) a curve that does not run from
    /// time 0 to time 1 in order with 2 to kMaxCurveKeys keys.
    bool SetSizeCurve(const std::vector<SplineValue>& keys);
    bool SetSpinCurve(const std::vector<SplineValue>& keys);
    bool SetAlphaCurve(const std::vector<SplineValue>& keys);
    bool SetColorCurve(const std::vector<ColorSplineValue>& keys);

    /// Borrowed list of the affectors, in the order they run.
    StdListDynGroup<ParticleAffector>& GetAffectorGroup() { return m_Affectors; }

    static void RegisterProps(Class* cls);

    /// Global detail level: multiplies every emission rate.
    static float ms_ParDetail;

protected:
    float m_fEmittStart = 0.0f;
    float m_fEmittEnd = 1.0f;
    Texture* m_pTexture = nullptr;  // holds a reference
    u16 m_SpriteMin = 0;
    u16 m_SpriteMax = 0;
    float m_fSpriteFrameTime = 0.1f;
    u32 m_BlendMode = 1;
    float m_fOffsetZ = 0.0f;
    float m_fPartLifeMin = 1.0f;
    float m_fPartLifeMax = 1.0f;
    float m_fXStretch = 1.0f;
    Point2D<float> m_Gravity;
    u8 m_RotationMode = 0;
    u8 m_AddOrder = 0;
    u8 m_SpriteMode = 0;
    u8 m_ColorMode = 0;
    std::vector<SplineValue> m_SizeCurve;
    std::vector<SplineValue> m_SpinCurve;
    std::vector<SplineValue> m_AlphaCurve;
    std::vector<ColorSplineValue> m_ColorCurve;
    StdListDynGroup<ParticleAffector> m_Affectors;
};

}  // namespace Zyn
