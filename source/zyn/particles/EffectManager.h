// The particle effect manager: the process-wide ResourceManager<ParticleEffect>
// in the Root's resource-manager group. Effects are read as object streams
// and stay loaded while anyone holds them; instances that CreateInstance makes
// keep their effect loaded for good.
#pragma once

#include <map>
#include <string>

#include <zyn/core/Singleton.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/resources/ResourceManager.h>

namespace Zyn {

class ParticleEffectInstance;

class EffectManager : public ResourceManager<ParticleEffect>, public Singleton<EffectManager> {
    ZYN_DECLARE_CLASS(EffectManager)

public:
    /// Registers its own deletion at exit and enters the Root's group 2 at the front.
    EffectManager();

    /// The effect of that name, loaded on first request, with one reference
    /// for the caller (who must Release it); null when it cannot be loaded (logged).
    ParticleEffect* GetEffect(const char* name);
    /// GetEffect of the name; the class is not looked at.
    Object* GetResource(const char* name, Class* cls) override;
    /// Always false: effects cannot be reloaded (logged).
    bool ReloadResource(Object* obj) override;
    /// A new instance of the effect, bound to it and held by its active
    /// group; the caller inserts it where it is updated and rendered. Null
    /// when the effect cannot be loaded (logged).
    ParticleEffectInstance* CreateInstance(const char* effectName, const char* instanceName,
                                           Point3D<float> position, bool killWhenDone);
    /// At the end of the run the references CreateInstance kept are given
    /// back first: an effect nobody else holds then goes quietly, and only
    /// what someone still holds is reported.
    void DeleteThis() override;

    static void RegisterProps(Class* cls);

private:
    // Per effect name, the references CreateInstance kept.
    std::map<std::string, int> m_KeptReferences;
};

/// The manager, created on first call; borrowed, never null.
EffectManager* GetCreateEffectManager();

}  // namespace Zyn
