#include <zyn/core/DynGroupObject.h>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(DynGroupObject, "DynGroupObject", nullptr, nullptr, nullptr, Object)

DynGroupObject::DynGroupObject(const char* name) : Object(name) {}

DynGroupObject::~DynGroupObject() = default;

bool DynGroupObject::Update(float dt) {
    for (IDynGroup* g : m_Groups) {
        if (g && (g->m_Flags & IDynGroup::kUpdate)) g->Update(dt);
    }
    return true;
}

int DynGroupObject::InsertObject(Object* obj, int group, unsigned int position, void*) {
    if (!obj) {
        LogSend(kLogWarning, "DynGroupObject::InsertObject failed...");
        return -2;
    }
    const int count = int(m_Groups.size());
    if (group == -1) {
        LogSend(kLogDebug, "DynGroupObject::Inserting object %s of class %s into...", obj->GetName().c_str(),
                obj->GetObjectClassName().c_str());
        LogSend(kLogDebug, "... object %s of class %s (with %d groups)", m_Name.c_str(),
                GetObjectClassName().c_str(), count);
        for (int i = 0; i < count; ++i) {
            IDynGroup* g = m_Groups[i];
            if (g && g->InsertObject(obj, position)) {
                InsertObjectHelper(obj, i, (g->m_Flags & IDynGroup::kHoldRef) != 0);
                LogSend(kLogDebug, " -> %s Insert successfull!!!", obj->GetName().c_str());
                return i;
            }
        }
        LogSend(kLogWarning, "DynGroupObject::InsertObject into default group failed...");
        return -2;
    }
    if (group == -3) {
        int accepted = 0;
        int last = -2;
        for (int i = 0; i < count; ++i) {
            IDynGroup* g = m_Groups[i];
            if (g && g->InsertObject(obj, position)) {
                InsertObjectHelper(obj, i, (g->m_Flags & IDynGroup::kHoldRef) != 0);
                ++accepted;
                last = i;
            }
        }
        if (accepted == 0) return -2;
        return accepted == 1 ? last : -3;
    }
    if (group >= 0 && group < count) {
        IDynGroup* g = m_Groups[group];
        if (g && g->InsertObject(obj, position)) {
            InsertObjectHelper(obj, group, (g->m_Flags & IDynGroup::kHoldRef) != 0);
            return group;
        }
    }
    LogSend(kLogWarning, "DynGroupObject::InsertObject failed...");
    return -2;
}

int DynGroupObject::RemoveObject(Object* obj, int group) {
    if (!obj) return 0;
    const int count = int(m_Groups.size());
    if (group == -1) {
        for (int i = 0; i < count; ++i) {
            IDynGroup* g = m_Groups[i];
            if (g && g->RemoveObject(obj)) {
                RemoveObjectHelper(obj, i);
                return 1;
            }
        }
        return 0;
    }
    if (group == -3) {
        // Keeps the object alive across the loop.
        obj->AddRef();
        int removed = 0;
        for (int i = 0; i < count; ++i) {
            IDynGroup* g = m_Groups[i];
            if (g && g->RemoveObject(obj)) {
                RemoveObjectHelper(obj, i);
                ++removed;
            }
        }
        obj->Release();
        return removed;
    }
    if (group < 0 || group >= count) return 0;
    IDynGroup* g = m_Groups[group];
    if (g && g->RemoveObject(obj)) {
        RemoveObjectHelper(obj, group);
        return 1;
    }
    return 0;
}

int DynGroupObject::EnumObjects(int group, std::list<Object*>& out) {
    if (group < 0 || group >= int(m_Groups.size()) || !m_Groups[group]) return 0;
    return m_Groups[group]->EnumObjects(out);
}

Object* DynGroupObject::FindObject(const char* name, Class* cls, int group) {
    if (group == -1 || group == -3) {
        for (IDynGroup* g : m_Groups) {
            if (!g) continue;
            if (Object* o = g->FindObject(name, cls)) return o;
        }
        return nullptr;
    }
    if (group < 0 || group >= int(m_Groups.size()) || !m_Groups[group]) return nullptr;
    return m_Groups[group]->FindObject(name, cls);
}

bool DynGroupObject::Save(ObjectSerializator& s) {
    for (size_t i = 0; i < m_Groups.size(); ++i) {
        IDynGroup* g = m_Groups[i];
        if (g && (g->m_Flags & IDynGroup::kSave)) g->SaveObjects(s, int(i));
    }
    return true;
}

void DynGroupObject::SetGroupCount(unsigned int n) {
    for (size_t i = 0; i < m_Groups.size(); ++i) {
        if (m_Groups[i]) m_Groups[i]->Clear(this, int(i));
    }
    m_Groups.assign(n, nullptr);
}

void DynGroupObject::SetupGroup(unsigned int index, IDynGroup* group) {
    if (index >= m_Groups.size()) return;
    if (m_Groups[index]) m_Groups[index]->Clear(this, int(index));
    m_Groups[index] = group;
}

void DynGroupObject::ClearGroups() {
    for (size_t i = 0; i < m_Groups.size(); ++i) {
        if (m_Groups[i]) m_Groups[i]->Clear(this, int(i));
    }
    m_Groups.clear();
}

}  // namespace Zyn
