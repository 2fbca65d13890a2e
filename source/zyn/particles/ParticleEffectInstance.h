// One running playback of a particle effect at a position. It owns the live
// particles of every emitter of its effect (one EmitterDesc each), advances
// the effect's time with looping, asks the emitters to emit, and draws.
// The effect is not owned: it must outlive the binding (an effect that dies
// unbinds its instances first).
#pragma once

#include <vector>

#include <zyn/core/AppObject.h>
#include <zyn/core/Interfaces.h>
#include <zyn/particles/Particle.h>

namespace Zyn {

class ParticleEffect;

class ParticleEffectInstance : public AppObject, public IPositionable {
    ZYN_DECLARE_CLASS(ParticleEffectInstance)

public:
    /// loops left: finished playing, or looping forever.
    enum : s32 { kFinished = -1, kLoopForever = -2 };
    /// Scaled running time wraps to 0 past this many seconds.
    static constexpr float kRunningTimeWrap = 10000.0f;
    /// The most loop passes one update plays; the rest of a longer step is
    /// dropped so that a tiny effect time cannot hang the frame.
    static constexpr u32 kMaxLoopPassesPerUpdate = 1024;

    ParticleEffectInstance(const char* name, Point3D<float> position);
    ~ParticleEffectInstance() override;
    /// The factory places the instance at (100, 100, 0).
    static Object* StaticCreate(const char* name);

    /// Binds and (re)starts the instance. False for null, or (logged) when it
    /// is already bound to another effect.
    bool SetEffect(ParticleEffect* effect);
    /// Borrowed; null when unbound.
    ParticleEffect* GetEffect() const { return m_pEffect; }
    /// With freeParticles, every particle goes back to the pool; then the
    /// instance restarts its effect.
    void Reset(bool freeParticles);
    /// Stops emission; with remove, the instance destroys itself once its
    /// last particle is gone. Kill(false) cancels a pending removal.
    void Kill(bool remove);
    void SetKillWhenDone(bool on) { m_bKillWhenDone = on; }
    bool GetKillWhenDone() const { return m_bKillWhenDone; }

    /// Always true. May destroy the instance (after Kill(true)).
    bool Update(float dt) override;
    bool Render(float dt) override;

    Point3D<float> GetPosition() override { return m_Position; }
    void SetPosition(Point3D<float> position) override;
    /// Moves every live particle, not the instance.
    void OffsetParticles(float dx, float dy);

    /// Borrowed; null when index is out of range.
    EmitterDesc* GetEmitterDesc(unsigned int index);
    unsigned int GetEmitterDescCount() const { return unsigned(m_Descs.size()); }

    float GetScale() const { return m_fScale; }
    void SetScale(float s) { m_fScale = s; }
    float GetPower() const { return m_fPower; }
    void SetPower(float p) { m_fPower = p; }
    float GetPlaybackSpeed() const { return m_fPlaybackSpeed; }
    void SetPlaybackSpeed(float s) { m_fPlaybackSpeed = s; }
    float GetRotation() const { return m_fRotation; }
    void SetRotation(float r) { m_fRotation = r; }
    float GetAutoRotationSpeed() const { return m_fAutoRotationSpeed; }
    void SetAutoRotationSpeed(float s) { m_fAutoRotationSpeed = s; }
    bool GetAutoRotateToMotion() const { return m_bAutoRotateToMotion; }
    void SetAutoRotateToMotion(bool on) { m_bAutoRotateToMotion = on; }
    float GetTime() const { return m_fTime; }
    float GetRunningTime() const { return m_fRunningTime; }
    s32 GetLoopsLeft() const { return m_LoopsLeft; }
    u32 GetParticleCount() const { return m_ParticleCount; }
    bool IsFinished() const { return m_bFinished; }
    bool IsKilled() const { return m_bKilled; }

    static void RegisterProps(Class* cls);

protected:
    friend class ParticleEffect;
    // Called by a dying effect: particles back to the pool, unbound.
    void DetachFromEffect();
    void FreeParticles();
    // EmittParticles of every emitter for effect time [from, to].
    void Emit(float from, float to);

    ParticleEffect* m_pEffect = nullptr;  // not owning
    Point3D<float> m_Position;
    float m_fEffectTime = 0.0f;
    float m_fLoopToTime = 0.0f;
    s32 m_LoopsLeft = kFinished;
    float m_fTime = 0.0f;
    float m_fPlaybackSpeed = 1.0f;
    float m_fAutoRotationSpeed = 0.0f;
    float m_fRotation = 0.0f;
    float m_fRunningTime = 0.0f;
    float m_fScale = 1.0f;
    float m_fPower = 1.0f;
    std::vector<EmitterDesc> m_Descs;
    u32 m_ParticleCount = 0;
    bool m_bAutoRotateToMotion = false;
    bool m_bFinished = false;
    bool m_bKilled = false;
    bool m_bKillWhenDone = false;
};

}  // namespace Zyn
