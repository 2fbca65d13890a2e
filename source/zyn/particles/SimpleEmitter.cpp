#include <zyn/particles/SimpleEmitter.h>

#include <cmath>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(SimpleEmitter, "SimpleEmitter", &SimpleEmitter::StaticCreate, nullptr,
                    &SimpleEmitter::RegisterProps, ParticleEmitter)

SimpleEmitter::SimpleEmitter(const char* name) : ParticleEmitter(name) {}

void SimpleEmitter::RegisterProps(Class* cls) {
    typedef SimpleEmitter E;
    typedef Point2D<float> P;
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Emit Rate", "Number of particles emitted per second",
                                                        &E::GetEmittRate, &E::SetEmittRate, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Speed Min", "Minimum Speed", &E::GetSpeedMin, &E::SetSpeedMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Speed Max", "Maximum Speed", &E::GetSpeedMax, &E::SetSpeedMax, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Position Min", "Minimum Speed", &E::GetPosMin, &E::SetPosMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Position Max", "Maximum Speed", &E::GetPosMax, &E::SetPosMax, 0));
    cls->InsertGroupProp(new GroupProperty("Affectors", "", 0, &ParticleAffector::sm_Class));
}

void SimpleEmitter::EmittParticles(float from, float to, EmitterDesc& desc,
                                   ParticleEffectInstance* instance) {
    const EmitWindow window(from, to, m_fEmittStart, m_fEmittEnd);
    const u32 n = window.Accumulate(desc, m_fEmittRate);
    if (n == 0) return;
    const Point3D<float> at = InstancePosition(instance);
    const float theta = InstanceRotation(instance);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    for (u32 i = 0; i < n; ++i) {
        Particle* p = GenerateParticle(window.m_fEnd);
        if (!p) break;
        // Draws after GenerateParticle's own: position, then speed. Without
        // rotation x then y; rotated, y then x. The unrotated case maps the
        // local y axis to +y and the rotated one to (s, -c): stored effects
        // are authored against both, so neither is folded into the other.
        if (theta == 0.0f) {
            p->m_fX = at.x + ParticleRandom::Range(m_PosMin.x, m_PosMax.x);
            p->m_fY = at.y + ParticleRandom::Range(m_PosMin.y, m_PosMax.y);
            p->m_fVX = ParticleRandom::Range(m_SpeedMin.x, m_SpeedMax.x);
            p->m_fVY = ParticleRandom::Range(m_SpeedMin.y, m_SpeedMax.y);
        } else {
            const float ly = ParticleRandom::Range(m_PosMin.y, m_PosMax.y);
            const float lx = ParticleRandom::Range(m_PosMin.x, m_PosMax.x);
            p->m_fX = at.x + lx * c + ly * s;
            p->m_fY = at.y + lx * s - ly * c;
            const float wy = ParticleRandom::Range(m_SpeedMin.y, m_SpeedMax.y);
            const float wx = ParticleRandom::Range(m_SpeedMin.x, m_SpeedMax.x);
            p->m_fVX = wx * c + wy * s;
            p->m_fVY = wx * s - wy * c;
            p->m_fAngle += theta;
        }
        if (!AddParticle(desc, p)) break;
    }
    desc.m_fAccumulator -= float(n);
}

Object* SimpleEmitter::DuplicateObject(const char* name) {
    SimpleEmitter* copy = new SimpleEmitter(name);
    copy->m_fEmittRate = m_fEmittRate;
    copy->m_SpeedMin = m_SpeedMin;
    copy->m_SpeedMax = m_SpeedMax;
    copy->m_PosMin = m_PosMin;
    copy->m_PosMax = m_PosMax;
    DuplicateEmitter(copy);
    return copy;
}

bool SimpleEmitter::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fEmittRate, 1) != 1) return false;
    f->Write32(&m_SpeedMin, 2);
    f->Write32(&m_SpeedMax, 2);
    f->Write32(&m_PosMin, 2);
    f->Write32(&m_PosMax, 2);
    return ParticleEmitter::Save(s);
}

bool SimpleEmitter::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    float rate = 0.0f;
    if (!f || f->Read32(&rate, 1) != 1) return false;
    Point2D<float> speedMin, speedMax, posMin, posMax;
    if (f->Read32(&speedMin, 2) != 2 || f->Read32(&speedMax, 2) != 2 || f->Read32(&posMin, 2) != 2 ||
        f->Read32(&posMax, 2) != 2) {
        LogSend(kLogError, "SimpleEmitter::Load(%s) -> the stream ends inside the emitter data",
                m_Name.c_str());
        return false;
    }
    m_fEmittRate = rate;
    m_SpeedMin = speedMin;
    m_SpeedMax = speedMax;
    m_PosMin = posMin;
    m_PosMax = posMax;
    return ParticleEmitter::Load(s);
}

}  // namespace Zyn
