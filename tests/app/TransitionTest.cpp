// Transitions: the hand-over of layers at the end (to the application, to a
// done object, to nobody), the input lock while layers run inside, the fade's
// middle call and group walks, and the slide and fade drawn on an offscreen frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/app/Transition.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>

#include "app/LayerTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace G = Zyn::Graphics;

namespace {

// Reports its own destruction and counts the middle of a fade.
class TrackedFade : public FadeTransition {
public:
    TrackedFade(const char* name, float out, float in, bool* destroyed)
        : FadeTransition(name, out, in), m_pDestroyed(destroyed) {
        *m_pDestroyed = false;
    }
    ~TrackedFade() override { *m_pDestroyed = true; }
    void HandleMiddle() override { ++m_Middles; }
    int m_Middles = 0;

private:
    bool* m_pDestroyed;
};

class TrackedSlide : public Transition {
public:
    TrackedSlide(const char* name, float duration, bool* destroyed)
        : Transition(name, duration), m_pDestroyed(destroyed) {
        *m_pDestroyed = false;
    }
    ~TrackedSlide() override { *m_pDestroyed = true; }

private:
    bool* m_pDestroyed;
};

std::vector<std::string> Names(StdListDynGroup<AppObject>& group) {
    std::vector<std::string> out;
    for (AppObject* o : group.GetList()) out.push_back(o->GetName());
    return out;
}

typedef std::vector<std::string> Journal;

class TransitionEnd : public AppFrame {};
class TransitionLock : public AppFrame {};
class TransitionDraw : public AppFrame {};

}  // namespace

// ---------------------------------------------------------------------------
// The end of a transition

TEST_F(TransitionEnd, NewLayersJoinTheApplicationAtTheBackAndOldOnesAreDropped) {
    Journal journal;
    bool slideGone = false, oldGone = false, newGone = false;
    Ref<App> app(new App("app"));
    auto* keep = new ProbeLayer("keep", &journal);
    app->InsertObject(keep, App::kActiveLayers, 1, nullptr);
    auto* slide = new TrackedSlide("slide", 1.0f, &slideGone);
    app->InsertObject(slide, App::kActiveLayers, 0, nullptr);
    slide->InsertObject(new ProbeLayer("old", &journal, &oldGone), Transition::kFrom, 1, nullptr);
    slide->InsertObject(new ProbeLayer("new", &journal, &newGone), Transition::kTo, 1, nullptr);

    app->Update(0.5f);
    // The incoming layers run before the outgoing ones; both draw inside the slide.
    EXPECT_EQ(journal, (Journal{"U new", "U old", "U keep", "R keep", "R new", "R old"}));
    EXPECT_FALSE(slideGone);
    EXPECT_FLOAT_EQ(slide->GetTransTime(), 0.5f);

    app->Update(0.5f);
    EXPECT_TRUE(slideGone);
    EXPECT_TRUE(oldGone);
    EXPECT_FALSE(newGone);
    EXPECT_EQ(Names(app->GetActiveLayers()), (std::vector<std::string>{"keep", "new"}));
    EXPECT_EQ(app->GetActiveLayers().GetList().back()->GetRefCount(), 1);
}

TEST_F(TransitionEnd, DoneObjectKeepsTheOldLayers) {
    bool fadeGone = false, oldGone = false;
    Ref<App> app(new App("app"));
    auto* fade = new TrackedFade("fade", 0.25f, 0.25f, &fadeGone);
    app->InsertObject(fade, App::kActiveLayers, 0, nullptr);
    fade->SetDoneObject(app.Get(), App::kIdleLayers);
    fade->InsertObject(new ProbeLayer("old", nullptr, &oldGone), Transition::kFrom, 1, nullptr);
    fade->InsertObject(new ProbeLayer("new", nullptr), Transition::kTo, 1, nullptr);

    app->Update(0.6f);
    EXPECT_TRUE(fadeGone);
    EXPECT_FALSE(oldGone);
    std::list<Object*> idle;
    ASSERT_EQ(app->EnumObjects(App::kIdleLayers, idle), 1);
    EXPECT_EQ(idle.front()->GetName(), "old");
    EXPECT_EQ(Names(app->GetActiveLayers()), (std::vector<std::string>{"new"}));
}

TEST_F(TransitionEnd, ApplicationParentWinsOverANewerParentOfAnotherClass) {
    bool slideGone = false;
    Ref<App> app(new App("app"));
    Ref<DynGroupObject> holder(new DynGroupObject("holder"));
    StdListDynGroup<Object> held;
    holder->SetGroupCount(1);
    holder->SetupGroup(0, &held);

    auto* slide = new TrackedSlide("slide", 0.1f, &slideGone);
    app->InsertObject(slide, App::kActiveLayers, 0, nullptr);
    holder->InsertObject(slide, 0, 0, nullptr);
    slide->InsertObject(new ProbeLayer("new", nullptr), Transition::kTo, 1, nullptr);

    EXPECT_TRUE(slide->Update(0.2f));
    EXPECT_EQ(Names(app->GetActiveLayers()), (std::vector<std::string>{"new"}));
    // Removed from the application only; the other holder still keeps it.
    EXPECT_FALSE(slideGone);
    EXPECT_EQ(slide->GetRefCount(), 1);
    holder->ClearGroups();
    EXPECT_TRUE(slideGone);
}

TEST_F(TransitionEnd, WithoutAnyOwnerItComplainsOnEveryUpdateAndKeepsTheNewLayers) {
    ScopedLogCapture log;
    bool oldGone = false, newGone = false;
    Ref<Transition> slide(new Transition("lonely", 0.5f));
    slide->InsertObject(new ProbeLayer("old", nullptr, &oldGone), Transition::kFrom, 1, nullptr);
    slide->InsertObject(new ProbeLayer("new", nullptr, &newGone), Transition::kTo, 1, nullptr);

    EXPECT_TRUE(slide->Update(1.0f));
    const std::string message =
        " W. ZYN::Transition::Update -> Can not find object to insert TRANS_TO children...";
    EXPECT_EQ(log->Count(message), 1);
    EXPECT_TRUE(oldGone);
    EXPECT_FALSE(newGone);
    EXPECT_EQ(slide->GetToLayers().GetList().size(), 1u);

    EXPECT_TRUE(slide->Update(0.1f));
    EXPECT_EQ(log->Count(message), 2);
    EXPECT_FALSE(newGone);
    slide.Reset();
    EXPECT_TRUE(newGone);
}

TEST_F(TransitionEnd, FadeCallsTheMiddleOnceEvenWhenOneFrameJumpsPastTheEnd) {
    bool gone = false;
    Ref<TrackedFade> fade(new TrackedFade("fade", 1.0f, 1.0f, &gone));
    fade->Update(0.5f);
    EXPECT_EQ(fade->m_Middles, 0);
    fade->Update(0.5f);  // reaches the end of the fade-out exactly
    EXPECT_EQ(fade->m_Middles, 1);
    fade->Update(0.5f);
    EXPECT_EQ(fade->m_Middles, 1);

    // One long frame from before the middle to beyond the end: called, then finished.
    Ref<App> app(new App("app"));
    bool jumpGone = false;
    auto* jump = new TrackedFade("jump", 1.0f, 1.0f, &jumpGone);
    jump->AddRef();  // kept alive past the end to read its counter
    app->InsertObject(jump, App::kActiveLayers, 0, nullptr);
    jump->InsertObject(new ProbeLayer("new", nullptr), Transition::kTo, 1, nullptr);
    jump->Update(5.0f);
    EXPECT_EQ(jump->m_Middles, 1);
    EXPECT_EQ(Names(app->GetActiveLayers()), (std::vector<std::string>{"new"}));
    EXPECT_FALSE(jumpGone);
    jump->Release();
    EXPECT_TRUE(jumpGone);
}

// ---------------------------------------------------------------------------
// Input lock and the layers run inside

class TransitionLockKinds : public AppFrame, public ::testing::WithParamInterface<bool> {};

TEST_P(TransitionLockKinds, LayersInsideSeeTheLockAndLayersOutsideDoNot) {
    Ref<App> app(new App("app"));
    Transition* t = GetParam() ? static_cast<Transition*>(new FadeTransition("fade", 1.0f, 1.0f))
                               : new Transition("slide", 2.0f);
    app->InsertObject(t, App::kActiveLayers, 0, nullptr);
    auto* inside = new ProbeLayer("inside", nullptr);
    t->InsertObject(inside, Transition::kTo, 1, nullptr);
    auto* outside = new ProbeLayer("outside", nullptr);
    app->InsertObject(outside, App::kActiveLayers, 1, nullptr);

    PressKey(27);
    app->Update(0.1f);
    EXPECT_EQ(inside->m_Updates, 1);
    EXPECT_TRUE(inside->m_bSawLock);
    EXPECT_EQ(inside->m_Reactions, 0);
    EXPECT_FALSE(outside->m_bSawLock);
    EXPECT_EQ(outside->m_Reactions, 1);
    Root* root = Singleton<Root>::Get();
    EXPECT_FALSE(root->m_bInputLocked);
    EXPECT_TRUE(root->m_bAutoUnlock);
}

INSTANTIATE_TEST_SUITE_P(SlideAndFade, TransitionLockKinds, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Fade" : "Slide");
                         });

TEST_F(TransitionLock, SlideUpdatesEveryLayerWhateverEachReturns) {
    Ref<Transition> slide(new Transition("slide", 1.0f));
    auto* a = new ProbeLayer("a", nullptr);
    auto* b = new ProbeLayer("b", nullptr);
    a->m_bUpdateResult = false;
    slide->InsertObject(a, Transition::kFrom, 1, nullptr);
    slide->InsertObject(b, Transition::kFrom, 1, nullptr);
    slide->Update(0.1f);
    EXPECT_EQ(a->m_Updates, 1);
    EXPECT_EQ(b->m_Updates, 1);
}

TEST_F(TransitionLock, FadeRunsTheOldLayersOnlyWhileFadingOutAndStopsAtAFalseResult) {
    Ref<FadeTransition> fade(new FadeTransition("fade", 1.0f, 1.0f));
    auto* stopper = new ProbeLayer("stopper", nullptr);
    auto* behind = new ProbeLayer("behind", nullptr);
    auto* incoming = new ProbeLayer("incoming", nullptr);
    stopper->m_bUpdateResult = false;
    fade->InsertObject(stopper, Transition::kFrom, 1, nullptr);
    fade->InsertObject(behind, Transition::kFrom, 1, nullptr);
    fade->InsertObject(incoming, Transition::kTo, 1, nullptr);

    fade->Update(0.5f);
    EXPECT_EQ(stopper->m_Updates, 1);
    EXPECT_EQ(behind->m_Updates, 0);
    EXPECT_EQ(incoming->m_Updates, 1);
    fade->Update(0.75f);  // now fading in
    EXPECT_EQ(stopper->m_Updates, 1);
    EXPECT_EQ(incoming->m_Updates, 2);
    EXPECT_FALSE(Singleton<Root>::Get()->m_bInputLocked);
}

// ---------------------------------------------------------------------------
// Drawing

TEST_F(TransitionDraw, SlideHalfWayShowsEachSideInItsOwnHalfClipped) {
    Ref<Transition> slide(new Transition("slide", 1.0f));
    auto* incoming = new ProbeLayer("in", nullptr);
    auto* outgoing = new ProbeLayer("out", nullptr);
    // Both draw far beyond the screen: only the clipping keeps them in their halves.
    incoming->m_Rect = Rect<float>(-1000, 0, 1000, 64);
    outgoing->m_Rect = Rect<float>(-1000, 0, 1000, 64);
    slide->InsertObject(incoming, Transition::kTo, 1, nullptr);
    slide->InsertObject(outgoing, Transition::kFrom, 1, nullptr);
    slide->Update(0.5f);

    incoming->m_Color = 0xFFFF0000;
    const Transform before = G::GetTransform();
    slide->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(0, 10, 255, 0, 0));
    EXPECT_TRUE(Near(31, 10, 255, 0, 0));
    EXPECT_TRUE(IsBlack(32, 10));
    EXPECT_TRUE(IsBlack(63, 10));

    BeginFrame();
    incoming->m_Color = 0;
    outgoing->m_Color = 0xFF00FF00;
    slide->Render(0.0f);
    // Drawn after the slide: neither moved nor clipped by it.
    FillRect(0, 40, 8, 48, 0xFF0000FF);
    const Transform after = G::GetTransform();
    Finish();
    EXPECT_TRUE(IsBlack(31, 10));
    EXPECT_TRUE(Near(32, 10, 0, 255, 0));
    EXPECT_TRUE(Near(63, 10, 0, 255, 0));
    EXPECT_TRUE(Near(0, 44, 0, 0, 255));
    EXPECT_TRUE(Near(7, 44, 0, 0, 255));
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(after[i], before[i]) << i;
    EXPECT_FALSE(G::Globals::g_bClipEnabled);
}

TEST_F(TransitionDraw, SlideMovesByWholeApplicationWidthsAlongTheEase) {
    Ref<Transition> slide(new Transition("slide", 1.0f));
    auto* incoming = new ProbeLayer("in", nullptr);
    incoming->m_Color = 0xFFFFFFFF;
    incoming->m_Rect = Rect<float>(0, 0, 64, 64);
    slide->InsertObject(incoming, Transition::kTo, 1, nullptr);
    slide->Update(0.25f);  // ease(0.25) = 0.146...: moved by trunc(64 * -0.854) = -54
    slide->Render(0.0f);
    Finish();
    EXPECT_TRUE(Near(9, 10, 255, 255, 255));
    EXPECT_TRUE(IsBlack(10, 10));
}

TEST_F(TransitionDraw, FadeDarkensTheOldLayersThenBrightensTheNewOnes) {
    struct Case {
        float time;
        bool outgoing;
        int expected;  // 255 minus the black's alpha
    };
    // (cos(pi t - pi) + 1) * 127.5 going out; (1 - ease) * 255 coming in.
    const Case cases[] = {
        {0.25f, true, 255 - 37}, {0.5f, true, 255 - 127}, {1.5f, false, 255 - 127}, {1.75f, false, 255 - 37}};
    for (const Case& c : cases) {
        Ref<FadeTransition> fade(new FadeTransition("fade", 1.0f, 1.0f));
        auto* outgoing = new ProbeLayer("out", nullptr);
        auto* incoming = new ProbeLayer("in", nullptr);
        outgoing->m_Color = 0xFFFFFFFF;
        incoming->m_Color = 0xFFFFFFFF;
        outgoing->m_Rect = Rect<float>(0, 0, 32, 64);
        incoming->m_Rect = Rect<float>(32, 0, 64, 64);
        fade->InsertObject(outgoing, Transition::kFrom, 1, nullptr);
        fade->InsertObject(incoming, Transition::kTo, 1, nullptr);
        fade->Update(c.time);
        BeginFrame();
        fade->Render(0.0f);
        Finish();
        const int litX = c.outgoing ? 10 : 50;
        const int darkX = c.outgoing ? 50 : 10;
        EXPECT_TRUE(Near(litX, 20, c.expected, c.expected, c.expected)) << c.time << ": " << At(litX, 20).r;
        EXPECT_TRUE(IsBlack(darkX, 20)) << c.time;
    }
}
