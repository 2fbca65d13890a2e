// The widget screen's input field: an InputWidget that also draws itself, a
// box with the typed name and a blinking caret. InputWidget only edits its
// label from Root's character events; how the label looks is up to the game.
#pragma once

#include <zyn/app/InputWidget.h>
#include <zyn/core/Object.h>

namespace Zyn {
class Font;
}

namespace Demo {

class NameField : public Zyn::InputWidget {
    ZYN_DECLARE_CLASS(NameField)

public:
    /// size is the box; the name is drawn with the font scaled by textScale.
    NameField(const char* name, Zyn::Point3D<float> position, Zyn::Point2D<float> size, int maxLength,
              const char* fontName, float textScale);

    /// Advances the caret's blink and the warning flash. True.
    bool UpdateOffset(float dt, Zyn::Point3D<float> offset) override;
    /// The box, the name and the caret. True.
    bool RenderOffset(float dt, Zyn::Point3D<float> offset, const Zyn::Rect<float>* clip) override;

    /// Turns the border red for a moment: the name did not take a character.
    void Flash() { m_fFlashSeconds = kFlashSeconds; }
    bool IsFlashing() const { return m_fFlashSeconds > 0.0f; }

    static constexpr float kFlashSeconds = 0.5f;

private:
    Zyn::Ref<Zyn::Font> m_Font;
    float m_fTextScale;
    float m_fClock = 0.0f;
    float m_fFlashSeconds = 0.0f;
};

}  // namespace Demo
