// A text widget whose glyphs are drawn scale times their size in the font.
// The framework's only compiled-in font is a 5 x 9 pixel debug font: readable
// on a 1024 x 768 screen only when blown up. Everything else (string-table
// labels, the layout flags, the shadow) is the TextWidget's.
#pragma once

#include <zyn/app/TextWidget.h>

namespace Demo {

class ScaledTextWidget : public Zyn::TextWidget {
    ZYN_DECLARE_CLASS(ScaledTextWidget)

public:
    /// As TextWidget; size is the layout rectangle in screen units.
    ScaledTextWidget(const char* name, const char* label, bool strTable, const char* fontName,
                     Zyn::Point3D<float> position, Zyn::Point2D<float> size, Zyn::Color color, int flags,
                     float scale);

    /// Draws the shadow (when its alpha is above 0) and the text at the
    /// widget's scale; nothing without a font or with a transparent colour.
    bool RenderOffset(float dt, Zyn::Point3D<float> offset, const Zyn::Rect<float>* clip) override;

    float GetScale() const { return m_fScale; }
    void SetScale(float scale) { m_fScale = scale; }

private:
    float m_fScale;
};

}  // namespace Demo
