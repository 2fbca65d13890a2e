#include <zyn/particles/ParticleAffector.h>

#include <zyn/core/ObjectSerializator.h>
#include <zyn/io/File.h>
#include <zyn/core/Property.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(ParticleAffector, "ParticleAffector", nullptr, nullptr, &ParticleAffector::RegisterProps,
                    Object)

namespace {
// Tick counts are whole applications since running time 0. The conversion
// saturates instead of invoking undefined behaviour on negative, NaN or huge
// products (a frequency read from a file can be anything).
unsigned long long Ticks(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.8e19f) return ~0ull;
    return static_cast<unsigned long long>(v);
}
}  // namespace

ParticleAffector::ParticleAffector(const char* name) : Object(name) {}

void ParticleAffector::RegisterProps(Class* cls) {
    cls->InsertValueProp(new GetSetMemberProp<ParticleAffector, float>(
        "Update Frequency", "The number of times the affector is applied per second",
        &ParticleAffector::GetUpdateFrequency, &ParticleAffector::SetUpdateFrequency, 0));
    cls->InsertValueProp(new GetSetMemberProp<ParticleAffector, float>(
        "Part. Life Start", "Age after which particles start being affected",
        &ParticleAffector::GetPartLifeStart, &ParticleAffector::SetPartLifeStart, 0));
    cls->InsertValueProp(new GetSetMemberProp<ParticleAffector, float>(
        "Part. Life End", "Age after which particles stop being affected", &ParticleAffector::GetPartLifeEnd,
        &ParticleAffector::SetPartLifeEnd, 0));
}

bool ParticleAffector::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_fUpdateFrequency, 1) != 1) return false;
    f->Write32(&m_fPartLifeStart, 1);
    f->Write32(&m_fPartLifeEnd, 1);
    return true;
}

bool ParticleAffector::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Read32(&m_fUpdateFrequency, 1) != 1) return false;
    f->Read32(&m_fPartLifeStart, 1);
    f->Read32(&m_fPartLifeEnd, 1);
    return true;
}

void ParticleAffector::UpdateAffector(EmitterDesc& desc, float t, float dt,
                                      ParticleEffectInstance* instance) {
    const unsigned long long a = Ticks((t + dt) * m_fUpdateFrequency);
    const unsigned long long b = Ticks(t * m_fUpdateFrequency);
    if (a <= b) return;
    const unsigned long long k = a - b;
    // Every application of this update sees the same time value.
    const float time = t + float(k) / m_fUpdateFrequency;
    const unsigned long long runs = k < kMaxApplicationsPerUpdate ? k : kMaxApplicationsPerUpdate;
    for (unsigned long long i = 0; i < runs; ++i) AffectParticles(desc, time, instance);
}

}  // namespace Zyn
