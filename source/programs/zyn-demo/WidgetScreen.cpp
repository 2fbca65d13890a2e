#include "WidgetScreen.h"

#include <cmath>

#include <zyn/app/SpriteWidget.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/Graphics.h>

#include "DemoContent.h"
#include "NameField.h"
#include "ScaledTextWidget.h"

using Zyn::Color;
using Zyn::Point2D;
using Zyn::Point3D;

namespace Demo {

ZYN_IMPLEMENT_CLASS(WidgetScreen, "WidgetScreen", nullptr, nullptr, nullptr, Zyn::Widget)

namespace {

const char* const kFont = "debugfont.zyn_fnt";
const Color kGold(0xFFF2CF6Au);
const Color kPale(0xFFE8E4D8u);
const Color kWarning(0xFFFF6A50u);
const int kMedalCount = 7;
const float kW = float(kAppWidth);

}  // namespace

template <class T>
T* WidgetScreen::Add(T* widget) {
    InsertObject(widget, kChildren, 1, nullptr);
    return widget;
}

WidgetScreen::WidgetScreen(NameCallback onName)
    : Widget("widget screen", Point3D<float>(0, 0, 0), nullptr, 0), m_OnName(std::move(onName)) {
    m_Size = Point2D<float>(kW, float(kAppHeight));
    const int centred = Zyn::TEXT_CENTER_X;

    // The label is a key: with strTable set the text comes from english.utf8.
    ScaledTextWidget* title =
        Add(new ScaledTextWidget("title", "title", true, kFont, Point3D<float>(0, 40, 0),
                                 Point2D<float>(kW, 80), kGold, centred, 7.0f));
    title->SetShadowAlpha(0.6f);
    title->SetShadowOffset(Point2D<float>(4, 4));
    Add(new ScaledTextWidget("caption", "widgets_sprites", true, kFont, Point3D<float>(0, 150, 0),
                             Point2D<float>(kW, 30), kPale, centred, 2.0f));

    // One texture, many sprites: each widget names the sprite it shows.
    for (int i = 0; i < kMedalCount; ++i) {
        const float x = kW * 0.5f + float(i - kMedalCount / 2) * 104.0f;
        m_Medals.push_back(
            Add(new Zyn::SpriteWidget("medal", kTrophyTexture, unsigned(1 + i), Point3D<float>(x, 250, 0),
                                      Point2D<float>(0.85f, 0.85f), Color(0xFFFFFFFFu), 0.0f)));
    }
    Add(new Zyn::SpriteWidget("grand trophy", kTrophyTexture, kGrandTrophy, Point3D<float>(120, 590, 0),
                              Point2D<float>(0.5f, 0.5f), Color(0xFFFFFFFFu), 0.0f));
    Add(new Zyn::SpriteWidget("silver cup", kTrophyTexture, kSilverCup, Point3D<float>(kW - 120, 590, 0),
                              Point2D<float>(0.5f, 0.5f), Color(0xFFFFFFFFu), 0.0f));

    Add(new ScaledTextWidget("prompt", "name_prompt", true, kFont, Point3D<float>(0, 400, 0),
                             Point2D<float>(kW, 40), kPale, centred, 3.0f));
    m_pField = Add(new NameField("name", Point3D<float>(kNameField.x1, kNameField.y1, 0),
                                 Point2D<float>(kNameField.x2 - kNameField.x1, kNameField.y2 - kNameField.y1),
                                 kNameMaxLength, kFont, 4.0f));
    // Between the trophies the hint needs two lines: the widget wraps it.
    Add(new ScaledTextWidget("hint", "name_hint", true, kFont, Point3D<float>(232, 540, 0),
                             Point2D<float>(kW - 464, 60), kPale, centred | Zyn::TEXT_WRAP, 2.0f));
    // A text widget with a transparent colour draws nothing: shown on demand.
    m_pFullNote = Add(new ScaledTextWidget("full", "name_full", true, kFont, Point3D<float>(232, 610, 0),
                                           Point2D<float>(kW - 464, 30), Color(0x00000000u), centred, 2.0f));
}

bool WidgetScreen::UpdateOffset(float dt, Point3D<float> offset) {
    m_fClock += dt;
    for (size_t i = 0; i < m_Medals.size(); ++i) {
        // Each medal swings a little behind its left neighbour.
        const float angle = 0.3f * std::sin(2.0f * m_fClock - 0.6f * float(i));
        static_cast<Zyn::SpriteWidget*>(m_Medals[i])->SetRotate(angle);
    }
    m_pFullNote->SetColor(m_pField->IsFlashing() ? kWarning : Color(0x00000000u));
    return Widget::UpdateOffset(dt, offset);
}

bool WidgetScreen::RenderOffset(float dt, Point3D<float> offset, const Zyn::Rect<float>* clip) {
    // A vertical gradient: one quad with darker colours at the top.
    const float x1 = offset.x + m_Position.x, y1 = offset.y + m_Position.y;
    const float x2 = x1 + m_Size.x, y2 = y1 + m_Size.y;
    const Color top(0xFF0C1022u), bottom(0xFF2A2E4Au);
    const Zyn::BasicVertex quad[4] = {
        {0, 0, top, x1, y1, 0}, {0, 0, top, x2, y1, 0}, {0, 0, bottom, x2, y2, 0}, {0, 0, bottom, x1, y2, 0}};
    Zyn::Graphics::SetBlendingMode(Zyn::BLEND_NONE);
    Zyn::Graphics::SetTexture(Zyn::TexHandle());
    Zyn::Graphics::RenderQuads(quad, 1);
    return Widget::RenderOffset(dt, offset, clip);
}

int WidgetScreen::ProcessEvent(Zyn::Event& event) {
    if (event.m_pSender != m_pField) return Widget::ProcessEvent(event);
    if (event.m_pType == &Zyn::ZYN_EVT_WIDGET_TRIGGERED) {
        if (m_OnName) m_OnName(m_pField->GetLabel());
        return 1;
    }
    if (event.m_pType == &Zyn::ZYN_MAX_INPUT_LENGTH) {
        m_pField->Flash();
        return 1;
    }
    return Widget::ProcessEvent(event);
}

}  // namespace Demo
