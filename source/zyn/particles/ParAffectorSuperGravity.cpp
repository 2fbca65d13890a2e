#include <zyn/particles/ParAffectorSuperGravity.h>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(ParAffectorSuperGravity, "ParAffectorSuperGravity",
                    &ParAffectorSuperGravity::StaticCreate, nullptr, &ParAffectorSuperGravity::RegisterProps,
                    ParticleAffector)

ParAffectorSuperGravity::ParAffectorSuperGravity(const char* name) : ParticleAffector(name) {}

void ParAffectorSuperGravity::RegisterProps(Class* cls) {
    typedef ParAffectorSuperGravity A;
    cls->InsertValueProp(new GetSetMemberProp<A, float>("Strength", "The strength of the gravity",
                                                        &A::GetStrength, &A::SetStrength, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, Point2D<float>>(
        "Offset", "Offsets the position of the gravity center", &A::GetOffset, &A::SetOffset, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, unsigned int>(
        "Position Mode", "Determines the positioning of the gravity", &A::GetPosMode, &A::SetPosMode, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, float>(
        "Accelerate", "Can be used to apply particle acceleration or dampening", &A::GetAccelerate,
        &A::SetAccelerate, 0));
}

void ParAffectorSuperGravity::AffectParticles(EmitterDesc& desc, float, ParticleEffectInstance* instance) {
    Point2D<float> centre = m_Offset;
    if (m_PosMode == kAroundInstance) {
        const Point3D<float> at = InstancePosition(instance);
        centre.x += at.x;
        centre.y += at.y;
    }
    for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        if (!IsAffected(*p)) continue;
        // Unit direction to the centre; a particle on the centre is only scaled.
        Point2D<float> d(centre.x - p->m_fX, centre.y - p->m_fY);
        d.Normalize();
        p->m_fVX += m_fStrength * d.x;
        p->m_fVY += m_fStrength * d.y;
        p->m_fVX *= m_fAccelerate;
        p->m_fVY *= m_fAccelerate;
    }
}

bool ParAffectorSuperGravity::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_Offset, 2) != 2) return false;
    f->Write32(&m_fStrength, 1);
    f->Write32(&m_fAccelerate, 1);
    f->Write32(&m_PosMode, 1);
    return ParticleAffector::Save(s);
}

bool ParAffectorSuperGravity::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    Point2D<float> offset;
    if (!f || f->Read32(&offset, 2) != 2) return false;
    float strength = 0.0f, accelerate = 0.0f;
    u32 posMode = 0;
    if (f->Read32(&strength, 1) != 1 || f->Read32(&accelerate, 1) != 1 || f->Read32(&posMode, 1) != 1) {
        LogSend(kLogError, "ParAffectorSuperGravity::Load(%s) -> the stream ends inside the affector data",
                m_Name.c_str());
        return false;
    }
    m_Offset = offset;
    m_fStrength = strength;
    m_fAccelerate = accelerate;
    m_PosMode = posMode;
    return ParticleAffector::Load(s);
}

}  // namespace Zyn
