#include <zyn/core/AppObject.h>

#include <zyn/core/Class.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(AppObject, "AppObject", nullptr, nullptr, nullptr, DynGroupObject)

bool AppObject::Render(float) { return true; }

}  // namespace Zyn
