#include <zyn/particles/ParticleEffect.h>

#include <algorithm>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

namespace {
ResourceManagerBase* GetEffectManagerBase() { return GetCreateEffectManager(); }
}  // namespace

ZYN_IMPLEMENT_CLASS2(ParticleEffect, "ParticleEffect", &ParticleEffect::StaticCreate, &GetEffectManagerBase,
                     &ParticleEffect::RegisterProps, AppObject, IDuplicatable)

ParticleEffect::ParticleEffect(const char* name) : AppObject(name) {
    SetGroupCount(3);
    SetupGroup(kEmitters, &m_Emitters);
    SetupGroup(kActive, &m_Active);
    SetupGroup(kInactive, &m_Inactive);
    m_Emitters.m_Flags = IDynGroup::kHoldRef | IDynGroup::kSave;
}

ParticleEffect::~ParticleEffect() {
    // Instances held elsewhere (an application layer) survive the effect:
    // they must stop pointing at it and at its emitters first.
    std::vector<ParticleEffectInstance*> bound;
    bound.swap(m_BoundInstances);
    for (ParticleEffectInstance* instance : bound) instance->DetachFromEffect();
    ClearGroups();
}

void ParticleEffect::RegisterProps(Class* cls) {
    typedef ParticleEffect E;
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Effect Time", "Time of effect in seconds",
                                                        &E::GetEffectTime, &E::SetEffectTime, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, int>(
        "Loops", "Times the effect will loop. If value is negative then the effect will loop continously.",
        &E::GetEffectLoops, &E::SetEffectLoops, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Effect Reset Time",
                                                        "Time to which effect time is reset when looping",
                                                        &E::GetEffectLoopToTime, &E::SetEffectLoopToTime, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Def. Play Speed",
                                                        "The default playback speed for the instances",
                                                        &E::GetDefaultPlaySpeed, &E::SetDefaultPlaySpeed, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Def. Rotation",
                                                        "The default rotation for the instances",
                                                        &E::GetDefaultRotation, &E::SetDefaultRotation, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Def. Rot. Speed", "The default auto rotation speed for the instances",
                                       &E::GetDefaultRotationSpeed, &E::SetDefaultRotationSpeed, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, bool>(
        "Def. Auto rotate", "If set to true, the instances will auto rotate to motion at default",
        &E::GetDefaultAutoRotate, &E::SetDefaultAutoRotate, 0));
    cls->InsertGroupProp(new GroupProperty("Emitters", "Holds particle emitters for this effect", kEmitters,
                                           &ParticleEmitter::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Active", "Holds active effect instances", kActive,
                                           &ParticleEffectInstance::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Inactive", "Holds inactive effect instances", kInactive,
                                           &ParticleEffectInstance::sm_Class));
}

int ParticleEffect::InsertObject(Object* obj, int group, unsigned int position, void* extra) {
    const int result = DynGroupObject::InsertObject(obj, group, position, extra);
    if (result == -2) return result;
    if (result == kEmitters) {
        ResetInstances();
    } else if (ParticleEffectInstance* instance = ZYN_Cast<ParticleEffectInstance, Object>(obj)) {
        instance->SetEffect(this);
    }
    return result;
}

int ParticleEffect::RemoveObject(Object* obj, int group) {
    // Asked before the removal, which may destroy the emitter. Whatever group
    // index the caller used, an emitter that left must not stay in the
    // instances' descriptors.
    const bool isEmitter = ZYN_Cast<ParticleEmitter, Object>(obj) != nullptr;
    const int result = DynGroupObject::RemoveObject(obj, group);
    if (result > 0 && isEmitter && (group == kEmitters || group == -1 || group == -3)) ResetInstances();
    return result;
}

void ParticleEffect::ResetInstances() {
    for (ParticleEffectInstance* instance : m_Active.GetList()) instance->Reset(true);
    for (ParticleEffectInstance* instance : m_Inactive.GetList()) instance->Reset(true);
}

void ParticleEffect::AttachInstance(ParticleEffectInstance* instance) {
    m_BoundInstances.push_back(instance);
}

void ParticleEffect::DetachInstance(ParticleEffectInstance* instance) {
    auto it = std::find(m_BoundInstances.begin(), m_BoundInstances.end(), instance);
    if (it != m_BoundInstances.end()) m_BoundInstances.erase(it);
}

bool ParticleEffect::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fEffectTime, 1) != 1) return false;
    f->Write32(&m_fLoopToTime, 1);
    f->Write32(&m_Loops, 1);
    f->Write32(&m_fDefaultPlaySpeed, 1);
    f->Write32(&m_fDefaultRotation, 1);
    f->Write32(&m_fDefaultRotationSpeed, 1);
    const u8 autoRotate = m_bDefaultAutoRotate ? 1 : 0;
    f->Write(&autoRotate, 1);
    return DynGroupObject::Save(s);
}

bool ParticleEffect::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f) return false;
    float effectTime = 0, loopToTime = 0, playSpeed = 0, rotation = 0, rotationSpeed = 0;
    s32 loops = 0;
    u8 autoRotate = 0;
    if (f->Read32(&effectTime, 1) != 1 || f->Read32(&loopToTime, 1) != 1 || f->Read32(&loops, 1) != 1 ||
        f->Read32(&playSpeed, 1) != 1 || f->Read32(&rotation, 1) != 1 || f->Read32(&rotationSpeed, 1) != 1 ||
        f->Read(&autoRotate, 1) != 1) {
        LogSend(kLogError, "ParticleEffect::Load(%s) -> the stream ends inside the effect data",
                m_Name.c_str());
        return false;
    }
    m_fEffectTime = effectTime;
    m_fLoopToTime = loopToTime;
    m_Loops = loops;
    m_fDefaultPlaySpeed = playSpeed;
    m_fDefaultRotation = rotation;
    m_fDefaultRotationSpeed = rotationSpeed;
    m_bDefaultAutoRotate = autoRotate != 0;
    return true;
}

Object* ParticleEffect::DuplicateObject(const char* name) {
    ParticleEffect* copy = new ParticleEffect(name);
    copy->m_fEffectTime = m_fEffectTime;
    copy->m_fLoopToTime = m_fLoopToTime;
    copy->m_Loops = m_Loops;
    copy->m_fDefaultPlaySpeed = m_fDefaultPlaySpeed;
    copy->m_fDefaultRotation = m_fDefaultRotation;
    copy->m_fDefaultRotationSpeed = m_fDefaultRotationSpeed;
    copy->m_bDefaultAutoRotate = m_bDefaultAutoRotate;
    for (ParticleEmitter* emitter : m_Emitters.GetList()) {
        Object* dup = emitter->DuplicateObject(emitter->GetName().c_str());
        if (dup && copy->InsertObject(dup, kEmitters, 1, nullptr) == -2) dup->Release();
    }
    return copy;
}

}  // namespace Zyn
