#include <zyn/particles/PartPartEmitter.h>

#include <cmath>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(PartPartEmitter, "PartPartEmitter", &PartPartEmitter::StaticCreate, nullptr,
                    &PartPartEmitter::RegisterProps, ParticleEmitter)

PartPartEmitter::PartPartEmitter(const char* name) : ParticleEmitter(name) {}

void PartPartEmitter::RegisterProps(Class* cls) {
    typedef PartPartEmitter E;
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Emit Rate", "Number of particles emitted per second",
                                                        &E::GetEmittRate, &E::SetEmittRate, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned int>(
        "Emitter ID", "The ID of the emitter whose particles should become emitters", &E::GetEmitter,
        &E::SetEmitter, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Speed Min", "Minimum Speed", &E::GetSpeedMin, &E::SetSpeedMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Speed Max", "Maximum Speed", &E::GetSpeedMax, &E::SetSpeedMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Angle Min", "Minimum angle of generated particles",
                                                        &E::GetAngleMin, &E::SetAngleMin, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Angle Max", "Maximum angle of generated particles",
                                                        &E::GetAngleMax, &E::SetAngleMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Part. Life Start",
                                                        "Life after which particles start emitting particles",
                                                        &E::GetPartLifeStart, &E::SetPartLifeStart, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Part. Life End",
                                                        "Life after which particles stop emitting particles",
                                                        &E::GetPartLifeEnd, &E::SetPartLifeEnd, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, Point2D<float>>("Offset", "Particle position offset",
                                                                 &E::GetOffset, &E::SetOffset, 0));
    cls->InsertGroupProp(new GroupProperty("Affectors", "", 0, &ParticleAffector::sm_Class));
}

void PartPartEmitter::EmittParticles(float from, float to, EmitterDesc& desc,
                                     ParticleEffectInstance* instance) {
    EmitterDesc* src = instance ? instance->GetEmitterDesc(m_EmitterID) : nullptr;
    // Naming its own descriptor would walk the list it appends to and never
    // end; equal heads also cover two empty lists.
    if (!src || src == &desc || src->m_pFirst == desc.m_pFirst) return;

    const EmitWindow window(from, to, m_fEmittStart, m_fEmittEnd);
    const u32 n = window.Accumulate(desc, m_fEmittRate);
    if (n == 0) return;
    bool full = false;
    for (const Particle* q = src->m_pFirst; q && !full; q = q->m_pNext) {
        // A short looping effect makes up to a thousand passes in one update,
        // each emitting again; reading the source is bounded to one whole
        // list per update, so that such an effect costs no more than a long one.
        if (desc.m_SourceReadThisUpdate >= kMaxParticlesPerDesc) break;
        ++desc.m_SourceReadThisUpdate;
        const float f = q->m_fAge / q->m_fLife;
        if (!(m_fPartLifeStart <= f && f <= m_fPartLifeEnd)) continue;
        const float b = q->m_fAngle + q->m_fSpin;
        const float cb = std::cos(b);
        const float sb = std::sin(b);
        const float x = q->m_fX + m_Offset.x * cb + m_Offset.y * sb;
        const float y = q->m_fY + m_Offset.x * sb - m_Offset.y * cb;
        for (u32 i = 0; i < n; ++i) {
            // Every source may emit n: the bound on what desc takes per
            // update ends the walk, not just this source.
            if (GetEmitRoom(desc) == 0) {
                full = true;
                break;
            }
            // Draws: the direction, the particle's own, the speed.
            const float a = b + ParticleRandom::Range(m_fAngleMin, m_fAngleMax);
            Particle* p = GenerateParticle(window.m_fEnd);
            if (!p) {
                full = true;
                break;
            }
            p->m_fX = x;
            p->m_fY = y;
            const float v = ParticleRandom::Range(m_fSpeedMin, m_fSpeedMax);
            p->m_fVX = v * std::sin(a);
            p->m_fVY = -v * std::cos(a);
            p->m_fAngle += b;
            AddParticle(desc, p);
        }
    }
    desc.m_fAccumulator -= float(n);
}

Object* PartPartEmitter::DuplicateObject(const char* name) {
    PartPartEmitter* copy = new PartPartEmitter(name);
    copy->m_fEmittRate = m_fEmittRate;
    copy->m_fSpeedMin = m_fSpeedMin;
    copy->m_fSpeedMax = m_fSpeedMax;
    copy->m_fAngleMin = m_fAngleMin;
    copy->m_fAngleMax = m_fAngleMax;
    copy->m_EmitterID = m_EmitterID;
    copy->m_fPartLifeStart = m_fPartLifeStart;
    copy->m_fPartLifeEnd = m_fPartLifeEnd;
    copy->m_Offset = m_Offset;
    DuplicateEmitter(copy);
    return copy;
}

bool PartPartEmitter::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fEmittRate, 1) != 1) return false;
    f->Write32(&m_fSpeedMin, 1);
    f->Write32(&m_fSpeedMax, 1);
    f->Write32(&m_fAngleMin, 1);
    f->Write32(&m_fAngleMax, 1);
    f->Write32(&m_fPartLifeStart, 1);
    f->Write32(&m_fPartLifeEnd, 1);
    f->Write32(&m_EmitterID, 1);
    f->Write32(&m_Offset, 2);
    return ParticleEmitter::Save(s);
}

bool PartPartEmitter::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    float rate = 0.0f;
    if (!f || f->Read32(&rate, 1) != 1) return false;
    // speed min, speed max, angle min, angle max, life start, life end
    float v[6];
    u32 emitter = 0;
    Point2D<float> offset;
    if (f->Read32(v, 6) != 6 || f->Read32(&emitter, 1) != 1 || f->Read32(&offset, 2) != 2) {
        LogSend(kLogError, "PartPartEmitter::Load(%s) -> the stream ends inside the emitter data",
                m_Name.c_str());
        return false;
    }
    m_fEmittRate = rate;
    m_fSpeedMin = v[0];
    m_fSpeedMax = v[1];
    m_fAngleMin = v[2];
    m_fAngleMax = v[3];
    m_fPartLifeStart = v[4];
    m_fPartLifeEnd = v[5];
    m_EmitterID = emitter;
    m_Offset = offset;
    return ParticleEmitter::Load(s);
}

}  // namespace Zyn
