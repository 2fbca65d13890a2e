// The object stream over one File: a depth-first walk where each object is
// its class name, a 32-bit id, its name, the data its Save writes, and its
// child entries (id, group, and the child itself at its first entry).
// A serializator serves one save or one load, on one thread. The file is
// borrowed and must outlive it. Ids are only keys: a writer numbers the
// objects of one stream 1, 2, 3... in the order they are first written, so
// the same hierarchy always gives the same bytes.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Types.h>

namespace Zyn {

class BasicSerializator : public Serializator, public ObjectSerializator {
public:
    /// Deepest nesting of objects that a stream may hold; deeper streams are
    /// rejected on load and refused on save.
    static constexpr int kMaxDepth = 64;

    /// file is borrowed; the caller deletes it after the serializator.
    explicit BasicSerializator(File* file);
    ~BasicSerializator() override;

    /// Class record of the stream's root, or null (unknown class, no file,
    /// no string). Leaves the stream at position 0.
    Class* GetLoadHierarchyRootClass() override;
    /// Reads one object and its children from the current position. Returns
    /// a new object owned by the caller (count as its factory left it), or
    /// null when any object of the stream cannot be read; then every object
    /// created by this load has been released again.
    Object* LoadHierarchy() override;
    /// Writes obj and, after it, every child its Save reports. False (logged)
    /// when obj or any object below it cannot be written; the stream is then
    /// incomplete.
    bool SaveHierarchy(Object* obj) override;

    /// Borrowed.
    File* GetFile() override { return m_pFile; }
    void SaveChild(Object* child, int group) override;
    void AllChildrenSaved() override { m_pCurrentChildren = nullptr; }

private:
    typedef std::vector<std::pair<Object*, int>> ChildList;

    Object* LoadObject(bool isRoot);
    Object* CreateObjectFromHeader(u32& id);
    bool ReadStreamString(std::string& s);
    bool SaveObject(Object* obj);
    u32 IdOf(Object* obj);
    unsigned int RemainingBytes();
    void ReleaseCreated(bool failed);

    File* m_pFile;
    // Filled by SaveChild while an object's Save runs, in the order reported;
    // null when no list is open.
    ChildList* m_pCurrentChildren = nullptr;
    std::set<Object*> m_SavedObjects;
    std::map<u32, Object*> m_LoadedObjects;

    std::unordered_map<Object*, u32> m_SaveIds;
    u32 m_NextId = 1;
    // Objects (on save) and ids (on load) whose walk has begun and not ended:
    // an entry naming one of them would close a cycle.
    std::set<Object*> m_ObjectsInProgress;
    std::set<u32> m_IdsInProgress;
    // Everything this load created, in creation order, and the children no
    // parent accepted.
    std::vector<Object*> m_Created;
    std::vector<Object*> m_Refused;
    int m_Depth = 0;
    bool m_bFailed = false;
};

}  // namespace Zyn
