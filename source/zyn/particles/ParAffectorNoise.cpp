#include <zyn/particles/ParAffectorNoise.h>

#include <cstdlib>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/particles/PerlinNoise.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(ParAffectorNoise, "ParAffectorNoise", &ParAffectorNoise::StaticCreate, nullptr,
                    &ParAffectorNoise::RegisterProps, ParticleAffector)

ParAffectorNoise::ParAffectorNoise(const char* name) : ParticleAffector(name) {}

void ParAffectorNoise::RegisterProps(Class* cls) {
    typedef ParAffectorNoise A;
    cls->InsertValueProp(new GetSetMemberProp<A, Point2D<float>>(
        "Force", "Amount of force applied in x and y directions", &A::GetForce, &A::SetForce, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<A, float>("Scale", "Noise scale", &A::GetScale, &A::SetScale, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, float>("Anim. Speed", "The speed of noise animation",
                                                        &A::GetAnimSpeed, &A::SetAnimSpeed, 0));
    cls->InsertValueProp(new GetSetMemberProp<A, unsigned int>(
        "Percentage", "Percentage of particles affected (used as optimization)", &A::GetPercentage,
        &A::SetPercentage, 0));
}

void ParAffectorNoise::AffectParticles(EmitterDesc& desc, float time, ParticleEffectInstance*) {
    const float z = time * m_fAnimSpeed;
    for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        if (!IsAffected(*p)) continue;
        // "<=": 50 pushes 51 particles out of 100, 0 still one in 100.
        if (u32(std::rand()) % 100u > m_Percentage) continue;
        const float x = m_fScale * p->m_fX;
        const float y = m_fScale * p->m_fY;
        // Both samples at the current position; the y push is independent
        // noise taken from a shifted point running backwards in time.
        const float ny = PerlinNoise::Sample(x + 1.0f, y - 1.0f, 10.23f - z);
        const float nx = PerlinNoise::Sample(x, y, z);
        p->m_fVX += nx * m_Force.x;
        p->m_fVY += ny * m_Force.y;
    }
}

bool ParAffectorNoise::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_Force, 2) != 2) return false;
    f->Write32(&m_fScale, 1);
    f->Write32(&m_fAnimSpeed, 1);
    f->Write32(&m_Percentage, 1);
    return ParticleAffector::Save(s);
}

bool ParAffectorNoise::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    Point2D<float> force;
    if (!f || f->Read32(&force, 2) != 2) return false;
    float scale = 0.0f, animSpeed = 0.0f;
    u32 percentage = 0;
    if (f->Read32(&scale, 1) != 1 || f->Read32(&animSpeed, 1) != 1 || f->Read32(&percentage, 1) != 1) {
        LogSend(kLogError, "ParAffectorNoise::Load(%s) -> the stream ends inside the affector data",
                m_Name.c_str());
        return false;
    }
    m_Force = force;
    m_fScale = scale;
    m_fAnimSpeed = animSpeed;
    m_Percentage = percentage;
    return ParticleAffector::Load(s);
}

}  // namespace Zyn
