#include <zyn/core/Object.h>

#include <atomic>

#include <zyn/core/Class.h>
#include <zyn/core/Log.h>

namespace Zyn {

const int ZYN_EVT_GENERIC = 0;
const int ZYN_EVT_WIDGET_TRIGGERED = 1;
const int ZYN_MAX_INPUT_LENGTH = 2;

::Zyn::CppClass Object::sm_Class("Object", nullptr, nullptr, &Object::RegisterProps, 0);
ZYN_IMPLEMENT_REFLECTION(Object)

namespace {
// Objects may be made on the loader's worker thread too.
std::atomic<int> g_LiveObjects{0};
}  // namespace

Object::Object(const char* name) : m_Name(name ? name : "") { ++g_LiveObjects; }

Object::~Object() { --g_LiveObjects; }

int Object::GetLiveObjectCount() { return g_LiveObjects.load(); }

void Object::SetName(std::string name) { m_Name = std::move(name); }

bool Object::Update(float) { return true; }

int Object::InsertObject(Object*, int, unsigned int, void*) { return -2; }

int Object::RemoveObject(Object*, int) { return 0; }

Object* Object::FindParent(const char* name, Class* cls) {
    for (ParentLink* link = m_pParents; link; link = link->m_pNext) {
        Object* parent = link->m_pParent;
        if (name) {
            if (parent->m_Name == name) {
                // The newest parent of that name decides, right class or not.
                if (!cls || parent->GetClass()->Supports(cls)) return parent;
                return nullptr;
            }
        } else if (cls && parent->GetClass()->Supports(cls)) {
            return parent;
        }
    }
    return nullptr;
}

void Object::EnumParents(std::list<Object*>& out) {
    for (ParentLink* link = m_pParents; link; link = link->m_pNext) out.push_back(link->m_pParent);
}

int Object::EnumObjects(int, std::list<Object*>&) { return 0; }

Object* Object::FindObject(const char*, Class*, int) { return nullptr; }

int Object::ProcessEvent(Event&) { return 0; }

bool Object::IsSerializable() { return true; }

bool Object::Save(ObjectSerializator&) { return true; }

bool Object::Load(ObjectSerializator&) { return true; }

void Object::LoadComplete() {}

unsigned int Object::PropertyConfirmValueFlags(unsigned int flags, ValueProperty*) { return flags; }

void Object::DeleteThis() { delete this; }

int Object::AddRef() { return ++m_RefCount; }

int Object::Release() {
    ScopeUtil scope(kLogDebug, "Object::Release");
    const s32 old = m_RefCount;
    m_RefCount = old - 1;
    // Unsigned on purpose: a negative count (teardown in progress) also
    // lands here and only decrements.
    if (u32(old) > 1) {
        return old - 1 < 0 ? 0 : old - 1;
    }
    m_RefCount = -2;
    while (m_pParents) {
        ParentLink* head = m_pParents;
        ParentLink* next = head->m_pNext;
        head->m_pParent->RemoveObject(this, head->m_Group);
        if (m_pParents == head) {
            LogSend(kLogWarning, "Parent failed to remove itself from parent list");
            m_pParents = next;
            --m_ParentCount;
            delete head;
        }
    }
    DeleteThis();
    return 0;
}

void Object::InsertObjectHelper(Object* child, int group, bool addRef) {
    ScopeUtil scope(kLogDebug, "Object::InsertObjectHelper(%d)", int(reinterpret_cast<intptr_t>(child)));
    if (!child) return;
    if (addRef) child->AddRef();
    ParentLink* link = new ParentLink;
    link->m_pParent = this;
    link->m_Group = group;
    link->m_bHoldsRef = addRef ? 1 : 0;
    link->m_pNext = child->m_pParents;
    child->m_pParents = link;
    ++child->m_ParentCount;
}

bool Object::RemoveObjectHelper(Object* child, int group) {
    ScopeUtil scope(kLogDebug, "Object::RemoveObjectHelper(%d)", int(reinterpret_cast<intptr_t>(child)));
    if (!child) return false;
    LogSend(kLogDebug, "obj ref_count = %d", child->m_RefCount);
    for (ParentLink** pp = &child->m_pParents; *pp; pp = &(*pp)->m_pNext) {
        ParentLink* link = *pp;
        if (link->m_pParent == this && link->m_Group == group) {
            *pp = link->m_pNext;
            --child->m_ParentCount;
            const bool heldRef = link->m_bHoldsRef != 0;
            delete link;
            if (heldRef) child->Release();
            return true;
        }
    }
    return false;
}

void Object::MoveChildToFront(Object* child, int group) {
    if (!child) return;
    child->AddRef();
    RemoveObject(child, group);
    InsertObject(child, group, 0, nullptr);
    child->Release();
}

void Object::MoveChildToBack(Object* child, int group) {
    if (!child) return;
    child->AddRef();
    RemoveObject(child, group);
    InsertObject(child, group, 1, nullptr);
    child->Release();
}

int Object::SendEventToParents(Event& event, Class* filter) {
    for (ParentLink* link = m_pParents; link; link = link->m_pNext) {
        Object* parent = link->m_pParent;
        if (filter && !parent->GetClass()->Supports(filter)) continue;
        int result = parent->ProcessEvent(event);
        if (result != 0) return result;
    }
    return 0;
}

std::string Object::GetObjectClassName() {
    Class* cls = GetClass();
    return cls ? std::string(cls->GetClassName()) : std::string();
}

}  // namespace Zyn
