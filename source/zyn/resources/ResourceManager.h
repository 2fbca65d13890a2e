// The manager of one resource class: resources shared by name, loaded from the
// packages on first request and destroyed by their last Release. The manager
// keeps no reference of its own: a resource is linked to it uncounted, and its
// destruction removes it from the map. Not thread-safe (see the loader).
#pragma once

#include <cstring>
#include <list>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <zyn/core/Property.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/core/Root.h>
#include <zyn/io/File.h>

namespace Zyn {

namespace ResourceManagerDetail {

// The class's null resource when it has one (Texture), else null.
template <class T, class = void>
struct NullResource {
    static T* Get() { return nullptr; }
};
template <class T>
struct NullResource<T, std::void_t<decltype(T::GetNullResource())>> {
    static T* Get() { return T::GetNullResource(); }
};

// Classes without LoadFromFile (effects) cannot be loaded by the template.
template <class T, class = void>
struct Loader {
    static bool Load(T*, File&) { return false; }
};
template <class T>
struct Loader<T, std::void_t<decltype(std::declval<T&>().LoadFromFile(std::declval<File&>()))>> {
    static bool Load(T* res, File& file) { return res->LoadFromFile(file); }
};

}  // namespace ResourceManagerDetail

template <class T>
class ResourceManager : public ResourceManagerBase {
public:
    /// Byte-wise comparison: keys are exact and case-sensitive.
    struct less_str {
        bool operator()(const std::string& a, const std::string& b) const {
            return std::strcmp(a.c_str(), b.c_str()) < 0;
        }
    };
    // Keyed by a copy of the name rather than a pointer into the resource, so
    // that a resource renamed behind the manager's back cannot corrupt the map.
    typedef std::map<std::string, T*, less_str> Map;

    ResourceManager() { m_Name = std::string(T::sm_Class.GetClassName()) + "Manager"; }

    ~ResourceManager() override {
        // Survivors keep living with their holders; they must not point back here.
        Map survivors;
        survivors.swap(m_Resources);
        for (auto& entry : survivors) RemoveObjectHelper(AsObject(entry.second), 0);
        // Deleted at exit while the Root may still list it: leave no dangling entry.
        if (m_pParents && Singleton<Root>::Exists())
            Singleton<Root>::Get()->GetResourceManagerGroup().GetList().remove(this);
        while (m_pParents) {
            ParentLink* next = m_pParents->m_pNext;
            delete m_pParents;
            m_pParents = next;
        }
        m_ParentCount = 0;
    }

    /// The resource with one more reference for the caller (who must Release it);
    /// loads it on first request. On failure the class's null resource (also
    /// with a reference for the caller) or null.
    T* GetResourceTyped(const char* name) {
        if (!name) return ResourceManagerDetail::NullResource<T>::Get();
        LogSend(kLogDebug, "GetResourceTyped::Finding resource: %s", name);
        auto it = m_Resources.find(name);
        if (it != m_Resources.end()) {
            LogSend(kLogDebug, "GetResourceTyped::Resource found: %s", name);
            AsObject(it->second)->AddRef();
            return it->second;
        }
        LogSend(kLogDebug, "GetResourceTyped::Resource not found: %s", name);
        File* file = Singleton<Root>::Get()->OpenFile(name, !HasFailed(name));
        if (!file) {
            LogSend(FailureLevel(name), "Resource <%s> not found...", name);
            NoteFailure(name);
            return ResourceManagerDetail::NullResource<T>::Get();
        }
        T* res = new T(name);
        Object* obj = AsObject(res);
        if (ResourceManagerDetail::Loader<T>::Load(res, *file)) {
            m_Resources.emplace(obj->GetName(), res);
            InsertObjectHelper(obj, 0, false);
            obj->AddRef();
            delete file;
            NoteSuccess(name);
            return res;
        }
        delete file;
        obj->Release();
        LogSend(FailureLevel(name), "Could not load resource <%s>...", name);
        NoteFailure(name);
        return ResourceManagerDetail::NullResource<T>::Get();
    }

    /// The class is not looked at; see GetResourceTyped.
    Object* GetResource(const char* name, Class*) override { return AsObject(GetResourceTyped(name)); }

    /// Adopts a resource made elsewhere without taking a reference.
    /// Returns 0, or -2 for a foreign class or a name already managed.
    int InsertObject(Object* obj, int, unsigned int, void*) override {
        T* res = ZYN_Cast<T, Object>(obj);
        if (!res) {
            LogSend(kLogWarning, "Bad resource class (%s, %s)", obj ? obj->GetName().c_str() : "",
                    m_Name.c_str());
            return -2;
        }
        if (m_Resources.count(obj->GetName())) {
            LogSend(kLogWarning, "Resource <%s> is already managed in %s", obj->GetName().c_str(),
                    m_Name.c_str());
            return -2;
        }
        m_Resources.emplace(obj->GetName(), res);
        InsertObjectHelper(obj, 0, false);
        return 0;
    }

    /// Returns 1 when the object was managed here (entry and link dropped), else 0.
    int RemoveObject(Object* obj, int) override {
        auto it = Locate(obj);
        if (it == m_Resources.end()) return 0;
        m_Resources.erase(it);
        RemoveObjectHelper(obj, 0);
        return 1;
    }

    /// Appends the managed resources in key order; returns how many are managed.
    int EnumObjects(int, std::list<Object*>& out) override {
        for (auto& entry : m_Resources) out.push_back(AsObject(entry.second));
        return int(m_Resources.size());
    }

    /// Borrowed pointer to the managed resource of that name (groups -1, -3 and 0),
    /// so that the loader's release and reload tasks can reach it; else null.
    Object* FindObject(const char* name, Class* cls, int group) override {
        if (!name || (group != -1 && group != -3 && group != 0)) return nullptr;
        auto it = m_Resources.find(name);
        if (it == m_Resources.end()) return nullptr;
        Object* obj = AsObject(it->second);
        if (cls && !obj->GetClass()->Supports(cls)) return nullptr;
        return obj;
    }

    /// Loads the resource again in place; references stay valid. False on failure (logged).
    bool ReloadResource(Object* obj) override {
        T* res = ZYN_Cast<T, Object>(obj);
        if (!res) return false;
        File* file = Singleton<Root>::Get()->OpenFile(obj->GetName().c_str(), true);
        if (!file) {
            LogSend(kLogWarning, "Reload resource failed for %s %s (file not found)",
                    T::sm_Class.GetClassName(), obj->GetName().c_str());
            return false;
        }
        const bool ok = ResourceManagerDetail::Loader<T>::Load(res, *file);
        if (!ok)
            LogSend(kLogWarning, "Reload resource failed for %s %s", T::sm_Class.GetClassName(),
                    obj->GetName().c_str());
        delete file;
        return ok;
    }

    /// Runs when the Root lets the manager go: releases what is still held.
    /// The manager object itself belongs to its singleton and stays.
    void DeleteThis() override {
        LogSend(kLogInfo, "Releasing resource manager for class: %s", T::sm_Class.GetClassName());
        if (m_Resources.empty()) return;
        LogSend(kLogWarning, " - %d resources still referenced", int(m_Resources.size()));
        // Work from a snapshot: destroying one resource may release others of this
        // manager, so each entry is checked again before it is touched.
        std::vector<std::pair<std::string, T*>> held(m_Resources.begin(), m_Resources.end());
        for (auto& entry : held) {
            auto it = m_Resources.find(entry.first);
            if (it == m_Resources.end() || it->second != entry.second) continue;
            LogSend(kLogWarning, "  - %s", entry.first.c_str());
            Object* obj = AsObject(entry.second);
            // A resource already being torn down only counts down; stop there.
            if (obj->GetRefCount() < 0) continue;
            while (obj->Release() >= 1) {
            }
        }
    }

    /// Number of managed resources.
    unsigned int GetResourceCount() const { return unsigned(m_Resources.size()); }

    /// The group property listing the managed resources (label: class name + "s").
    static void RegisterManagerProps(Class* cls, const char* label) {
        cls->InsertGroupProp(new GroupProperty(label, "Holds loaded resources", 0, &T::sm_Class));
    }

protected:
    static Object* AsObject(T* res) { return ZYN_Cast<Object, T>(res); }

    // The entry that holds exactly this object: by name first, then by a scan
    // for a resource whose name changed after it was entered.
    typename Map::iterator Locate(Object* obj) {
        T* res = ZYN_Cast<T, Object>(obj);
        if (!res) return m_Resources.end();
        auto it = m_Resources.find(obj->GetName());
        if (it != m_Resources.end() && it->second == res) return it;
        for (it = m_Resources.begin(); it != m_Resources.end(); ++it)
            if (it->second == res) return it;
        return m_Resources.end();
    }

    Map m_Resources;
};

}  // namespace Zyn
