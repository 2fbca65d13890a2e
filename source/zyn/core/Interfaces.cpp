#include <zyn/core/Interfaces.h>
#include <zyn/core/ResourceManagerBase.h>

namespace Zyn {

ZYN_IMPLEMENT_ROOT_CLASS(ICharEventReceiver, "ICharEventReceiver", nullptr)
ZYN_IMPLEMENT_CLASS(ResourceManagerBase, "ResourceManagerBase", nullptr, nullptr, nullptr, Object)

}  // namespace Zyn
