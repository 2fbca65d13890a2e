#include <zyn/app/Transition.h>

#include <cmath>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(Transition, "Transition", &Transition::StaticCreate, nullptr, &Transition::RegisterProps,
                    AppObject)
ZYN_IMPLEMENT_CLASS(FadeTransition, "FadeTransition", &FadeTransition::StaticCreate, nullptr, nullptr,
                    Transition)

namespace {

const double kPi = 3.14159265358979323846;

// Snapshot of a group: the walks below change the list they came from.
std::vector<AppObject*> Snapshot(StdListDynGroup<AppObject>& group) {
    return std::vector<AppObject*>(group.GetList().begin(), group.GetList().end());
}

// Alpha as a colour byte; guards the cast against values outside 0..255.
u32 AlphaByte(float a) {
    if (!(a > 0.0f)) return 0;
    if (a >= 255.0f) return 255;
    return u32(a);
}

}  // namespace

void Transition::RegisterProps(Class* cls) {
    cls->InsertGroupProp(
        new GroupProperty("From", "Objects to transition from", kFrom, &AppObject::sm_Class));
    cls->InsertGroupProp(new GroupProperty("To", "Objects to transition to", kTo, &AppObject::sm_Class));
}

Object* Transition::StaticCreate(const char* name) { return new Transition(name, 1.0f); }

Transition::Transition(const char* name, float duration) : AppObject(name), m_fDuration(duration) {
    SetGroupCount(2);
    SetupGroup(kFrom, &m_From);
    SetupGroup(kTo, &m_To);
    m_From.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef;
    m_To.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef;
}

Transition::~Transition() { ClearGroups(); }

float Transition::GetTransTime() { return m_fTime; }

float Transition::Ease(float f) { return float((std::cos(kPi * f - kPi) + 1.0) * 0.5); }

void Transition::UpdateEvery(StdListDynGroup<AppObject>& group, float dt) {
    auto& list = group.GetList();
    for (auto it = list.begin(); it != list.end();) {
        // Take the successor first: a layer may leave during its update.
        auto next = std::next(it);
        (*it)->Update(dt);
        it = next;
    }
}

void Transition::RenderBackToFront(StdListDynGroup<AppObject>& group, float dt) {
    // Held for the walk: a layer that removes another while drawing must not
    // leave a dangling entry behind.
    const std::vector<AppObject*> layers = Snapshot(group);
    for (AppObject* layer : layers) layer->AddRef();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) (*it)->Render(dt);
    for (AppObject* layer : layers) layer->Release();
}

bool Transition::Update(float dt) {
    m_fTime += dt;
    if (m_fTime < m_fDuration) {
        Root* root = Singleton<Root>::Get();
        root->m_bInputLocked = true;
        root->m_bAutoUnlock = true;
        UpdateEvery(m_To, dt);
        UpdateEvery(m_From, dt);
        root->m_bInputLocked = false;
        return true;
    }
    Finish();
    return true;
}

void Transition::Finish() {
    if (!m_pReturnObject) {
        Object* found = FindParent(nullptr, &App::sm_Class);
        if (!found) found = FindParent(nullptr, &AppObject::sm_Class);
        if (!found && m_pParents) found = m_pParents->m_pParent;
        m_pReturnObject = found;
        if (!found)
            LogSend(kLogWarning,
                    "ZYN::Transition::Update -> Can not find object to insert TRANS_TO children...");
    }
    for (AppObject* layer : Snapshot(m_From)) {
        if (m_pDoneObject) m_pDoneObject->InsertObject(layer, m_DoneGroup, 1, nullptr);
        // Drops the last reference of a layer that nobody else holds.
        RemoveObject(layer, -3);
    }
    Object* target = m_pReturnObject;
    if (!target) return;
    for (AppObject* layer : Snapshot(m_To)) {
        target->InsertObject(layer, m_ReturnGroup, 1, nullptr);
        RemoveObject(layer, -3);
    }
    // Normally the last reference: nothing of this object may be touched after it.
    target->RemoveObject(this, -3);
}

bool Transition::Render(float dt) {
    const float f = m_fDuration > 0.0f ? m_fTime / m_fDuration : 1.0f;
    const float p = Ease(f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f));
    const AppSettings* s = Singleton<Root>::Get()->GetAppSettings();
    const float width = float(s->appWidth);
    const Rect<float> area(0.0f, 0.0f, width, float(s->appHeight));
    const bool wasClipping = Graphics::Globals::g_bClipEnabled;
    const Rect<float> oldClip = Graphics::Globals::g_ClipRect;
    const Transform saved = Graphics::GetTransform();

    Graphics::TransformScene2D_Move(float(int(width * (p - 1.0f))), 0.0f);
    Graphics::SetClipping2D(&area);
    RenderBackToFront(m_To, dt);

    Graphics::SetTransform(saved);
    Graphics::TransformScene2D_Move(float(int(width * p)), 0.0f);
    Graphics::SetClipping2D(&area);
    RenderBackToFront(m_From, dt);

    // Layers drawn after the transition must not inherit its shift and clip.
    Graphics::SetTransform(saved);
    Graphics::SetClipping2D(wasClipping ? &oldClip : nullptr);
    return true;
}

Object* FadeTransition::StaticCreate(const char* name) { return new FadeTransition(name, 1.0f, 1.0f); }

FadeTransition::FadeTransition(const char* name, float fadeOut, float fadeIn)
    : Transition(name, fadeOut + fadeIn), m_fFadeOutTime(fadeOut), m_fFadeInTime(fadeIn) {}

void FadeTransition::HandleMiddle() {}

bool FadeTransition::Update(float dt) {
    const float before = m_fTime;
    m_fTime += dt;
    if (before < m_fFadeOutTime && !(m_fTime < m_fFadeOutTime)) HandleMiddle();
    if (m_fTime >= m_fDuration) return Transition::Update(dt);
    Root* root = Singleton<Root>::Get();
    root->m_bInputLocked = true;
    root->m_bAutoUnlock = true;
    if (m_fTime < m_fFadeOutTime) m_From.Update(dt);
    m_To.Update(dt);
    root->m_bInputLocked = false;
    return true;
}

bool FadeTransition::Render(float dt) {
    if (m_fTime >= m_fDuration) return true;
    Graphics::SetBlendingMode(BLEND_ALPHA);
    u32 alpha;
    if (m_fTime < m_fFadeOutTime) {
        RenderBackToFront(m_From, dt);
        alpha = AlphaByte(float((std::cos(kPi * m_fTime / m_fFadeOutTime - kPi) + 1.0) * 127.5));
    } else {
        RenderBackToFront(m_To, dt);
        alpha = AlphaByte((1.0f - Ease((m_fTime - m_fFadeOutTime) / m_fFadeInTime)) * 255.0f);
    }
    Graphics::Clear(Color(alpha << 24), 0.0f, false);
    return true;
}

}  // namespace Zyn
