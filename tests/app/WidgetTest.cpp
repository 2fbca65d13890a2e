// Widgets: offsets passed down the tree, update and draw order, the clip
// rectangle handed to children, sprite and text widgets drawn on an offscreen
// frame (shadow, transparency, empty rectangles, string-table texts, text that
// is not valid UTF-8), the input field's editing, limit and events, and the
// class records with their properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zyn/app/InputWidget.h>
#include <zyn/app/SpriteWidget.h>
#include <zyn/app/TextWidget.h>
#include <zyn/app/Widget.h>
#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>

#include "app/LayerTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<std::string> Journal;
typedef Point3D<float> P3;

// Notes where it ended up in the tree and which clip rectangle reached it.
class SpyWidget : public Widget {
public:
    SpyWidget(const char* name, P3 position, Journal* journal)
        : Widget(name, position), m_pJournal(journal) {}
    bool UpdateOffset(float dt, P3 offset) override {
        m_Updated = Add(offset, m_Position);
        if (m_pJournal) m_pJournal->push_back("U " + m_Name);
        Widget::UpdateOffset(dt, offset);
        return m_bResult;
    }
    bool RenderOffset(float dt, P3 offset, const Rect<float>* clip) override {
        m_Rendered = Add(offset, m_Position);
        m_pClip = clip;
        if (m_pJournal) m_pJournal->push_back("R " + m_Name);
        return Widget::RenderOffset(dt, offset, clip);
    }
    P3 m_Updated{-1, -1, -1};
    P3 m_Rendered{-1, -1, -1};
    const Rect<float>* m_pClip = nullptr;
    bool m_bResult = true;

private:
    Journal* m_pJournal;
};

// Keeps the events its children send.
class EventSink : public Widget {
public:
    EventSink() : Widget("sink") {}
    int ProcessEvent(Event& e) override {
        m_Events.push_back(e);
        return 0;
    }
    std::vector<Event> m_Events;
};

void Type(int c) { Singleton<Root>::Get()->ProcessSystemEvent(2, c, 0); }

std::vector<std::string> PropLabels(const char* className) {
    std::vector<std::string> out;
    Class* cls = Class::FindClass(className);
    if (!cls) return out;
    for (ValueProperty* p : cls->GetValueProps()) out.push_back(p->GetName());
    return out;
}

std::vector<std::string> ParentNames(const char* className) {
    std::vector<std::string> out;
    std::list<Class*> parents;
    if (Class* cls = Class::FindClass(className)) cls->EnumParentClasses(parents);
    for (Class* c : parents) out.push_back(c->GetClassName());
    return out;
}

class WidgetTree : public AppFrame {};

// A 4 x 4 white texture "white.tga" (origin at its centre), and a font whose
// only glyph 'A' is that texture: each 'A' is a 4 x 4 block whose top-left
// corner is the pen on the line's top, followed by one blank pixel.
class WidgetDraw : public AppFrame {
protected:
    void SetUp() override {
        AppFrame::SetUp();
        m_Package.Add("white.tga", SolidTga(4, 4, 0xFFFFFFFF));
        Texture* glyphs = GetCreateTextureManager()->GetResourceTyped("white.tga");
        ASSERT_NE(glyphs, nullptr);
        m_pFont.Reset(new Font("blocks.zyn_fnt"));
        m_pFont->InitEmptyFont(glyphs, 4, -4, 4);
        ASSERT_TRUE(m_pFont->AddGlyph('A', 0, 2, -2, 5));
        glyphs->Release();
    }
    void TearDown() override {
        m_pFont.Reset();
        AppFrame::TearDown();
    }
    TextWidget* MakeText(const char* label, P3 at, Point2D<float> size, int flags = 0) {
        auto* w = new TextWidget("text", label, false, nullptr, at, size, 0xFFFFFFFF, flags);
        w->SetFont(m_pFont.Get());
        return w;
    }
    // The frame drawn by one text widget, as read back.
    std::vector<unsigned char> DrawnText(const char* label) {
        Ref<TextWidget> w(MakeText(label, P3(10, 20, 0), Point2D<float>(50, 20)));
        BeginFrame();
        w->Render(0.0f);
        Finish();
        return m_Pixels;
    }

    ScopedPackage m_Package;
    Ref<Font> m_pFont;
};

class InputField : public AppFrame {};
class WidgetClasses : public AppFrame {};

}  // namespace

// ---------------------------------------------------------------------------
// The tree

TEST_F(WidgetTree, PositionsAddUpAndTheClipRectangleIsHandedDownUnchanged) {
    Ref<Widget> root(new Widget("root", P3(0, 0, 0)));
    auto* panel = new Widget("panel", P3(100, 100, 0.5f));
    auto* spy = new SpyWidget("spy", P3(10, 5, 0.25f), nullptr);
    root->InsertObject(panel, Widget::kChildren, 1, nullptr);
    panel->InsertObject(spy, Widget::kChildren, 1, nullptr);

    EXPECT_TRUE(root->Update(0.1f));
    EXPECT_EQ(spy->m_Updated, P3(110, 105, 0.75f));
    EXPECT_TRUE(root->Render(0.1f));
    EXPECT_EQ(spy->m_Rendered, P3(110, 105, 0.75f));
    EXPECT_EQ(spy->m_pClip, nullptr);

    const Rect<float> clip(1, 2, 3, 4);
    root->RenderOffset(0.0f, P3(-100, 0, 0), &clip);
    EXPECT_EQ(spy->m_Rendered, P3(10, 105, 0.75f));
    EXPECT_EQ(spy->m_pClip, &clip);
}

TEST_F(WidgetTree, UpdatesInListOrderUntilAFalseResultAndDrawsTheFirstChildLast) {
    Journal journal;
    Ref<Widget> root(new Widget("root"));
    auto* a = new SpyWidget("a", P3(), &journal);
    auto* b = new SpyWidget("b", P3(), &journal);
    auto* c = new SpyWidget("c", P3(), &journal);
    for (Widget* w : {static_cast<Widget*>(a), static_cast<Widget*>(b), static_cast<Widget*>(c)})
        root->InsertObject(w, Widget::kChildren, 1, nullptr);
    b->m_bResult = false;
    root->Update(0.0f);
    root->Render(0.0f);
    EXPECT_EQ(journal, (Journal{"U a", "U b", "R c", "R b", "R a"}));
}

TEST_F(WidgetDraw, SpriteIsDrawnAtItsTreePositionScaledByItsSize) {
    Ref<Widget> root(new Widget("root"));
    auto* panel = new Widget("panel", P3(20, 10, 0));
    auto* sprite = new SpriteWidget("red", "white.tga", 0, P3(10, 5, 0), Point2D<float>(1, 1), 0xFFFF0000, 0);
    auto* big = new SpriteWidget("big", "white.tga", 0, P3(10, 40, 0), Point2D<float>(2, 2), 0xFF00FF00, 0);
    root->InsertObject(panel, Widget::kChildren, 1, nullptr);
    panel->InsertObject(sprite, Widget::kChildren, 1, nullptr);
    root->InsertObject(big, Widget::kChildren, 1, nullptr);
    root->Render(0.0f);
    Finish();
    // Centred on (30, 15): a 4 x 4 block.
    EXPECT_TRUE(Near(28, 13, 255, 0, 0));
    EXPECT_TRUE(Near(31, 16, 255, 0, 0));
    EXPECT_TRUE(IsBlack(27, 15));
    EXPECT_TRUE(IsBlack(32, 15));
    EXPECT_TRUE(IsBlack(30, 12));
    EXPECT_TRUE(IsBlack(30, 17));
    EXPECT_EQ(LitCount(20, 5, 40, 25), 16);
    // Centred on (10, 40), twice the size.
    EXPECT_EQ(LitCount(0, 30, 20, 50), 64);
    EXPECT_TRUE(Near(6, 36, 0, 255, 0));
    EXPECT_TRUE(Near(13, 43, 0, 255, 0));
}

TEST_F(WidgetDraw, FirstInsertedChildEndsOnTop) {
    Ref<Widget> root(new Widget("root"));
    root->InsertObject(
        new SpriteWidget("first", "white.tga", 0, P3(32, 32, 0), Point2D<float>(1, 1), 0xFFFF0000, 0),
        Widget::kChildren, 1, nullptr);
    root->InsertObject(
        new SpriteWidget("second", "white.tga", 0, P3(33, 32, 0), Point2D<float>(1, 1), 0xFF00FF00, 0),
        Widget::kChildren, 1, nullptr);
    root->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(32, 32, 255, 0, 0));
    EXPECT_TRUE(Near(34, 32, 0, 255, 0));  // only the second covers this column
}

TEST_F(WidgetDraw, SpriteWithoutATextureDrawsNothing) {
    ScopedLogCapture log;
    Ref<SpriteWidget> none(static_cast<SpriteWidget*>(SpriteWidget::StaticCreate("none")));
    Ref<SpriteWidget> missing(
        new SpriteWidget("missing", "missing.tga", 0, P3(32, 32, 0), Point2D<float>(8, 8), 0xFFFFFFFF, 0));
    EXPECT_TRUE(log->Contains("Resource <missing.tga> not found..."));
    none->Render(0.0f);
    missing->Render(0.0f);
    Finish();
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 0);
}

TEST_F(WidgetDraw, TextIsLaidOutInTheRectangleAtTheTreeOffset) {
    Ref<Widget> root(new Widget("root", P3(4, 8, 0)));
    root->InsertObject(MakeText("AA", P3(6, 12, 0), Point2D<float>(50, 20)), Widget::kChildren, 1, nullptr);
    root->Render(0.0f);
    Finish();
    // Two blocks at x 10..13 and 15..18, rows 20..23.
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 32);
    EXPECT_EQ(LitCount(10, 20, 14, 24), 16);
    EXPECT_EQ(LitCount(15, 20, 19, 24), 16);
}

TEST_F(WidgetDraw, ShadowIsDrawnFirstOffsetAndDarkened) {
    FillRect(0, 0, kSize, kSize, 0xFF0000FF);
    Ref<TextWidget> w(MakeText("A", P3(10, 20, 0), Point2D<float>(50, 20)));
    w->SetShadowAlpha(0.5f);
    w->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(11, 21, 255, 255, 255));  // the text covers its shadow
    EXPECT_TRUE(Near(8, 25, 0, 0, 128));       // black of alpha 127 over blue, 2 left and 2 down
    EXPECT_TRUE(Near(14, 21, 0, 0, 255));
}

TEST_F(WidgetDraw, TransparentColourOrEmptyRectangleDrawsNothing) {
    FillRect(0, 0, kSize, kSize, 0xFF0000FF);
    Ref<TextWidget> clear(MakeText("AAAA", P3(10, 20, 0), Point2D<float>(50, 20)));
    clear->SetColor(0x00FFFFFF);
    clear->SetShadowAlpha(1.0f);
    Ref<TextWidget> negative(MakeText("AAAA", P3(10, 40, 0), Point2D<float>(-50, -20), TEXT_WRAP));
    clear->Render(0.0f);
    negative->Render(0.0f);
    Finish();
    for (int y = 0; y < kSize; y += 3)
        for (int x = 0; x < kSize; x += 3) ASSERT_TRUE(Near(x, y, 0, 0, 255)) << x << ", " << y;
}

TEST_F(WidgetDraw, StringTableTextReplacesTheLabel) {
    m_Package.Add("widgets.utf8", std::string("greeting = \"AA\"\n"));
    Root* root = Singleton<Root>::Get();
    ASSERT_EQ(root->ReadStringTable("widgets.utf8"), 1);
    Ref<TextWidget> w(MakeText("greeting", P3(10, 20, 0), Point2D<float>(50, 20)));
    w->SetStrTable(true);
    EXPECT_STREQ(w->GetText(), "AA");
    w->Render(0.0f);
    Finish();
    const std::vector<unsigned char> fromTable = m_Pixels;
    EXPECT_EQ(DrawnText("AA"), fromTable);
    // An unknown key shows the table's own placeholder text.
    w->SetLabel("nothing");
    EXPECT_STREQ(w->GetText(), "String not found:nothing");
    root->ClearStringTable();
}

TEST_F(WidgetDraw, InvalidUtf8IsOneBlankCharacterPerBadSequence) {
    const std::vector<unsigned char> spaced = DrawnText("A A");
    EXPECT_EQ(DrawnText("A\xFF"
                        "A"),
              spaced);
    EXPECT_EQ(DrawnText("A\xE2\x82"
                        "A"),
              spaced);
    EXPECT_EQ(DrawnText("A\xC3"), DrawnText("A"));
    EXPECT_EQ(LitCount(0, 0, kSize, kSize), 16);
}

// ---------------------------------------------------------------------------
// The input field

TEST_F(InputField, EditsTheLabelWithinItsLimitAndReportsToItsParents) {
    Ref<EventSink> sink(new EventSink);
    auto* input = new InputWidget("name", P3(), "", 3, 42);
    sink->InsertObject(input, Widget::kChildren, 1, nullptr);

    Type(' ');  // a leading space is dropped
    Type('a');
    Type('!');  // punctuation is always dropped
    Type('B');
    Type('7');
    EXPECT_EQ(input->GetLabel(), "aB7");
    EXPECT_TRUE(sink->m_Events.empty());

    Type('x');
    EXPECT_EQ(input->GetLabel(), "aB7");
    ASSERT_EQ(sink->m_Events.size(), 1u);
    EXPECT_EQ(sink->m_Events[0].m_pType, &ZYN_MAX_INPUT_LENGTH);
    EXPECT_EQ(sink->m_Events[0].m_ID, 42);
    EXPECT_EQ(sink->m_Events[0].m_pSender, input);

    Type(8);
    EXPECT_EQ(input->GetLabel(), "aB");
    Type(' ');
    EXPECT_EQ(input->GetLabel(), "aB ");
    Type(' ');  // full again
    EXPECT_EQ(sink->m_Events.size(), 2u);
    Type(13);
    ASSERT_EQ(sink->m_Events.size(), 3u);
    EXPECT_EQ(sink->m_Events[2].m_pType, &ZYN_EVT_WIDGET_TRIGGERED);
    EXPECT_EQ(sink->m_Events[2].m_ID, 42);
    EXPECT_EQ(input->GetLabel(), "aB ");
}

TEST_F(InputField, BackspaceRemovesOneWholeCharacter) {
    Ref<InputWidget> input(new InputWidget("name", P3(), "", 10, 0));
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"z\xC3\xA9", "z"},          // a two-byte character goes whole
        {"z\xF0\x9F\x98\x80", "z"},  // as does a four-byte one
        {"z\xA9", "z"},              // a stray continuation byte is a character of its own
        {"z\xE2\x82", "z\xE2"},      // so is each byte of a cut-off sequence
        {"ab", "a"},
        {"", ""},
    };
    for (const auto& c : cases) {
        input->SetLabel(c.before);
        Type(8);
        EXPECT_EQ(input->GetLabel(), c.after) << c.before;
    }
}

TEST_F(InputField, TheNewestFieldTakesCharactersUntilItIsDestroyed) {
    Ref<InputWidget> older(new InputWidget("older", P3(), "", 10, 0));
    Ref<InputWidget> newer(new InputWidget("newer", P3(), "", 10, 0));
    Type('q');
    EXPECT_EQ(newer->GetLabel(), "q");
    EXPECT_EQ(older->GetLabel(), "");
    newer.Reset();
    Type('r');
    EXPECT_EQ(older->GetLabel(), "r");
    older.Reset();
    Type('s');  // nobody listens; nothing dangling is called
}

// ---------------------------------------------------------------------------
// Class records and properties

TEST_F(WidgetClasses, RecordsNameTheirParentsFactoriesAndPropertiesInOrder) {
    EXPECT_EQ(ParentNames("Widget"), (std::vector<std::string>{"AppObject", "IPositionable"}));
    EXPECT_EQ(ParentNames("SpriteWidget"), (std::vector<std::string>{"Widget"}));
    EXPECT_EQ(ParentNames("TextWidget"), (std::vector<std::string>{"Widget"}));
    EXPECT_EQ(ParentNames("InputWidget"), (std::vector<std::string>{"Widget", "ICharEventReceiver"}));
    EXPECT_TRUE(Class::FindClass("Widget")->IsAbstract());
    EXPECT_TRUE(Class::FindClass("InputWidget")->IsAbstract());
    EXPECT_EQ(PropLabels("Widget"), (std::vector<std::string>{"Label", "Event ID", "Size"}));
    EXPECT_EQ(PropLabels("SpriteWidget"),
              (std::vector<std::string>{"Texture", "Sprite ID", "Color", "Ratation"}));
    EXPECT_EQ(PropLabels("TextWidget"),
              (std::vector<std::string>{"Color", "Str Table", "Font", "Line Spacing", "Center X", "Center Y",
                                        "Auto Wrap"}));

    // Created by name with the documented defaults, configured through properties.
    Object* o = Class::FindClass("TextWidget")->CreateInstance("caption");
    ASSERT_NE(o, nullptr);
    Ref<Object> holder(o);
    auto* text = ZYN_Cast<TextWidget, Object>(o);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetLabel(), "text");
    EXPECT_EQ(text->GetSize(), Point2D<float>(200, 200));
    EXPECT_EQ(text->GetFlags(), TEXT_WRAP);
    Class* cls = o->GetClass();
    std::string one = "1", zero = "0", at = "3, 4, 5", label = "Hello";
    EXPECT_TRUE(FindValueProperty(cls, "Center X")->SetValue(o, one));
    EXPECT_TRUE(FindValueProperty(cls, "Auto Wrap")->SetValue(o, zero));
    EXPECT_EQ(text->GetFlags(), TEXT_CENTER_X);
    EXPECT_TRUE(FindValueProperty(cls, "Position")->SetValue(o, at));
    EXPECT_EQ(text->GetPosition(), P3(3, 4, 5));
    EXPECT_TRUE(FindValueProperty(cls, "Label")->SetValue(o, label));
    EXPECT_EQ(FindValueProperty(cls, "Label")->GetValue(o), "Hello");

    // The interface cast reaches the same widget.
    Ref<InputWidget> input(new InputWidget("in", P3(), "", 1, 0));
    Object* asObject = input.Get();
    ICharEventReceiver* receiver = ZYN_Cast<ICharEventReceiver, Object>(asObject);
    EXPECT_EQ(receiver, static_cast<ICharEventReceiver*>(input.Get()));
}

TEST_F(WidgetClasses, PointerPropertiesHoldOneReference) {
    Ref<Texture> t1(new Texture("t1")), t2(new Texture("t2"));
    Ref<Font> f1(new Font("f1"));
    {
        Ref<Object> sprite(SpriteWidget::StaticCreate("sprite"));
        auto* texProp =
            static_cast<TypedValueProperty<void*>*>(FindValueProperty(sprite->GetClass(), "Texture"));
        void* value = t1.Get();
        EXPECT_TRUE(texProp->Set(sprite.Get(), value));
        EXPECT_EQ(t1->GetRefCount(), 2);
        value = t2.Get();
        EXPECT_TRUE(texProp->Set(sprite.Get(), value));
        EXPECT_EQ(t1->GetRefCount(), 1);
        EXPECT_EQ(t2->GetRefCount(), 2);
        EXPECT_EQ(texProp->GetValue(sprite.Get()), "t2 (Texture)");

        Ref<Object> text(TextWidget::StaticCreate("text"));
        auto* fontProp = static_cast<TypedValueProperty<void*>*>(FindValueProperty(text->GetClass(), "Font"));
        value = f1.Get();
        EXPECT_TRUE(fontProp->Set(text.Get(), value));
        EXPECT_EQ(f1->GetRefCount(), 2);
    }
    EXPECT_EQ(t2->GetRefCount(), 1);
    EXPECT_EQ(f1->GetRefCount(), 1);
}
