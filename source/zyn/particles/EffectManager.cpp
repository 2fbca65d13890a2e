#include <zyn/particles/EffectManager.h>

#include <cstdlib>
#include <memory>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/particles/ParticleEffectInstance.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(EffectManager, "EffectManager", nullptr, nullptr, &EffectManager::RegisterProps,
                    ResourceManagerBase)

EffectManager::EffectManager() {
    std::atexit(&Singleton<EffectManager>::_destroy);
    Singleton<Root>::Get()->InsertObject(this, Root::kResourceManagers, 0, nullptr);
}

void EffectManager::RegisterProps(Class* cls) { RegisterManagerProps(cls, "ParticleEffects"); }

ParticleEffect* EffectManager::GetEffect(const char* name) {
    if (!name) return nullptr;
    LogSend(kLogDebug, "EffectManager::Finding particle effect resource: %s", name);
    auto it = m_Resources.find(name);
    if (it != m_Resources.end()) {
        LogSend(kLogDebug, "EffectManager::Resource found: %s", name);
        it->second->AddRef();
        return it->second;
    }
    LogSend(kLogDebug, "EffectManager::Resource not found: %s", name);
    std::unique_ptr<File> file(Singleton<Root>::Get()->OpenFile(name, !HasFailed(name)));
    if (!file) {
        LogSend(FailureLevel(name), "Effect Resource <%s> not found...", name);
        NoteFailure(name);
        return nullptr;
    }
    BasicSerializator serializator(file.get());
    Class* rootClass = serializator.GetLoadHierarchyRootClass();
    if (!rootClass || !rootClass->Supports(&ParticleEffect::sm_Class)) {
        LogSend(FailureLevel(name), "Could not load resource <%s>...", name);
        NoteFailure(name);
        return nullptr;
    }
    Object* loaded = serializator.LoadHierarchy();
    ParticleEffect* effect = ZYN_Cast<ParticleEffect, Object>(loaded);
    if (!effect) {
        if (loaded) loaded->Release();
        LogSend(FailureLevel(name), "Could not load resource <%s>...", name);
        NoteFailure(name);
        return nullptr;
    }
    NoteSuccess(name);
    effect->SetName(name);
    m_Resources.emplace(effect->GetName(), effect);
    // The manager holds no reference: the effect leaves the map when it dies.
    InsertObjectHelper(effect, 0, false);
    effect->AddRef();
    return effect;
}

Object* EffectManager::GetResource(const char* name, Class*) { return GetEffect(name); }

bool EffectManager::ReloadResource(Object*) {
    LogSend(kLogWarning, "Resource reload not supported on ParticleEffect objects...");
    return false;
}

ParticleEffectInstance* EffectManager::CreateInstance(const char* effectName, const char* instanceName,
                                                      Point3D<float> position, bool killWhenDone) {
    const int level = effectName ? FailureLevel(effectName) : kLogWarning;
    ParticleEffect* effect = GetEffect(effectName);
    if (!effect) {
        LogSend(level, "EffectManager::CreateInstance -> Could not load effect: %s", effectName ? effectName : "");
        return nullptr;
    }
    // The reference GetEffect added is kept on purpose: an effect that has had
    // an instance stays loaded for the rest of the run.
    ++m_KeptReferences[effect->GetName()];
    ParticleEffectInstance* instance = new ParticleEffectInstance(instanceName, position);
    instance->SetKillWhenDone(killWhenDone);
    // Lands at the front of the active group, which binds it to the effect.
    effect->InsertObject(instance, -1, 0, nullptr);
    return instance;
}

void EffectManager::DeleteThis() {
    std::map<std::string, int> kept;
    kept.swap(m_KeptReferences);
    for (const auto& entry : kept) {
        auto it = m_Resources.find(entry.first);
        if (it == m_Resources.end()) continue;  // let go already
        Object* effect = AsObject(it->second);
        // Held by someone else too: the report below names it.
        if (effect->GetRefCount() != entry.second) continue;
        for (int i = 0; i < entry.second; ++i) effect->Release();
    }
    ResourceManager<ParticleEffect>::DeleteThis();
}

EffectManager* GetCreateEffectManager() { return Singleton<EffectManager>::Get(); }

}  // namespace Zyn
