#include <zyn/particles/ParticleEffectInstance.h>

#include <cmath>

#include <zyn/core/Log.h>
#include <zyn/core/Property.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS2(ParticleEffectInstance, "ParticleEffectInstance", &ParticleEffectInstance::StaticCreate,
                     nullptr, &ParticleEffectInstance::RegisterProps, AppObject, IPositionable)

namespace {
void FreeList(EmitterDesc& desc) {
    Particle* p = desc.m_pFirst;
    while (p) {
        Particle* next = p->m_pNext;
        ParticleAllocator::Delete(p);
        p = next;
    }
    desc.m_pFirst = nullptr;
    desc.m_pLast = nullptr;
    desc.m_Count = 0;
}
}  // namespace

ParticleEffectInstance::ParticleEffectInstance(const char* name, Point3D<float> position)
    : AppObject(name), m_Position(position) {}

ParticleEffectInstance::~ParticleEffectInstance() {
    FreeParticles();
    if (m_pEffect) m_pEffect->DetachInstance(this);
}

Object* ParticleEffectInstance::StaticCreate(const char* name) {
    return new ParticleEffectInstance(name, Point3D<float>(100.0f, 100.0f, 0.0f));
}

void ParticleEffectInstance::RegisterProps(Class* cls) {
    typedef ParticleEffectInstance I;
    cls->InsertValueProp(new MemberProp<float>("Playback Speed", "", &I::m_fPlaybackSpeed, 0));
    cls->InsertValueProp(new MemberProp<float>("Rotation", "", &I::m_fRotation, 0));
    cls->InsertValueProp(new MemberProp<float>("Auto Rot. Speed", "", &I::m_fAutoRotationSpeed, 0));
    cls->InsertValueProp(new MemberProp<bool>("Auto Rot. To Motion", "The effect will be aligned to motion",
                                              &I::m_bAutoRotateToMotion, 0));
    cls->InsertValueProp(new GetSetMemberProp<I, float>("Scale", "Allows to scale the entire effect.",
                                                        &I::GetScale, &I::SetScale, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<I, float>("Power", "Partcle alpha multiplier", &I::GetPower, &I::SetPower, 0));
}

bool ParticleEffectInstance::SetEffect(ParticleEffect* effect) {
    if (m_pEffect && m_pEffect != effect) {
        LogSend(kLogWarning, "Instance already asigned to an effect");
        return false;
    }
    if (!effect) return false;
    if (!m_pEffect) {
        m_pEffect = effect;
        effect->AttachInstance(this);
    }
    m_fTime = 0.0f;
    m_LoopsLeft = effect->GetEffectLoops() < 0 ? kLoopForever : effect->GetEffectLoops();
    m_fEffectTime = effect->GetEffectTime();
    m_fLoopToTime = effect->GetEffectLoopToTime();
    m_fRotation = effect->GetDefaultRotation();
    m_fPlaybackSpeed = effect->GetDefaultPlaySpeed();
    m_fAutoRotationSpeed = effect->GetDefaultRotationSpeed();
    m_bAutoRotateToMotion = effect->GetDefaultAutoRotate();
    m_fRunningTime = 0.0f;
    m_ParticleCount = 0;
    m_bFinished = false;

    const auto& emitters = effect->GetEmitterGroup().GetList();
    // Entries beyond the new count would take their particles with them.
    for (size_t i = emitters.size(); i < m_Descs.size(); ++i) FreeList(m_Descs[i]);
    m_Descs.resize(emitters.size());
    size_t i = 0;
    for (ParticleEmitter* emitter : emitters) m_Descs[i++].m_pEmitter = emitter;
    return true;
}

void ParticleEffectInstance::FreeParticles() {
    for (EmitterDesc& desc : m_Descs) {
        FreeList(desc);
        desc.m_fAccumulator = 0.0f;
    }
}

void ParticleEffectInstance::Reset(bool freeParticles) {
    if (freeParticles) FreeParticles();
    if (m_pEffect) SetEffect(m_pEffect);
    m_fRunningTime = 0.0f;
}

void ParticleEffectInstance::DetachFromEffect() {
    FreeParticles();
    m_Descs.clear();
    m_pEffect = nullptr;
    m_ParticleCount = 0;
    m_LoopsLeft = kFinished;
    m_bFinished = true;
}

void ParticleEffectInstance::Kill(bool remove) {
    m_bFinished = true;
    m_bKilled = remove;
}

void ParticleEffectInstance::Emit(float from, float to) {
    for (EmitterDesc& desc : m_Descs)
        if (desc.m_pEmitter) desc.m_pEmitter->EmittParticles(from, to, desc, this);
}

bool ParticleEffectInstance::Update(float dt) {
    if (!m_pEffect) return true;
    const float d = dt * m_fPlaybackSpeed;
    // A zero or negative speed freezes the instance entirely.
    if (!(d > 0.0f)) return true;
    m_fRunningTime += d;
    if (m_fRunningTime > kRunningTimeWrap) m_fRunningTime = 0.0f;
    m_fRotation += d * m_fAutoRotationSpeed;

    u32 count = 0;
    for (EmitterDesc& desc : m_Descs) {
        desc.m_EmittedThisUpdate = 0;
        desc.m_SourceReadThisUpdate = 0;
        if (desc.m_pEmitter) count += desc.m_pEmitter->UpdateParticles(d, desc, m_fRunningTime, this);
    }
    m_ParticleCount = count;

    if (m_bKilled) {
        bool empty = true;
        for (const EmitterDesc& desc : m_Descs) empty = empty && !desc.m_pFirst;
        if (empty) {
            // Leaves every group that holds it and is destroyed.
            while (Release() > 0) {
            }
            return true;
        }
    }
    if (m_LoopsLeft == kFinished) {
        if (m_bKillWhenDone) m_bKilled = true;
        return true;
    }

    m_fTime += d;
    if (m_fTime <= m_fEffectTime) {
        if (!m_bFinished) Emit(m_fTime - d, m_fTime);
        return true;
    }
    u32 passes = 0;
    while (m_fTime > m_fEffectTime) {
        if (passes++ == kMaxLoopPassesPerUpdate) {
            // The rest of this step is dropped; the next update goes on from
            // the end of the pass.
            m_fTime = m_fEffectTime;
            break;
        }
        if (m_LoopsLeft >= 0) --m_LoopsLeft;
        if (m_LoopsLeft == kFinished) {
            if (!m_bFinished) Emit(m_fTime - d, m_fEffectTime);
            m_fTime = m_fEffectTime;
            m_bFinished = true;
        } else {
            const float next = m_fLoopToTime + m_fTime - m_fEffectTime;
            if (!m_bFinished) {
                Emit(m_fTime - d, m_fEffectTime);
                Emit(m_fLoopToTime, next);
            }
            m_fTime = next;
        }
    }
    return true;
}

bool ParticleEffectInstance::Render(float) {
    if (m_fPower <= 0.0f) return true;
    const bool scaled = m_fScale != 1.0f;
    Transform saved;
    if (scaled) {
        saved = Graphics::GetTransform();
        Graphics::TransformScene2D_Move(m_Position.x, m_Position.y);
        Graphics::TransformScene2D_Scale(m_fScale, m_fScale);
        Graphics::TransformScene2D_Move(-m_Position.x, -m_Position.y);
    }
    for (EmitterDesc& desc : m_Descs)
        if (desc.m_pFirst && desc.m_pEmitter) desc.m_pEmitter->RenderParticles(desc, m_Position.z, m_fPower);
    if (scaled) Graphics::SetTransform(saved);
    return true;
}

void ParticleEffectInstance::SetPosition(Point3D<float> position) {
    if (m_bAutoRotateToMotion && position != m_Position) {
        const float dx = position.x - m_Position.x;
        const float dy = position.y - m_Position.y;
        LogSend(kLogInfo, "Updaing position: delta = %f, %f", double(dx), double(dy));
        m_fRotation = std::atan2(dx, -dy);
        LogSend(kLogInfo, "Updaing position: rotation = %f", double(m_fRotation));
    }
    m_Position = position;
}

void ParticleEffectInstance::OffsetParticles(float dx, float dy) {
    for (EmitterDesc& desc : m_Descs) {
        for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
            p->m_fX += dx;
            p->m_fY += dy;
        }
    }
}

EmitterDesc* ParticleEffectInstance::GetEmitterDesc(unsigned int index) {
    return index < m_Descs.size() ? &m_Descs[index] : nullptr;
}

}  // namespace Zyn
