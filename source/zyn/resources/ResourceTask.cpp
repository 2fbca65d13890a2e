#include <zyn/resources/ResourceTask.h>

#include <zyn/core/ResourceManagerBase.h>
#include <zyn/resources/Resource.h>

namespace Zyn {

ResourceTask::ResourceTask(const char* name, Class* cls, ResourceAction action)
    : m_Name(name ? name : ""), m_pClass(cls), m_Action(action) {
    if (m_pClass) (void)m_pClass->GetResourceManager();
}

bool ResourceTask::Execute() {
    if (m_Name.empty() || !m_pClass) return false;
    ResourceManagerBase* manager = m_pClass->GetResourceManager();
    if (!manager) return false;
    switch (m_Action) {
        case RA_Load:
            // The reference is kept on purpose: the loaded resource stays resident.
            return manager->GetResource(m_Name.c_str(), m_pClass) != nullptr;
        case RA_Release: {
            Object* res = manager->FindObject(m_Name.c_str(), m_pClass, -3);
            if (!res) return false;
            res->Release();
            return true;
        }
        case RA_Reload: {
            Resource* res = ZYN_Cast<Resource, Object>(manager->FindObject(m_Name.c_str(), m_pClass, -3));
            if (!res) return false;
            (void)manager->ReloadResource(res);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace Zyn
