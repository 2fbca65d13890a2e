#include <zyn/core/Interfaces.h>
#include <zyn/core/Property.h>
#include <zyn/core/ResourceManagerBase.h>

namespace Zyn {

ZYN_IMPLEMENT_ROOT_CLASS(ICharEventReceiver, "ICharEventReceiver", nullptr)
ZYN_IMPLEMENT_ROOT_CLASS(IExportable, "IExportable", nullptr)
ZYN_IMPLEMENT_ROOT_CLASS(IImportable, "IImportable", nullptr)
ZYN_IMPLEMENT_ROOT_CLASS(IDuplicatable, "IDuplicatable", nullptr)
ZYN_IMPLEMENT_ROOT_CLASS(IPositionable, "IPositionable", &IPositionable::RegisterProps)
ZYN_IMPLEMENT_ROOT_CLASS(ITask, "ITask", nullptr)
ZYN_IMPLEMENT_CLASS(ResourceManagerBase, "ResourceManagerBase", nullptr, nullptr, nullptr, Object)

void IPositionable::RegisterProps(Class* cls) {
    cls->InsertValueProp(new GetSetMemberProp<IPositionable, Point3D<float>>(
        "Position", "The position of the object", &IPositionable::GetPosition, &IPositionable::SetPosition, 0));
}

}  // namespace Zyn
