// The manager interface seen by Root and by class records; the managers
// themselves live in the resources layer.
#pragma once

#include <set>
#include <string>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>

namespace Zyn {

class ResourceManagerBase : public Object {
    ZYN_DECLARE_CLASS(ResourceManagerBase)

public:
    ResourceManagerBase() : Object("Unnamed object") {}
    /// A new reference owned by the caller, or the class's null result.
    virtual Object* GetResource(const char* name, Class* cls) = 0;
    /// Reloads in place; references stay valid.
    virtual bool ReloadResource(Object* obj) = 0;
    /// Root's teardown lets managers go pass by pass, lowest first: a manager
    /// whose resources other resources hold (textures held by fonts and
    /// emitters) answers a later pass, so nothing it frees is still in use.
    virtual int GetReleasePass() const { return 0; }

protected:
    // A missing or broken resource is asked for again and again (preloads,
    // every instance of an effect); it is reported once, then only traced.
    /// The level for a failure of this name: a warning the first time.
    int FailureLevel(const char* name) const { return m_FailedNames.count(name) ? kLogDebug : kLogWarning; }
    bool HasFailed(const char* name) const { return m_FailedNames.count(name) != 0; }
    void NoteFailure(const char* name) { m_FailedNames.insert(name); }
    void NoteSuccess(const char* name) { m_FailedNames.erase(name); }

private:
    std::set<std::string> m_FailedNames;
};

}  // namespace Zyn
