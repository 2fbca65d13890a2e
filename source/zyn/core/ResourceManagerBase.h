// The manager interface seen by Root and by class records; the managers
// themselves live in the resources layer.
#pragma once

#include <zyn/core/Class.h>

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
};

}  // namespace Zyn
