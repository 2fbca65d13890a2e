#include <zyn/core/Class.h>

#include <cstdarg>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/core/Property.h>

namespace Zyn {

// Constant-initialised, so records built in any order find a valid chain.
Class* Class::ms_pRoot = nullptr;

ZYN_IMPLEMENT_CLASS(Class, "Class", nullptr, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(CppClass, "CppClass", nullptr, nullptr, nullptr, Class)

Class::Class(const char* name) : DynGroupObject(name) {
    SetGroupCount(3);
    SetupGroup(0, &m_ValueProps);
    SetupGroup(1, &m_GroupProps);
    SetupGroup(2, &m_FunctionProps);
    m_ValueProps.m_Flags = IDynGroup::kHoldRef;
    m_GroupProps.m_Flags = IDynGroup::kHoldRef;
    m_FunctionProps.m_Flags = IDynGroup::kHoldRef;
    m_pNextClass = ms_pRoot;
    ms_pRoot = this;
}

Class::~Class() {
    ClearGroups();
    for (Class** pp = &ms_pRoot; *pp; pp = &(*pp)->m_pNextClass) {
        if (*pp == this) {
            *pp = m_pNextClass;
            break;
        }
    }
}

ResourceManagerBase* Class::GetResourceManager() { return nullptr; }

// Properties are appended directly: the type filter would consult class
// records that may not be constructed yet during static initialisation.
void Class::InsertGroupProp(GroupProperty* prop) {
    if (!prop) return;
    m_GroupProps.GetList().push_back(prop);
    InsertObjectHelper(prop, 1, true);
}

void Class::InsertValueProp(ValueProperty* prop) {
    if (!prop) return;
    m_ValueProps.GetList().push_back(prop);
    InsertObjectHelper(prop, 0, true);
}

void Class::InsertFunctionProp(FunctionPropertyBase* prop) {
    if (!prop) return;
    m_FunctionProps.GetList().push_back(prop);
    InsertObjectHelper(prop, 2, true);
}

Class* Class::FindClassQuiet(const char* name) {
    if (!name) return nullptr;
    for (Class* c = ms_pRoot; c; c = c->m_pNextClass) {
        if (std::strcmp(c->GetClassName(), name) == 0) return c;
    }
    return nullptr;
}

Class* Class::FindClass(const char* name) {
    Class* c = FindClassQuiet(name);
    if (!c) LogSend(kLogWarning, "Class::FindClass -> Can't find class: %s", name ? name : "");
    return c;
}

CppClass::CppClass(const char* name, CreateFn create, ManagerFn manager, RegisterFn registerProps,
                   unsigned int parentCount, ...)
    : Class(name), m_ParentClassCount(parentCount), m_pfnCreate(create), m_pfnGetManager(manager) {
    va_list args;
    va_start(args, parentCount);
    m_Parents.reserve(parentCount);
    for (unsigned int i = 0; i < parentCount; ++i) {
        ParentPair pair;
        pair.m_pClass = va_arg(args, Class*);
        pair.m_Offset = va_arg(args, int);
        m_Parents.push_back(pair);
    }
    va_end(args);
    if (registerProps) registerProps(this);
}

CppClass::~CppClass() = default;

Object* CppClass::CreateInstance(const char* name) {
    return m_pfnCreate ? m_pfnCreate(name ? name : "") : nullptr;
}

bool CppClass::Supports(Class* cls) {
    if (!cls) return false;
    if (cls == this) return true;
    for (const ParentPair& p : m_Parents) {
        if (p.m_pClass && p.m_pClass->Supports(cls)) return true;
    }
    return false;
}

ResourceManagerBase* CppClass::GetResourceManager() {
    return m_pfnGetManager ? m_pfnGetManager() : nullptr;
}

void CppClass::EnumParentClasses(std::list<Class*>& out) {
    for (const ParentPair& p : m_Parents) out.push_back(p.m_pClass);
}

void* CppClass::DownCast(void* p, Class* target) {
    if (!target) return nullptr;
    if (target == this) return p;
    if (!p) return nullptr;
    for (const ParentPair& pair : m_Parents) {
        if (!pair.m_pClass) continue;
        void* r = pair.m_pClass->DownCast(static_cast<char*>(p) + pair.m_Offset, target);
        if (r) return r;
    }
    return nullptr;
}

}  // namespace Zyn
