// Base of loadable, named, shared resources. A managed resource's name is
// its key in its manager and never changes.
#pragma once

#include <zyn/core/Class.h>

namespace Zyn {

class File;

class Resource : public Object {
    ZYN_DECLARE_CLASS(Resource)

public:
    explicit Resource(const char* name = "") : Object(name) {}
    /// Fills the resource from an open stream; false when it cannot.
    virtual bool LoadFromFile(File& file) = 0;
    /// Marks "Name" read-only: the name is the manager's key.
    unsigned int PropertyConfirmValueFlags(unsigned int flags, ValueProperty* prop) override;
};

}  // namespace Zyn
