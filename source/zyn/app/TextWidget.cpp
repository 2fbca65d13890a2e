#include <zyn/app/TextWidget.h>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(TextWidget, "TextWidget", &TextWidget::StaticCreate, nullptr, &TextWidget::RegisterProps,
                    Widget)

namespace {

// A size as the font's unsigned extent: negative and NaN give 0, and values
// beyond the unsigned range stop at its top instead of overflowing the cast.
unsigned Extent(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 4294967040.0f) return 4294967040u;
    return unsigned(v);
}

}  // namespace

void TextWidget::RegisterProps(Class* cls) {
    cls->InsertValueProp(new MemberProp<Color>("Color", "Color of the text", &TextWidget::m_Color, 0));
    cls->InsertValueProp(new MemberProp<bool>(
        "Str Table", "If true the text will be taken from string table (label is the index)",
        &TextWidget::m_bStrTable, 0));
    cls->InsertValueProp(new GetSetPointerProp<TextWidget, Font>(
        "Font", "The font object for the text", &TextWidget::GetFont, &TextWidget::SetFont, 0));
    cls->InsertValueProp(new GetSetMemberProp<TextWidget, float>("Line Spacing", "Line spacing of the text",
                                                                 &TextWidget::GetLineSpacing,
                                                                 &TextWidget::SetLineSpacing, 0));
    cls->InsertValueProp(new GetSetMemberProp<TextWidget, bool>(
        "Center X", "Text centering in X axis", &TextWidget::GetCenterX, &TextWidget::SetCenterX, 0));
    cls->InsertValueProp(new GetSetMemberProp<TextWidget, bool>(
        "Center Y", "Text centering in Y axis", &TextWidget::GetCenterY, &TextWidget::SetCenterY, 0));
    cls->InsertValueProp(new GetSetMemberProp<TextWidget, bool>(
        "Auto Wrap", "Controlls the wraping of the text inside the rect", &TextWidget::GetAutoWrap,
        &TextWidget::SetAutoWrap, 0));
}

Object* TextWidget::StaticCreate(const char* name) {
    return new TextWidget(name, "text", false, nullptr, Point3D<float>(0, 0, 0), Point2D<float>(200, 200),
                          Color(0xFFFFFFFFu), TEXT_WRAP);
}

TextWidget::TextWidget(const char* name, const char* label, bool strTable, const char* fontName,
                       Point3D<float> position, Point2D<float> size, Color color, int flags)
    : Widget(name, position, label, 0), m_Color(color), m_Flags(flags), m_bStrTable(strTable) {
    m_Size = size;
    // The manager's reference becomes the widget's.
    if (fontName) m_pFont = GetCreateFontManager()->GetResourceTyped(fontName);
}

TextWidget::~TextWidget() { SetFont(nullptr); }

void TextWidget::SetFont(Font* font) {
    // Taken before the old one goes, in case both are the same font.
    if (font) font->AddRef();
    Font* old = m_pFont;
    m_pFont = font;
    if (old) old->Release();
}

const char* TextWidget::GetText() {
    if (m_bStrTable) return Singleton<Root>::Get()->GetString(m_Label.c_str())->c_str();
    return m_Label.c_str();
}

bool TextWidget::RenderOffset(float, Point3D<float> offset, const Rect<float>*) {
    if (!m_pFont || m_Color.A() == 0) return true;
    Graphics::SetBlendingMode(BLEND_ALPHA);
    const char* text = GetText();
    const unsigned width = Extent(m_Size.x);
    const unsigned height = Extent(m_Size.y);
    const float x = offset.x + m_Position.x;
    const float y = offset.y + m_Position.y;
    const float z = offset.z + m_Position.z;
    if (m_fShadowAlpha > 0.0f) {
        const float a = m_fShadowAlpha * float(m_Color.A());
        const u32 shadowAlpha = a >= 255.0f ? 255u : u32(a);
        m_pFont->RenderTextInRect(x + m_ShadowOffset.x, y + m_ShadowOffset.y, width, height, z, m_Flags, text,
                                  Color(shadowAlpha << 24), m_fLineSpacing);
    }
    m_pFont->RenderTextInRect(x, y, width, height, z, m_Flags, text, m_Color, m_fLineSpacing);
    return true;
}

}  // namespace Zyn
