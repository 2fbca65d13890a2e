// The second screen: a tree of widgets under one root widget. Sprite widgets
// show medals and trophies of one texture, text widgets take their texts
// from the string table by key, and a name field takes typed characters.
// The screen listens to the events its widgets send to their parents.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <zyn/app/Widget.h>

namespace Demo {

class NameField;
class ScaledTextWidget;

class WidgetScreen : public Zyn::Widget {
    ZYN_DECLARE_CLASS(WidgetScreen)

public:
    /// Called with the typed name when Return confirms it.
    typedef std::function<void(const std::string& name)> NameCallback;

    /// Builds the widgets; textures and the font come from their managers now.
    explicit WidgetScreen(NameCallback onName);

    /// Swings the medals, then updates the children. True.
    bool UpdateOffset(float dt, Zyn::Point3D<float> offset) override;
    /// The backdrop, then the children. True.
    bool RenderOffset(float dt, Zyn::Point3D<float> offset, const Zyn::Rect<float>* clip) override;
    /// Return in the name field confirms the name; a character that does not
    /// fit shows a warning. Non-zero when handled.
    int ProcessEvent(Zyn::Event& event) override;

    /// Borrowed; lives as long as the screen.
    NameField* GetNameField() const { return m_pField; }

private:
    // Inserts at the back of the children, so earlier widgets are drawn on top.
    template <class T>
    T* Add(T* widget);

    NameCallback m_OnName;
    NameField* m_pField = nullptr;            // a child: held by the children group
    ScaledTextWidget* m_pFullNote = nullptr;  // a child, shown while the field flashes
    std::vector<Zyn::Widget*> m_Medals;       // children
    float m_fClock = 0.0f;
};

}  // namespace Demo
