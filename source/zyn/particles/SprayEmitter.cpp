#include <zyn/particles/SprayEmitter.h>

#include <cmath>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(SprayEmitter, "SprayEmitter", &SprayEmitter::StaticCreate, nullptr,
                    &SprayEmitter::RegisterProps, ParticleEmitter)

SprayEmitter::SprayEmitter(const char* name) : ParticleEmitter(name) {}

void SprayEmitter::RegisterProps(Class* cls) {
    typedef SprayEmitter E;
    cls->InsertValueProp(new GetSetMemberProp<E, float>(
        "Emit Rate", "Number of particles emitted per second, or the time between bursts in burst mode",
        &E::GetEmittRate, &E::SetEmittRate, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Speed Min", "Minimum Speed", &E::GetSpeedMin, &E::SetSpeedMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Speed Max", "Maximum Speed", &E::GetSpeedMax, &E::SetSpeedMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>(
        "Center. Dist. Min", "Minimum distance from the center when generating particle", &E::GetDistMin,
        &E::SetDistMin, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>(
        "Center. Dist. Max", "Maximum distance from the center when generating particle", &E::GetDistMax,
        &E::SetDistMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Angle Min", "Minimum angle of generated particles",
                                                        &E::GetAngleMin, &E::SetAngleMin, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Angle Max", "Maximum angle of generated particles",
                                                        &E::GetAngleMax, &E::SetAngleMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned int>(
        "Burst Particles",
        "When burst particles is other than 0, this is the number of particles that are emitted in constant "
        "bursts",
        &E::GetBurstParticles, &E::SetBurstParticles, 0));
    cls->InsertGroupProp(new GroupProperty("Affectors", "", 0, &ParticleAffector::sm_Class));
}

void SprayEmitter::EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance* instance) {
    const EmitWindow window(from, to, m_fEmittStart, m_fEmittEnd);
    if (m_BurstParticles > 0) {
        EmittBurst(window.m_fStart, window.m_fEnd, desc, instance);
        return;
    }
    const u32 n = window.Accumulate(desc, m_fEmittRate);
    if (n == 0) return;
    const Point3D<float> at = InstancePosition(instance);
    const float theta = InstanceRotation(instance);
    for (u32 i = 0; i < n; ++i) {
        // Draws: the direction, the particle's own, the distance, the speed.
        const float a = theta + ParticleRandom::Range(m_fAngleMin, m_fAngleMax);
        Particle* p = GenerateParticle(window.m_fEnd);
        if (!p) break;
        const float sa = std::sin(a);
        const float ca = std::cos(a);
        const float d = ParticleRandom::Range(m_fDistMin, m_fDistMax);
        p->m_fX = at.x + d * sa;
        p->m_fY = at.y - d * ca;
        const float v = ParticleRandom::Range(m_fSpeedMin, m_fSpeedMax);
        p->m_fVX = v * sa;
        p->m_fVY = -v * ca;
        p->m_fAngle += theta;
        if (!AddParticle(desc, p)) break;
    }
    desc.m_fAccumulator -= float(n);
}

void SprayEmitter::EmittBurst(float start, float end, EmitterDesc& desc, ParticleEffectInstance* instance) {
    if (end - start > 0.0f && m_fEmittRate > 0.0f) desc.m_fAccumulator -= end - start;
    if (desc.m_fAccumulator > 0.0f) return;
    // One burst per call however long the window: the countdown restarts
    // from the full period. A non-positive rate bursts once and never again.
    desc.m_fAccumulator = m_fEmittRate > 0.0f ? m_fEmittRate : 1.0f;

    // The fan keeps the spacing of the configured count even when desc has
    // room for fewer particles in this update.
    const u32 room = GetEmitRoom(desc);
    const u32 count = m_BurstParticles < room ? m_BurstParticles : room;
    const Point3D<float> at = InstancePosition(instance);
    const float theta = InstanceRotation(instance);
    const float step = (m_fAngleMax - m_fAngleMin) / float(m_BurstParticles);
    for (u32 k = 0; k < count; ++k) {
        const float a = theta + m_fAngleMin + float(k) * step;
        // Draws: the particle's own, the distance, the speed.
        Particle* p = GenerateParticle(end);
        if (!p) break;
        const float sa = std::sin(a);
        const float ca = std::cos(a);
        const float d = ParticleRandom::Range(m_fDistMin, m_fDistMax);
        p->m_fX = at.x + d * sa;
        p->m_fY = at.y - d * ca;
        const float v = ParticleRandom::Range(m_fSpeedMin, m_fSpeedMax);
        p->m_fVX = v * sa;
        p->m_fVY = -v * ca;
        p->m_fAngle += theta;
        if (!AddParticle(desc, p)) break;
    }
}

Object* SprayEmitter::DuplicateObject(const char* name) {
    SprayEmitter* copy = new SprayEmitter(name);
    copy->m_fEmittRate = m_fEmittRate;
    copy->m_fSpeedMin = m_fSpeedMin;
    copy->m_fSpeedMax = m_fSpeedMax;
    copy->m_fDistMin = m_fDistMin;
    copy->m_fDistMax = m_fDistMax;
    copy->m_fAngleMin = m_fAngleMin;
    copy->m_fAngleMax = m_fAngleMax;
    copy->m_BurstParticles = m_BurstParticles;
    DuplicateEmitter(copy);
    return copy;
}

bool SprayEmitter::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fEmittRate, 1) != 1) return false;
    f->Write32(&m_fSpeedMin, 1);
    f->Write32(&m_fSpeedMax, 1);
    f->Write32(&m_fAngleMin, 1);
    f->Write32(&m_fAngleMax, 1);
    f->Write32(&m_fDistMin, 1);
    f->Write32(&m_fDistMax, 1);
    f->Write32(&m_BurstParticles, 1);
    return ParticleEmitter::Save(s);
}

bool SprayEmitter::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    float rate = 0.0f;
    if (!f || f->Read32(&rate, 1) != 1) return false;
    // speed min, speed max, angle min, angle max, distance min, distance max
    float v[6];
    u32 burst = 0;
    if (f->Read32(v, 6) != 6 || f->Read32(&burst, 1) != 1) {
        LogSend(kLogError, "SprayEmitter::Load(%s) -> the stream ends inside the emitter data",
                m_Name.c_str());
        return false;
    }
    m_fEmittRate = rate;
    m_fSpeedMin = v[0];
    m_fSpeedMax = v[1];
    m_fAngleMin = v[2];
    m_fAngleMax = v[3];
    m_fDistMin = v[4];
    m_fDistMax = v[5];
    m_BurstParticles = burst;
    return ParticleEmitter::Load(s);
}

}  // namespace Zyn
