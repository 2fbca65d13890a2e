// A widget that lays its text out in its rectangle with a bitmap font: the
// label itself, or the string-table entry the label names. An optional
// shadow is drawn first, offset and darkened. It draws no children.
#pragma once

#include <zyn/app/Widget.h>

namespace Zyn {

class Font;

class TextWidget : public Widget {
    ZYN_DECLARE_CLASS(TextWidget)

public:
    /// fontName, when not null, is fetched from the font manager. flags are
    /// the font's layout flags (TEXT_CENTER_X, TEXT_CENTER_Y, TEXT_WRAP, ...).
    TextWidget(const char* name, const char* label, bool strTable, const char* fontName,
               Point3D<float> position, Point2D<float> size, Color color, int flags);
    /// Releases the font.
    ~TextWidget() override;
    static Object* StaticCreate(const char* name);

    /// Draws the shadow (when its alpha is above 0) and the text; nothing
    /// without a font or with a fully transparent colour. True.
    bool RenderOffset(float dt, Point3D<float> offset, const Rect<float>* clip) override;

    /// The text drawn now: the label, or its string-table entry. Borrowed,
    /// valid until the label or the string table changes.
    const char* GetText();

    /// Borrowed; null when the widget has no font.
    Font* GetFont() { return m_pFont; }
    /// Takes a reference to the new font (may be null) and drops the old one.
    void SetFont(Font* font);
    Color GetColor() const { return m_Color; }
    void SetColor(Color color) { m_Color = color; }
    bool GetStrTable() const { return m_bStrTable; }
    void SetStrTable(bool strTable) { m_bStrTable = strTable; }
    float GetLineSpacing() { return m_fLineSpacing; }
    void SetLineSpacing(float spacing) { m_fLineSpacing = spacing; }
    int GetFlags() const { return m_Flags; }
    void SetFlags(int flags) { m_Flags = flags; }
    bool GetCenterX() { return (m_Flags & 2) != 0; }
    void SetCenterX(bool on) { SetFlag(2, on); }
    bool GetCenterY() { return (m_Flags & 4) != 0; }
    void SetCenterY(bool on) { SetFlag(4, on); }
    bool GetAutoWrap() { return (m_Flags & 16) != 0; }
    void SetAutoWrap(bool on) { SetFlag(16, on); }
    /// Offset of the shadow from the text, in pixels.
    void SetShadowOffset(Point2D<float> offset) { m_ShadowOffset = offset; }
    /// The shadow's share of the text colour's alpha; 0 draws no shadow.
    void SetShadowAlpha(float alpha) { m_fShadowAlpha = alpha; }

    static void RegisterProps(Class* cls);

protected:
    void SetFlag(s32 bit, bool on) { m_Flags = on ? (m_Flags | bit) : (m_Flags & ~bit); }

    Font* m_pFont = nullptr;  // one reference held
    Color m_Color;
    s32 m_Flags;
    bool m_bStrTable;
    Point2D<float> m_ShadowOffset{-2.0f, 2.0f};
    float m_fShadowAlpha = 0.0f;
    float m_fLineSpacing = 1.0f;
};

}  // namespace Zyn
