// Transitions between screens: an app object that holds the outgoing layers
// ("From", group 0) and the incoming ones ("To", group 1) while it animates,
// locks Root's key input for the layers it updates, and on its first update
// at or past the end hands the incoming layers to its return object and
// removes itself from it (which normally destroys the transition).
#pragma once

#include <zyn/core/AppObject.h>

namespace Zyn {

class Transition : public AppObject {
    ZYN_DECLARE_CLASS(Transition)

public:
    enum Group { kFrom = 0, kTo = 1 };

    explicit Transition(const char* name = "", float duration = 1.0f);
    ~Transition() override;
    static Object* StaticCreate(const char* name);

    /// Slides: runs the layers with the input locked; at the end hands them over.
    /// Always true. The end step may destroy the transition.
    bool Update(float dt) override;
    /// The new layers slide in from the left, the old ones out to the right,
    /// each clipped to the application rectangle. Always true.
    bool Render(float dt) override;
    /// Seconds since the start.
    virtual float GetTransTime();

    /// The object that takes the "To" layers at the end (group may be -1).
    /// Not counted: it must outlive the transition or be reset first.
    void SetReturnObject(Object* object, int group) {
        m_pReturnObject = object;
        m_ReturnGroup = group;
    }
    /// The object that takes the "From" layers at the end; null drops them.
    /// Not counted, as for the return object.
    void SetDoneObject(Object* object, int group) {
        m_pDoneObject = object;
        m_DoneGroup = group;
    }
    float GetDuration() const { return m_fDuration; }
    StdListDynGroup<AppObject>& GetFromLayers() { return m_From; }
    StdListDynGroup<AppObject>& GetToLayers() { return m_To; }

    static void RegisterProps(Class* cls);

    /// (cos(pi f - pi) + 1) / 2: rises smoothly from 0 at f = 0 to 1 at f = 1.
    static float Ease(float f);

protected:
    /// Distributes the layers and removes the transition from its return object.
    void Finish();
    /// Updates every layer of the group front to back, whatever each returns.
    static void UpdateEvery(StdListDynGroup<AppObject>& group, float dt);
    /// Renders the group's layers from the back of the list to the front.
    static void RenderBackToFront(StdListDynGroup<AppObject>& group, float dt);

    float m_fTime = 0.0f;
    float m_fDuration;
    StdListDynGroup<AppObject> m_From;
    StdListDynGroup<AppObject> m_To;
    Object* m_pReturnObject = nullptr;  // borrowed, not counted
    s32 m_ReturnGroup = -1;
    Object* m_pDoneObject = nullptr;  // borrowed, not counted
    s32 m_DoneGroup = -1;
};

/// Fades the old layers to black, calls HandleMiddle once, then fades the new
/// layers in from black.
class FadeTransition : public Transition {
    ZYN_DECLARE_CLASS(FadeTransition)

public:
    explicit FadeTransition(const char* name = "", float fadeOut = 1.0f, float fadeIn = 1.0f);
    static Object* StaticCreate(const char* name);

    /// Always true. The end step may destroy the transition.
    bool Update(float dt) override;
    /// The running half's layers under translucent black. Always true.
    bool Render(float dt) override;
    /// Called once, on the update in which the fade-out ends.
    virtual void HandleMiddle();

protected:
    float m_fFadeOutTime;
    float m_fFadeInTime;
};

}  // namespace Zyn
