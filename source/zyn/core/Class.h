// Run-time class records. One static CppClass per reflected class, chained
// at static initialisation; searched by name, used for casts across
// multiple inheritance, for creating objects by name and for properties.
#pragma once

#include <cstddef>
#include <vector>

#include <zyn/core/DynGroupObject.h>
#include <zyn/core/ObjectSerializator.h>

namespace Zyn {

class ResourceManagerBase;
class ValueProperty;
class GroupProperty;
class FunctionPropertyBase;

class Class : public DynGroupObject {
    ZYN_DECLARE_CLASS(Class)

public:
    explicit Class(const char* name);
    ~Class() override;

    /// New object owned by the caller, or null for an abstract class.
    virtual Object* CreateInstance(const char* name) = 0;
    /// True for this record and its ancestors; false for null.
    virtual bool Supports(Class* cls) = 0;
    virtual bool IsAbstract() = 0;
    virtual bool IsSingleton() = 0;
    /// The manager of this resource class; borrowed, may be null.
    virtual ResourceManagerBase* GetResourceManager();
    virtual void EnumParentClasses(std::list<Class*>& out) = 0;
    virtual void InsertGroupProp(GroupProperty* prop);
    virtual void InsertValueProp(ValueProperty* prop);
    virtual void InsertFunctionProp(FunctionPropertyBase* prop);
    /// p adjusted to the target base, or null when the class is no target.
    virtual void* DownCast(void* p, Class* target) = 0;

    /// The record named exactly so, or null (logged).
    static Class* FindClass(const char* name);
    /// Like FindClass, without the log line.
    static Class* FindClassQuiet(const char* name);
    /// Head of the chain, newest record first.
    static Class* GetFirst() { return ms_pRoot; }
    Class* GetNextClass() const { return m_pNextClass; }
    const char* GetClassName() const { return m_Name.c_str(); }

    const std::list<ValueProperty*>& GetValueProps() const { return m_ValueProps.GetList(); }
    const std::list<GroupProperty*>& GetGroupProps() const { return m_GroupProps.GetList(); }
    const std::list<FunctionPropertyBase*>& GetFunctionProps() const {
        return m_FunctionProps.GetList();
    }

private:
    static Class* ms_pRoot;
    Class* m_pNextClass = nullptr;
    StdListDynGroup<ValueProperty> m_ValueProps;
    StdListDynGroup<GroupProperty> m_GroupProps;
    StdListDynGroup<FunctionPropertyBase> m_FunctionProps;
};

class CppClass : public Class {
    ZYN_DECLARE_CLASS(CppClass)

public:
    typedef Object* (*CreateFn)(const char* name);
    typedef ResourceManagerBase* (*ManagerFn)();
    typedef void (*RegisterFn)(Class* cls);

    /// The tail holds parentCount pairs (Class* parent, int byte offset).
    CppClass(const char* name, CreateFn create, ManagerFn manager, RegisterFn registerProps,
             unsigned int parentCount, ...);
    ~CppClass() override;

    Object* CreateInstance(const char* name) override;
    bool Supports(Class* cls) override;
    bool IsAbstract() override { return m_pfnCreate == nullptr; }
    bool IsSingleton() override { return false; }
    ResourceManagerBase* GetResourceManager() override;
    void EnumParentClasses(std::list<Class*>& out) override;
    void* DownCast(void* p, Class* target) override;
    // Records are static objects: never deleted through Release.
    void DeleteThis() override {}

private:
    struct ParentPair {
        Class* m_pClass;
        s32 m_Offset;
    };
    u32 m_ParentClassCount = 0;
    std::vector<ParentPair> m_Parents;
    CreateFn m_pfnCreate = nullptr;
    ManagerFn m_pfnGetManager = nullptr;
};

template <class T, class F>
T* ZYN_Cast(F* obj) {
    if (!obj) return nullptr;
    return static_cast<T*>(obj->CastMeToClass(&T::sm_Class));
}

/// Byte offset of base B inside D, for the parent pairs of D's record.
template <class D, class B>
int ZynBaseOffset() {
    // Upcasting only adjusts the address; no object is touched.
    alignas(D) static unsigned char storage[sizeof(D)];
    D* d = reinterpret_cast<D*>(storage);
    return int(reinterpret_cast<unsigned char*>(static_cast<B*>(d)) - storage);
}

template <class T>
Object* StdListDynGroup<T>::FindObject(const char* name, Class* cls) {
    for (T* p : m_List) {
        Object* o = ZYN_Cast<Object, T>(p);
        if (!o) continue;
        if (!name) {
            if (!cls) return nullptr;
            if (o->GetClass()->Supports(cls)) return o;
            continue;
        }
        if (o->GetName() == name && (!cls || o->GetClass()->Supports(cls))) return o;
    }
    return nullptr;
}

template <class T>
void StdListDynGroup<T>::SaveObjects(ObjectSerializator& s, int group) {
    for (T* p : m_List) s.SaveChild(ZYN_Cast<Object, T>(p), group);
}

}  // namespace Zyn

// Reflection operations of class X, whose record is defined next to them.
#define ZYN_IMPLEMENT_REFLECTION(X)                                                 \
    ::Zyn::Class* X::GetClass() { return &X::sm_Class; }                            \
    void* X::CastMeToClass(::Zyn::Class* cls) { return X::sm_Class.DownCast(this, cls); }

#define ZYN_OFFSET(D, B) ::Zyn::ZynBaseOffset<D, B>()

// Defines the record of X with one primary base (offset 0).
#define ZYN_IMPLEMENT_CLASS(X, NAME, CREATE, MANAGER, PROPS, BASE) \
    ::Zyn::CppClass X::sm_Class(NAME, CREATE, MANAGER, PROPS, 1, &BASE::sm_Class, 0); \
    ZYN_IMPLEMENT_REFLECTION(X)

// Defines the record of X with a primary base and one interface.
#define ZYN_IMPLEMENT_CLASS2(X, NAME, CREATE, MANAGER, PROPS, BASE, IFACE)                    \
    ::Zyn::CppClass X::sm_Class(NAME, CREATE, MANAGER, PROPS, 2, &BASE::sm_Class, 0,         \
                                &IFACE::sm_Class, ZYN_OFFSET(X, IFACE));                      \
    ZYN_IMPLEMENT_REFLECTION(X)

// Defines the record of X with a primary base and two interfaces.
#define ZYN_IMPLEMENT_CLASS3(X, NAME, CREATE, MANAGER, PROPS, BASE, IFACE1, IFACE2)           \
    ::Zyn::CppClass X::sm_Class(NAME, CREATE, MANAGER, PROPS, 3, &BASE::sm_Class, 0,         \
                                &IFACE1::sm_Class, ZYN_OFFSET(X, IFACE1), &IFACE2::sm_Class, \
                                ZYN_OFFSET(X, IFACE2));                                       \
    ZYN_IMPLEMENT_REFLECTION(X)

// Defines the record of a root class without parents (interfaces).
#define ZYN_IMPLEMENT_ROOT_CLASS(X, NAME, PROPS)                \
    ::Zyn::CppClass X::sm_Class(NAME, nullptr, nullptr, PROPS, 0); \
    ZYN_IMPLEMENT_REFLECTION(X)

// Factory body for concrete classes: `ZYN_STATIC_CREATE(X)` inside the class.
#define ZYN_STATIC_CREATE(X) \
    static ::Zyn::Object* StaticCreate(const char* name) { return new X(name); }
