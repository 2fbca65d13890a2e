#include "ScaledTextWidget.h"

#include <zyn/graphics/Font.h>
#include <zyn/graphics/Graphics.h>

namespace Demo {

// No factory: the demo builds its widgets in code.
ZYN_IMPLEMENT_CLASS(ScaledTextWidget, "ScaledTextWidget", nullptr, nullptr, nullptr, Zyn::TextWidget)

ScaledTextWidget::ScaledTextWidget(const char* name, const char* label, bool strTable, const char* fontName,
                                   Zyn::Point3D<float> position, Zyn::Point2D<float> size, Zyn::Color color,
                                   int flags, float scale)
    : TextWidget(name, label, strTable, fontName, position, size, color, flags), m_fScale(scale) {}

bool ScaledTextWidget::RenderOffset(float, Zyn::Point3D<float> offset, const Zyn::Rect<float>*) {
    if (!m_pFont || m_Color.A() == 0) return true;
    Zyn::Graphics::SetBlendingMode(Zyn::BLEND_ALPHA);
    const char* text = GetText();
    const float x = offset.x + m_Position.x;
    const float y = offset.y + m_Position.y;
    const float z = offset.z + m_Position.z;
    const float w = m_Size.x > 0.0f ? m_Size.x : 0.0f;
    const float h = m_Size.y > 0.0f ? m_Size.y : 0.0f;
    if (m_fShadowAlpha > 0.0f) {
        const float a = m_fShadowAlpha * float(m_Color.A());
        const Zyn::u32 alpha = a >= 255.0f ? 255u : Zyn::u32(a);
        const float sx = x + m_ShadowOffset.x, sy = y + m_ShadowOffset.y;
        m_pFont->RenderTextInRectScale(Zyn::Rect<float>(sx, sy, sx + w, sy + h), z, m_Flags, text, m_fScale,
                                       Zyn::Color(alpha << 24), m_fLineSpacing);
    }
    m_pFont->RenderTextInRectScale(Zyn::Rect<float>(x, y, x + w, y + h), z, m_Flags, text, m_fScale, m_Color,
                                   m_fLineSpacing);
    return true;
}

}  // namespace Demo
