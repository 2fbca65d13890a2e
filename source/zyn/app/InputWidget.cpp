#include <zyn/app/InputWidget.h>

#include <utf8cpp/utf8.h>

#include <zyn/core/Root.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS2(InputWidget, "InputWidget", nullptr, nullptr, nullptr, Widget, ICharEventReceiver)

namespace {

bool IsLetterOrDigit(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Bytes of the last character of text: a whole UTF-8 sequence when the text
// ends with one, else 1 (a stray byte of broken text is a character by itself).
size_t LastCharBytes(const std::string& text) {
    const size_t n = text.size();
    if (n == 0 || (static_cast<unsigned char>(text[n - 1]) & 0xC0) != 0x80) return 1;
    for (size_t len = 2; len <= 4 && len <= n; ++len) {
        if ((static_cast<unsigned char>(text[n - len]) & 0xC0) == 0x80) continue;  // still inside
        const char* start = text.data() + (n - len);
        // Exactly one well-formed character from the lead byte to the end.
        if (utf8::is_valid(start, text.data() + n) && utf8::distance(start, text.data() + n) == 1) return len;
        return 1;
    }
    return 1;
}

}  // namespace

InputWidget::InputWidget(const char* name, Point3D<float> position, const char* label, int maxLength,
                         int eventId)
    : Widget(name, position, label, eventId), m_MaxLength(maxLength) {
    Singleton<Root>::Get()->SubscribeToCharEvents(this);
}

InputWidget::~InputWidget() {
    // The Root may already be gone at process exit.
    if (Singleton<Root>::Exists()) Singleton<Root>::Get()->UnsubscribeFromCharEvents(this);
}

void InputWidget::Append(char c) {
    if (m_MaxLength > 0 && m_Label.size() < size_t(m_MaxLength)) {
        m_Label.push_back(c);
        return;
    }
    SendWidgetEvent(&ZYN_MAX_INPUT_LENGTH);
}

bool InputWidget::ReceiveCharEvent(int c) {
    if (c == ' ') {
        if (!m_Label.empty()) Append(' ');
    } else if (IsLetterOrDigit(c)) {
        Append(char(c));
    } else if (c == 8) {
        // A whole character goes, so that backspace never leaves half of one.
        if (!m_Label.empty()) m_Label.erase(m_Label.size() - LastCharBytes(m_Label));
    } else if (c == 13) {
        SendWidgetEvent(&ZYN_EVT_WIDGET_TRIGGERED);
    }
    return false;
}

}  // namespace Zyn
