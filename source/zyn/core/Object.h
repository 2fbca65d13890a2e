// The reference-counted object every framework class derives from, its
// parent links, events, and the macros that give a class its record.
// Objects are not thread-safe: change the graph on the frame thread only.
#pragma once

#include <list>
#include <string>

#include <zyn/core/Types.h>

namespace Zyn {

class Class;
class CppClass;
class Object;
class ObjectSerializator;
class ValueProperty;

/// Casts through the class records; null for a null object or a failed cast.
template <class T, class F>
T* ZYN_Cast(F* obj);

/// Event kinds: compare the addresses, never the contents.
extern const int ZYN_EVT_GENERIC;
extern const int ZYN_EVT_WIDGET_TRIGGERED;
extern const int ZYN_MAX_INPUT_LENGTH;

/// Built on the sender's stack and passed up to the parents by reference.
struct Event {
    const void* m_pType = &ZYN_EVT_GENERIC;
    s32 m_ID = 0;
    Object* m_pSender = nullptr;
};

/// One insertion of an object into one group of a parent.
struct ParentLink {
    Object* m_pParent = nullptr;
    s32 m_Group : 31;
    u32 m_bHoldsRef : 1;
    ParentLink* m_pNext = nullptr;
    ParentLink() : m_Group(0), m_bHoldsRef(0) {}
};

// Declares the record and the two reflection operations of a class; the
// matching ZYN_IMPLEMENT_* macro in the source file defines them.
#define ZYN_DECLARE_CLASS(X)                                  \
public:                                                       \
    static ::Zyn::CppClass sm_Class;                          \
    ::Zyn::Class* GetClass() override;                        \
    void* CastMeToClass(::Zyn::Class* cls) override;          \
                                                              \
private:

// For a root class of its own hierarchy (Object and the interfaces).
#define ZYN_DECLARE_ROOT_CLASS(X)                             \
public:                                                       \
    static ::Zyn::CppClass sm_Class;                          \
    virtual ::Zyn::Class* GetClass();                         \
    virtual void* CastMeToClass(::Zyn::Class* cls);           \
                                                              \
private:

class Object {
    ZYN_DECLARE_ROOT_CLASS(Object)

public:
    explicit Object(const char* name = "");
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    virtual void SetName(std::string name);
    /// Per-frame tick; false stops the update walk of the holding group.
    virtual bool Update(float dt);
    /// Returns the group index that took the child, or -2 (no groups here).
    virtual int InsertObject(Object* child, int group, unsigned int position, void* extra);
    /// Returns the number of removals made.
    virtual int RemoveObject(Object* child, int group);
    /// Borrowed pointer to a parent, or null.
    virtual Object* FindParent(const char* name, Class* cls);
    /// Appends every parent, newest link first; a parent may appear twice.
    virtual void EnumParents(std::list<Object*>& out);
    virtual int EnumObjects(int group, std::list<Object*>& out);
    /// Borrowed pointer to a child, or null.
    virtual Object* FindObject(const char* name, Class* cls, int group);
    /// Non-zero when handled.
    virtual int ProcessEvent(Event& event);
    virtual bool IsSerializable();
    virtual bool Save(ObjectSerializator& s);
    virtual bool Load(ObjectSerializator& s);
    virtual void LoadComplete();
    /// Lets an instance adjust the flags of one of its properties.
    virtual unsigned int PropertyConfirmValueFlags(unsigned int flags, ValueProperty* prop);
    virtual void DeleteThis();
    virtual ~Object();

    /// Returns the new count.
    int AddRef();
    /// Returns the remaining count; 0 once destroyed, never negative.
    int Release();
    void InsertObjectHelper(Object* child, int group, bool addRef);
    bool RemoveObjectHelper(Object* child, int group);
    void MoveChildToFront(Object* child, int group);
    void MoveChildToBack(Object* child, int group);
    /// First non-zero result of a parent's ProcessEvent, else 0.
    int SendEventToParents(Event& event, Class* filter);

    std::string GetObjectClassName();
    std::string GetObjNameCopy() const { return m_Name; }
    const std::string& GetName() const { return m_Name; }
    unsigned int GetObjectParentCount() const { return m_ParentCount; }
    int GetRefCount() const { return m_RefCount; }

    static void RegisterProps(Class* cls);
    /// Objects constructed and not yet destroyed, class records included;
    /// for leak hunting and soak runs.
    static int GetLiveObjectCount();

protected:
    ParentLink* m_pParents = nullptr;
    // Kept equal to the number of parent links.
    u32 m_ParentCount = 0;
    s32 m_RefCount = 0;
    std::string m_Name;

    friend class ObjectPropsAccess;
};

/// Keeps one reference for the lifetime of the holder; early returns cannot leak.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    Ref(const Ref& o) : Ref(o.m_p) {}
    Ref& operator=(const Ref& o) {
        Reset(o.m_p);
        return *this;
    }
    ~Ref() { Reset(); }
    void Reset(T* p = nullptr) {
        if (p) p->AddRef();
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

}  // namespace Zyn
