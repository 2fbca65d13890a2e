// Interfaces: polymorphic bases that are not Objects. Each has a class record
// without parents, so code holding only the interface can ask for its class
// and cast it.
#pragma once

#include <zyn/core/Class.h>

namespace Zyn {

class ICharEventReceiver {
    ZYN_DECLARE_ROOT_CLASS(ICharEventReceiver)

public:
    virtual ~ICharEventReceiver() = default;
    /// False stops the delivery of this character to later subscribers.
    virtual bool ReceiveCharEvent(int character) = 0;
};

}  // namespace Zyn
