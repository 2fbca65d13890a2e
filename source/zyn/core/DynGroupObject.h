// Objects with numbered child groups. A group holds children of one class,
// may take a reference on them, tick them and save them with the owner.
// The owner's table does not own the containers; they are usually members.
#pragma once

#include <list>
#include <vector>

#include <zyn/core/Object.h>

namespace Zyn {

class ObjectSerializator;

class IDynGroup {
public:
    enum : u32 {
        kUpdate = 1,   // children ticked by DynGroupObject::Update
        kHoldRef = 2,  // insertion takes a reference on the child
        kSave = 4,     // children saved with the owner
    };
    u32 m_Flags = kUpdate | kHoldRef;

    virtual ~IDynGroup() = default;
    /// Position 0 puts the object at the front, any other value at the back.
    virtual bool InsertObject(Object* obj, unsigned int position) = 0;
    /// Drops every child; with an owner, unlinks each from it first.
    virtual void Clear(Object* owner, int group) = 0;
    virtual bool RemoveObject(Object* obj) = 0;
    virtual void Update(float dt) = 0;
    virtual Object* FindObject(const char* name, Class* cls) = 0;
    virtual int EnumObjects(std::list<Object*>& out) = 0;
    virtual void SaveObjects(ObjectSerializator& s, int group) = 0;
};

class DynGroupObject : public Object {
    ZYN_DECLARE_CLASS(DynGroupObject)

public:
    explicit DynGroupObject(const char* name = "");
    ~DynGroupObject() override;

    bool Update(float dt) override;
    int InsertObject(Object* obj, int group, unsigned int position, void* extra) override;
    int RemoveObject(Object* obj, int group) override;
    int EnumObjects(int group, std::list<Object*>& out) override;
    Object* FindObject(const char* name, Class* cls, int group) override;
    bool Save(ObjectSerializator& s) override;

    /// Clears every group and leaves n empty (null) entries.
    void SetGroupCount(unsigned int n);
    /// Borrowed container; an occupied entry is cleared first.
    void SetupGroup(unsigned int index, IDynGroup* group);
    void ClearGroups();
    unsigned int GetGroupCount() const { return unsigned(m_Groups.size()); }
    /// Borrowed container or null.
    IDynGroup* GetGroup(unsigned int index) const {
        return index < m_Groups.size() ? m_Groups[index] : nullptr;
    }

protected:
    std::vector<IDynGroup*> m_Groups;
};

/// A group over std::list<T*>; accepts exactly the objects that cast to T.
template <class T>
class StdListDynGroup : public IDynGroup {
public:
    typedef std::list<T*> List;

    bool InsertObject(Object* obj, unsigned int position) override {
        T* p = ZYN_Cast<T, Object>(obj);
        if (!p) return false;
        if (position == 0)
            m_List.push_front(p);
        else
            m_List.push_back(p);
        return true;
    }

    void Clear(Object* owner, int group) override {
        if (owner) {
            // Work on a copy: unlinking may destroy a child, and a dying
            // child asks its parents to remove it from this very list.
            List copy;
            copy.swap(m_List);
            for (T* p : copy) owner->RemoveObjectHelper(ZYN_Cast<Object, T>(p), group);
        }
        m_List.clear();
    }

    bool RemoveObject(Object* obj) override {
        T* p = ZYN_Cast<T, Object>(obj);
        if (!p) return false;
        for (auto it = m_List.begin(); it != m_List.end(); ++it) {
            if (*it == p) {
                m_List.erase(it);
                return true;
            }
        }
        return false;
    }

    void Update(float dt) override {
        for (auto it = m_List.begin(); it != m_List.end();) {
            // Take the successor first: a child may remove itself.
            auto next = std::next(it);
            Object* o = ZYN_Cast<Object, T>(*it);
            if (o && !o->Update(dt)) break;
            it = next;
        }
    }

    Object* FindObject(const char* name, Class* cls) override;

    int EnumObjects(std::list<Object*>& out) override {
        for (T* p : m_List) out.push_back(ZYN_Cast<Object, T>(p));
        return int(m_List.size());
    }

    void SaveObjects(ObjectSerializator& s, int group) override;

    List& GetList() { return m_List; }
    const List& GetList() const { return m_List; }

private:
    List m_List;
};

}  // namespace Zyn
