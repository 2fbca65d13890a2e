#include <zyn/particles/ParAffectorSwirl.h>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(ParAffectorSwirl, "ParAffectorSwirl", &ParAffectorSwirl::StaticCreate, nullptr,
                    &ParAffectorSwirl::RegisterProps, ParticleAffector)

ParAffectorSwirl::ParAffectorSwirl(const char* name) : ParticleAffector(name) {}

void ParAffectorSwirl::RegisterProps(Class* cls) {
    typedef ParAffectorSwirl A;
    cls->InsertValueProp(new GetSetMemberProp<A, float>(
        "Force", "Amount of force applied to the particle swirl", &A::GetForce, &A::SetForce, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, Point2D<float>>(
        "Offset", "Offsets the position of the swirl center", &A::GetOffset, &A::SetOffset, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, unsigned int>(
        "Swirl Point", "Determines the positioning of the gravity", &A::GetSwirlPoint, &A::SetSwirlPoint, 0));
}

void ParAffectorSwirl::AffectParticles(EmitterDesc& desc, float, ParticleEffectInstance* instance) {
    if (m_SwirlPoint == kAroundInstance || m_SwirlPoint == kAroundScenePoint) {
        Point2D<float> centre = m_Offset;
        if (m_SwirlPoint == kAroundInstance) {
            const Point3D<float> at = InstancePosition(instance);
            centre.x += at.x;
            centre.y += at.y;
        }
        for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
            if (!IsAffected(*p)) continue;
            // A push perpendicular to the radius; a particle on the centre stays.
            Point2D<float> d(p->m_fX - centre.x, p->m_fY - centre.y);
            d.Normalize();
            p->m_fVX -= d.y * m_fForce;
            p->m_fVY += d.x * m_fForce;
        }
        return;
    }
    for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        if (!IsAffected(*p)) continue;
        Point2D<float> n(p->m_fVX, p->m_fVY);
        if (n.Normalize() > 0.0f) {
            p->m_fVX -= n.y * m_fForce;
            p->m_fVY += n.x * m_fForce;
        }
    }
}

bool ParAffectorSwirl::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fForce, 1) != 1) return false;
    f->Write32(&m_Offset, 2);
    f->Write32(&m_SwirlPoint, 1);
    return ParticleAffector::Save(s);
}

bool ParAffectorSwirl::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    float force = 0.0f;
    if (!f || f->Read32(&force, 1) != 1) return false;
    Point2D<float> offset;
    u32 swirlPoint = 0;
    if (f->Read32(&offset, 2) != 2 || f->Read32(&swirlPoint, 1) != 1) {
        LogSend(kLogError, "ParAffectorSwirl::Load(%s) -> the stream ends inside the affector data",
                m_Name.c_str());
        return false;
    }
    m_fForce = force;
    m_Offset = offset;
    m_SwirlPoint = swirlPoint;
    return ParticleAffector::Load(s);
}

}  // namespace Zyn
