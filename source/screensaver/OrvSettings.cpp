#include <screensaver/OrvSettings.h>

#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/io/File.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/particles/ParticleEmitter.h>

using namespace Zyn;

// A record of its own, so that a saved settings file names a class the save
// manager can create again (the plain "Object" record has no factory).
ZYN_IMPLEMENT_CLASS(OrvSettings, "OrvSettings", &OrvSettings::StaticCreate, nullptr, &OrvSettings::RegisterProps,
                    Object)

void OrvSettings::RegisterProps(Class* cls) {
    cls->InsertValueProp(new MemberProp<bool>("High Detail", "Full particle detail (otherwise 75%)",
                                              &OrvSettings::m_bHighDetail, 0));
    cls->InsertValueProp(new MemberProp<bool>("Trophy Variant", "Shows the second trophy",
                                              &OrvSettings::m_bTrophyVariant, 0));
    cls->InsertValueProp(new MemberProp<bool>("Widescreen", "Widescreen suggested", &OrvSettings::m_bWidescreen, 0));
}

OrvSettings::OrvSettings(const char* name) : Object(name) {
    m_bWidescreen = WindowSystem::SuggestWidescreen();
    UpdateDetailSettings();
}

OrvSettings::~OrvSettings() = default;

void OrvSettings::UpdateDetailSettings() { ParticleEmitter::ms_ParDetail = m_bHighDetail ? 1.0f : 0.75f; }

bool OrvSettings::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f) return false;
    if (f->Write(&m_bOption0, 1) != 1) return false;
    f->Write32(&m_fValue1, 1);
    f->Write32(&m_fValue2, 1);
    f->Write(&m_bWidescreen, 1);
    f->Write(&m_bHighDetail, 1);
    f->Write(&m_bOption3, 1);
    f->Write(&m_bTrophyVariant, 1);
    return true;
}

bool OrvSettings::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f) return false;
    u8 b = 0;
    if (f->Read(&b, 1) != 1) return false;
    m_bOption0 = b != 0;
    f->Read32(&m_fValue1, 1);
    f->Read32(&m_fValue2, 1);
    // Bytes go through a u8 so that a stored value other than 0 or 1 cannot
    // make an invalid bool.
    auto readBool = [f](bool& out) {
        u8 v = 0;
        if (f->Read(&v, 1) == 1) out = v != 0;
    };
    readBool(m_bWidescreen);
    readBool(m_bHighDetail);
    readBool(m_bOption3);
    readBool(m_bTrophyVariant);
    UpdateDetailSettings();
    return true;
}
