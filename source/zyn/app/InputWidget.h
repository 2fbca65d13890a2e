// A widget whose label is a line of text typed by the user. It receives
// Root's character events from construction to destruction, and tells its
// parents when the line is confirmed (Return: ZYN_EVT_WIDGET_TRIGGERED) or
// a character did not fit (ZYN_MAX_INPUT_LENGTH). Only letters, digits and
// inner spaces are taken.
#pragma once

#include <zyn/app/Widget.h>

namespace Zyn {

class InputWidget : public Widget, public ICharEventReceiver {
    ZYN_DECLARE_CLASS(InputWidget)

public:
    /// maxLength bounds the label in bytes; a label set longer stays as set.
    InputWidget(const char* name, Point3D<float> position, const char* label, int maxLength, int eventId);
    /// Unsubscribes from Root's character events.
    ~InputWidget() override;

    /// Edits the label. Always false: the character is not offered to older
    /// subscribers. Sending an event may destroy the widget.
    bool ReceiveCharEvent(int character) override;

    int GetMaxLength() const { return m_MaxLength; }
    void SetMaxLength(int maxLength) { m_MaxLength = maxLength; }

protected:
    // Appends when there is room, else reports the overflow.
    void Append(char c);

    s32 m_MaxLength;
};

}  // namespace Zyn
