// A particle effect: the shared, loaded description of a visual effect (its
// emitters, the length of a pass, looping, and defaults for its instances).
// Loaded through the EffectManager and never updated itself; instances play
// it. Group 0 holds the emitters (saved), groups 1 and 2 the active and the
// parked instances (never saved).
#pragma once

#include <vector>

#include <zyn/core/AppObject.h>
#include <zyn/core/Interfaces.h>

namespace Zyn {

class ParticleEffectInstance;
class ParticleEmitter;

class ParticleEffect : public AppObject, public IDuplicatable {
    ZYN_DECLARE_CLASS(ParticleEffect)

public:
    enum Group { kEmitters = 0, kActive = 1, kInactive = 2 };

    explicit ParticleEffect(const char* name);
    ~ParticleEffect() override;
    ZYN_STATIC_CREATE(ParticleEffect)

    /// An emitter entering group 0 restarts every instance; an instance
    /// entering another group is bound to this effect. Returns the group, or -2.
    int InsertObject(Object* obj, int group, unsigned int position, void* extra) override;
    /// Removing an emitter restarts every instance.
    int RemoveObject(Object* obj, int group) override;
    /// Writes the seven values, then reports the emitters. False when the
    /// first value cannot be written.
    bool Save(ObjectSerializator& s) override;
    /// Reads the seven values; false when the stream ends inside them.
    bool Load(ObjectSerializator& s) override;
    /// A new effect (count 0, owned by the caller) with the values and a copy
    /// of every emitter; instances are not copied.
    Object* DuplicateObject(const char* name) override;

    /// Reset(true) on every active, then every parked instance.
    void ResetInstances();

    float GetEffectTime() const { return m_fEffectTime; }
    void SetEffectTime(float t) { m_fEffectTime = t; }
    float GetEffectLoopToTime() const { return m_fLoopToTime; }
    void SetEffectLoopToTime(float t) { m_fLoopToTime = t; }
    int GetEffectLoops() const { return m_Loops; }
    void SetEffectLoops(int loops) { m_Loops = loops; }
    float GetDefaultPlaySpeed() const { return m_fDefaultPlaySpeed; }
    void SetDefaultPlaySpeed(float s) { m_fDefaultPlaySpeed = s; }
    float GetDefaultRotation() const { return m_fDefaultRotation; }
    void SetDefaultRotation(float r) { m_fDefaultRotation = r; }
    float GetDefaultRotationSpeed() const { return m_fDefaultRotationSpeed; }
    void SetDefaultRotationSpeed(float s) { m_fDefaultRotationSpeed = s; }
    bool GetDefaultAutoRotate() const { return m_bDefaultAutoRotate; }
    void SetDefaultAutoRotate(bool on) { m_bDefaultAutoRotate = on; }

    /// Borrowed lists of the groups.
    StdListDynGroup<ParticleEmitter>& GetEmitterGroup() { return m_Emitters; }
    StdListDynGroup<ParticleEffectInstance>& GetActiveGroup() { return m_Active; }
    StdListDynGroup<ParticleEffectInstance>& GetInactiveGroup() { return m_Inactive; }

    static void RegisterProps(Class* cls);

private:
    friend class ParticleEffectInstance;
    // Instances bound to this effect, wherever they are held; they are
    // unbound when the effect dies so that none is left pointing at it.
    void AttachInstance(ParticleEffectInstance* instance);
    void DetachInstance(ParticleEffectInstance* instance);

    StdListDynGroup<ParticleEmitter> m_Emitters;
    StdListDynGroup<ParticleEffectInstance> m_Active;
    StdListDynGroup<ParticleEffectInstance> m_Inactive;
    float m_fEffectTime = 1.0f;
    float m_fLoopToTime = 0.0f;
    s32 m_Loops = -1;
    float m_fDefaultPlaySpeed = 1.0f;
    float m_fDefaultRotation = 0.0f;
    float m_fDefaultRotationSpeed = 0.0f;
    bool m_bDefaultAutoRotate = false;
    std::vector<ParticleEffectInstance*> m_BoundInstances;
};

}  // namespace Zyn
