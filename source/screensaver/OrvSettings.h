// The screen saver's settings object, kept in the save manager's settings
// group. It carries the particle detail switch and the trophy variant.
#pragma once

#include <zyn/core/Class.h>
#include <zyn/core/Singleton.h>

class OrvSettings : public Zyn::Object, public Zyn::SingletonEx<OrvSettings> {
    ZYN_DECLARE_CLASS(OrvSettings)

public:
    explicit OrvSettings(const char* name = "settings");
    ~OrvSettings() override;
    ZYN_STATIC_CREATE(OrvSettings)

    /// Sets the particle system's global detail: 1.0 high, 0.75 low.
    void UpdateDetailSettings();
    bool Save(Zyn::ObjectSerializator& s) override;
    bool Load(Zyn::ObjectSerializator& s) override;

    static void RegisterProps(Zyn::Class* cls);

    float m_fValue1 = 0.75f;
    float m_fValue2 = 0.75f;
    bool m_bOption0 = false;
    bool m_bWidescreen = true;
    bool m_bHighDetail = true;
    bool m_bOption3 = false;
    bool m_bTrophyVariant = false;
};
