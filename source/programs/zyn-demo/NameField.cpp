#include "NameField.h"

#include <cmath>

#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>

namespace Demo {

ZYN_IMPLEMENT_CLASS(NameField, "NameField", nullptr, nullptr, nullptr, Zyn::InputWidget)

namespace {

const Zyn::Color kFill(0xD0101826u);
const Zyn::Color kBorder(0xFFA8B4D0u);
const Zyn::Color kFlashBorder(0xFFFF5040u);
const Zyn::Color kText(0xFFFFFFFFu);
const Zyn::Color kCaret(0xFFF2CF6Au);
// Rows of a debug-font glyph above its baseline.
const float kAscent = 7.0f;
const float kPadding = 14.0f;

}  // namespace

NameField::NameField(const char* name, Zyn::Point3D<float> position, Zyn::Point2D<float> size, int maxLength,
                     const char* fontName, float textScale)
    : InputWidget(name, position, "", maxLength, 0), m_fTextScale(textScale) {
    m_Size = size;
    // The manager hands out a reference of its own; the holder keeps one more.
    Zyn::Font* font = Zyn::GetCreateFontManager()->GetResourceTyped(fontName);
    m_Font.Reset(font);
    if (font) font->Release();
}

bool NameField::UpdateOffset(float dt, Zyn::Point3D<float> offset) {
    m_fClock += dt;
    if (m_fFlashSeconds > 0.0f) m_fFlashSeconds -= dt;
    return InputWidget::UpdateOffset(dt, offset);
}

bool NameField::RenderOffset(float dt, Zyn::Point3D<float> offset, const Zyn::Rect<float>* clip) {
    const float x1 = offset.x + m_Position.x, y1 = offset.y + m_Position.y;
    const float x2 = x1 + m_Size.x, y2 = y1 + m_Size.y;
    const float z = offset.z + m_Position.z;
    Zyn::Graphics::SetBlendingMode(Zyn::BLEND_ALPHA);
    Zyn::Graphics::SetTexture(Zyn::TexHandle());
    Zyn::Graphics::DrawRect(x1, y1, x2, y2, z, kFill, 0, 0, 0, 0);
    Zyn::Graphics::DrawEmptyRect(x1, y1, x2, y2, z, IsFlashing() ? kFlashBorder : kBorder);
    // Two pixels more of border read better once the screen is scaled down.
    Zyn::Graphics::DrawEmptyRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1, z, IsFlashing() ? kFlashBorder : kBorder);

    if (Zyn::Font* font = m_Font.Get()) {
        const float baseline = std::floor((y1 + y2 + kAscent * m_fTextScale) * 0.5f);
        float caretX = x1 + kPadding;
        if (!m_Label.empty()) {
            font->RenderTextScale(x1 + kPadding, baseline, z, m_Label.c_str(), m_fTextScale, kText, 0);
            Zyn::Rect<float> box;
            font->GetTextScaleRect(box, x1 + kPadding, baseline, m_Label.c_str(), m_fTextScale, 0);
            caretX = box.x2 + m_fTextScale;
        }
        // Half a second on, half a second off.
        if (std::fmod(m_fClock, 1.0f) < 0.5f) {
            Zyn::Graphics::SetTexture(Zyn::TexHandle());
            Zyn::Graphics::DrawRect(caretX, baseline - kAscent * m_fTextScale, caretX + m_fTextScale,
                                    baseline, z, kCaret, 0, 0, 0, 0);
        }
    }
    return InputWidget::RenderOffset(dt, offset, clip);
}

}  // namespace Demo
