#include <zyn/core/BasicSerializator.h>

#include <string>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>
#include <zyn/io/File.h>

namespace Zyn {

namespace {

// The smallest child entry: its id and its group.
const unsigned int kEntryBytes = 8;

}  // namespace

BasicSerializator::BasicSerializator(File* file) : m_pFile(file) {}

BasicSerializator::~BasicSerializator() = default;

void BasicSerializator::SaveChild(Object* child, int group) {
    if (!child || !m_pCurrentChildren || !child->IsSerializable()) return;
    m_pCurrentChildren->emplace_back(child, group);
}

u32 BasicSerializator::IdOf(Object* obj) {
    auto it = m_SaveIds.find(obj);
    if (it != m_SaveIds.end()) return it->second;
    const u32 id = m_NextId++;
    m_SaveIds.emplace(obj, id);
    return id;
}

bool BasicSerializator::SaveHierarchy(Object* obj) {
    if (SaveObject(obj)) return true;
    LogSend(kLogWarning, "BasicSerializator::SaveHierarchy(%s/%s) -> Failed",
            obj ? obj->GetName().c_str() : "", obj ? obj->GetObjectClassName().c_str() : "");
    return false;
}

bool BasicSerializator::SaveObject(Object* obj) {
    if (!m_pFile || !obj || !obj->IsSerializable()) return false;
    // A nameless object would be written fine and then refused by every reader.
    if (obj->GetName().empty()) {
        LogSend(kLogWarning, "BasicSerializator::SaveHierarchy -> an object of class <%s> has no name",
                obj->GetObjectClassName().c_str());
        return false;
    }
    if (m_Depth >= kMaxDepth) {
        LogSend(kLogWarning, "BasicSerializator::SaveHierarchy -> objects nested deeper than %d levels",
                kMaxDepth);
        return false;
    }
    const u32 id = IdOf(obj);
    if (!m_pFile->WriteString(obj->GetObjectClassName()) || m_pFile->Write32(&id, 1) != 1 ||
        !m_pFile->WriteString(obj->GetName()))
        return false;

    ChildList children;
    m_pCurrentChildren = &children;
    const bool saved = obj->Save(*this);
    // Closed here as well: the list dies with this call.
    m_pCurrentChildren = nullptr;
    if (!saved) return false;

    for (const auto& entry : children) {
        if (m_ObjectsInProgress.count(entry.first) || entry.first == obj) {
            LogSend(kLogWarning,
                    "BasicSerializator::SaveHierarchy -> <%s> links back to <%s>, which contains it",
                    obj->GetName().c_str(), entry.first->GetName().c_str());
            return false;
        }
    }

    const u32 count = u32(children.size());
    if (m_pFile->Write32(&count, 1) != 1) return false;
    m_ObjectsInProgress.insert(obj);
    ++m_Depth;
    bool ok = true;
    // Written in the reverse of the reported order; the reader inserts each
    // child at the front of its group, which restores the order.
    for (auto it = children.rbegin(); ok && it != children.rend(); ++it) {
        Object* child = it->first;
        const u32 entry[2] = {IdOf(child), u32(it->second)};
        if (m_pFile->Write32(entry, 2) != 2) {
            ok = false;
            break;
        }
        if (m_SavedObjects.insert(child).second) ok = SaveHierarchy(child);
    }
    --m_Depth;
    m_ObjectsInProgress.erase(obj);
    return ok;
}

Class* BasicSerializator::GetLoadHierarchyRootClass() {
    if (!m_pFile) return nullptr;
    std::string name;
    const bool read = m_pFile->ReadString(name);
    m_pFile->Seek(0, 0);
    if (!read) return nullptr;
    Class* cls = Class::FindClass(name.c_str());
    if (!cls) {
        LogSend(kLogWarning,
                "BasicSerializator::GetLoadHierarchyRootClass -> Could not find class <%s> defined in stream",
                name.c_str());
    }
    return cls;
}

unsigned int BasicSerializator::RemainingBytes() {
    const unsigned int position = m_pFile->Seek(0, 1);
    const unsigned int size = m_pFile->GetFileSize();
    return size > position ? size - position : 0;
}

bool BasicSerializator::ReadStreamString(std::string& s) {
    // ReadString never allocates beyond what the stream still holds.
    if (m_pFile->ReadString(s)) return true;
    LogSend(kLogWarning, "BasicSerializator::LoadHierarchy -> the stream ends inside a string");
    return false;
}

Object* BasicSerializator::CreateObjectFromHeader(u32& id) {
    std::string className;
    std::string objectName;
    if (!ReadStreamString(className)) return nullptr;
    if (m_pFile->Read32(&id, 1) != 1) {
        LogSend(kLogWarning, "BasicSerializator::LoadHierarchy -> the stream ends inside a header");
        return nullptr;
    }
    if (!ReadStreamString(objectName)) return nullptr;
    Class* cls = Class::FindClass(className.c_str());
    if (!cls || objectName.empty()) {
        LogSend(kLogWarning,
                "BasicSerializator::CreateObjectFromHeader -> Could not find class <%s> defined in stream",
                className.c_str());
        return nullptr;
    }
    if (cls->IsAbstract()) {
        LogSend(kLogWarning,
                "BasicSerializator::CreateObjectFromHeader -> Class <%s> defined in stream is abstract!",
                className.c_str());
        return nullptr;
    }
    return cls->CreateInstance(objectName.c_str());
}

Object* BasicSerializator::LoadHierarchy() {
    if (!m_pFile) return nullptr;
    const bool isRoot = m_Depth == 0;
    if (isRoot) {
        m_bFailed = false;
        m_Created.clear();
        m_Refused.clear();
        m_IdsInProgress.clear();
    }
    ++m_Depth;
    Object* obj = LoadObject(isRoot);
    --m_Depth;
    if (!obj) m_bFailed = true;
    if (!isRoot) return obj;
    ReleaseCreated(m_bFailed);
    return m_bFailed ? nullptr : obj;
}

Object* BasicSerializator::LoadObject(bool isRoot) {
    // Children are read recursively; no real file comes near this depth.
    if (m_Depth > kMaxDepth) {
        LogSend(kLogWarning, "BasicSerializator::LoadHierarchy -> objects nested deeper than %d levels",
                kMaxDepth);
        return nullptr;
    }
    u32 ownId = 0;
    Object* obj = CreateObjectFromHeader(ownId);
    if (!obj) return nullptr;
    m_Created.push_back(obj);
    if (isRoot) m_IdsInProgress.insert(ownId);

    // Its result is not looked at: a short read shows in what follows.
    obj->Load(*this);

    u32 count = 0;
    if (m_pFile->Read32(&count, 1) != 1) {
        LogSend(kLogWarning,
                "BasicSerializator::LoadHierarchy -> the stream ends before the children of <%s>",
                obj->GetName().c_str());
        return nullptr;
    }
    if (count > RemainingBytes() / kEntryBytes) {
        LogSend(kLogWarning,
                "BasicSerializator::LoadHierarchy -> <%s> claims %u children, more than the stream holds",
                obj->GetName().c_str(), count);
        return nullptr;
    }
    for (u32 i = 0; i < count; ++i) {
        u32 entry[2];
        if (m_pFile->Read32(entry, 2) != 2) {
            LogSend(kLogWarning,
                    "BasicSerializator::LoadHierarchy -> the stream ends inside the children of <%s>",
                    obj->GetName().c_str());
            return nullptr;
        }
        const u32 id = entry[0];
        Object* child = nullptr;
        bool isNew = false;
        auto found = m_LoadedObjects.find(id);
        if (found != m_LoadedObjects.end()) {
            child = found->second;
        } else if (m_IdsInProgress.count(id)) {
            LogSend(kLogWarning,
                    "BasicSerializator::LoadHierarchy -> <%s> links back to an object still being loaded",
                    obj->GetName().c_str());
            return nullptr;
        } else {
            m_IdsInProgress.insert(id);
            child = LoadHierarchy();
            m_IdsInProgress.erase(id);
            if (!child) return nullptr;
            m_LoadedObjects.emplace(id, child);
            isNew = true;
        }
        if (obj->InsertObject(child, int(entry[1]), 0, nullptr) == -2) {
            LogSend(kLogWarning,
                    "BasicSerializator::LoadHierarchy -> <%s> did not take its child <%s> into group %d",
                    obj->GetName().c_str(), child->GetName().c_str(), int(entry[1]));
            if (isNew) m_Refused.push_back(child);
        }
    }
    obj->LoadComplete();
    return obj;
}

void BasicSerializator::ReleaseCreated(bool failed) {
    if (failed) {
        // Every object created so far is still alive: the groups that hold
        // them are alive too. Holding one extra reference on each while the
        // others go lets every object die exactly once, whatever links them.
        for (Object* o : m_Created) o->AddRef();
        for (Object* o : m_Created) o->Release();
        m_LoadedObjects.clear();
    } else {
        // A child that no parent took and no later entry claimed belongs to nobody.
        for (Object* o : m_Refused) {
            if (o->GetRefCount() == 0 && o->GetObjectParentCount() == 0) {
                for (auto it = m_LoadedObjects.begin(); it != m_LoadedObjects.end(); ++it) {
                    if (it->second == o) {
                        m_LoadedObjects.erase(it);
                        break;
                    }
                }
                o->Release();
            }
        }
    }
    m_Created.clear();
    m_Refused.clear();
}

}  // namespace Zyn
