#include <zyn/resources/Resource.h>

#include <zyn/core/Property.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(Resource, "Resource", nullptr, nullptr, nullptr, Object)

unsigned int Resource::PropertyConfirmValueFlags(unsigned int flags, ValueProperty* prop) {
    if (prop && prop->GetName() == "Name") return flags | ValueProperty::kReadOnly;
    return flags;
}

}  // namespace Zyn
