// The unit of scene content: layers, transitions, widgets, effect instances.
// Updated front to back and rendered back to front by their application.
#pragma once

#include <zyn/core/Class.h>

namespace Zyn {

class AppObject : public DynGroupObject {
    ZYN_DECLARE_CLASS(AppObject)

public:
    explicit AppObject(const char* name = "") : DynGroupObject(name) {}
    /// Draws the object; false when it could not.
    virtual bool Render(float dt);
};

}  // namespace Zyn
