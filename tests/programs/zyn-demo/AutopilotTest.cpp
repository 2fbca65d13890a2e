// The scripted user: steps fire in their stage once their time has come, a
// key stays down for exactly one frame, typed characters reach Root's
// character subscribers, and a stage that has gone by drops its steps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zyn/app/InputWidget.h>
#include <zyn/core/Root.h>

#include "Autopilot.h"

using Demo::Autopilot;
using Demo::DemoApp;
using Demo::ScriptStep;
using Zyn::Root;

namespace {

Root* TheRoot() { return Zyn::Singleton<Root>::Get(); }

// Records the characters Root hands out.
class CharLog : public Zyn::ICharEventReceiver {
public:
    CharLog() { TheRoot()->SubscribeToCharEvents(this); }
    ~CharLog() override { TheRoot()->UnsubscribeFromCharEvents(this); }
    bool ReceiveCharEvent(int c) override {
        chars.push_back(c);
        return true;
    }
    std::vector<int> chars;
};

class AutopilotTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() { std::memset(TheRoot()->m_KeyStates, 0, sizeof TheRoot()->m_KeyStates); }
    // What Root::Update does to the key states at the end of a frame.
    static void EndFrame() {
        for (auto& k : TheRoot()->m_KeyStates) k &= Zyn::u8(~(Root::kKeyPressed | Root::kKeyReleased));
    }
    static Zyn::u8 Key(int code) { return TheRoot()->m_KeyStates[code]; }
};

}  // namespace

TEST_F(AutopilotTest, AKeyIsDownForOneFrameOnly) {
    Autopilot pilot({{DemoApp::kPlayground, 1.0f, ScriptStep::kPress, 39}});
    pilot.Tick(DemoApp::kPlayground, 0.5f, false);
    EXPECT_EQ(Key(39), 0);
    pilot.Tick(DemoApp::kPlayground, 1.0f, false);
    EXPECT_EQ(Key(39), Root::kKeyDown | Root::kKeyPressed);
    EndFrame();
    pilot.Tick(DemoApp::kPlayground, 1.1f, false);
    EXPECT_EQ(Key(39), Root::kKeyReleased);
    EXPECT_TRUE(pilot.IsDone());
    EXPECT_EQ(pilot.GetPerformedCount(), 1u);
}

TEST_F(AutopilotTest, TypingSendsTheKeyAndTheCharacter) {
    CharLog log;
    Autopilot pilot(
        {{DemoApp::kWidgets, 0.0f, ScriptStep::kType, 'q'}, {DemoApp::kWidgets, 0.0f, ScriptStep::kType, 8}});
    pilot.Tick(DemoApp::kWidgets, 0.0f, false);
    EXPECT_EQ(log.chars, (std::vector<int>{'q', 8}));
    EXPECT_TRUE(Key('Q') & Root::kKeyPressed);
    EXPECT_TRUE(Key(8) & Root::kKeyPressed);
}

TEST_F(AutopilotTest, AClickIsTheLeftButtonAndMayWaitForTheLoader) {
    Autopilot pilot({{DemoApp::kLoading, 0.5f, ScriptStep::kClick, 1, true}});
    pilot.Tick(DemoApp::kLoading, 2.0f, false);
    EXPECT_EQ(Key(1), 0);
    EXPECT_FALSE(pilot.IsDone());
    pilot.Tick(DemoApp::kLoading, 2.1f, true);
    EXPECT_TRUE(Key(1) & Root::kKeyPressed);
}

TEST_F(AutopilotTest, StepsWaitForTheirStageAndDropWhenItHasGoneBy) {
    CharLog log;
    Autopilot pilot({{DemoApp::kWidgets, 0.0f, ScriptStep::kType, 'a'},
                     {DemoApp::kWidgets, 5.0f, ScriptStep::kType, 'b'},
                     {DemoApp::kPlayground, 0.0f, ScriptStep::kType, 'c'}});
    pilot.Tick(DemoApp::kLogos, 9.0f, false);
    EXPECT_TRUE(log.chars.empty());
    pilot.Tick(DemoApp::kWidgets, 0.1f, false);
    // The screens moved on before "b" was due: it is dropped, "c" still comes.
    pilot.Tick(DemoApp::kSlide, 0.0f, false);
    pilot.Tick(DemoApp::kPlayground, 0.0f, false);
    EXPECT_EQ(log.chars, (std::vector<int>{'a', 'c'}));
    EXPECT_EQ(pilot.GetPerformedCount(), 2u);
    EXPECT_TRUE(pilot.IsDone());
}

TEST_F(AutopilotTest, TheDemoScriptLeavesItsNameInAnInputField) {
    // An input field as the widget screen has one, at 10 frames a second.
    Zyn::Ref<Zyn::InputWidget> field(new Zyn::InputWidget("name", Zyn::Point3D<float>(), "", 16, 0));
    Autopilot pilot(Autopilot::DemoScript());
    for (int frame = 0; frame < 60; ++frame) {
        pilot.Tick(DemoApp::kWidgets, 0.1f * float(frame), false);
        EndFrame();
    }
    EXPECT_EQ(field->GetLabel(), Autopilot::ScriptedName());
}

TEST_F(AutopilotTest, EveryStepOfTheDemoScriptIsPerformedOnce) {
    Autopilot pilot(Autopilot::DemoScript());
    const size_t steps = Autopilot::DemoScript().size();
    for (int stage = DemoApp::kLogos; stage < DemoApp::kStageCount; ++stage)
        for (int frame = 0; frame < 100; ++frame)
            pilot.Tick(DemoApp::Stage(stage), 0.1f * float(frame), true);
    EXPECT_TRUE(pilot.IsDone());
    EXPECT_EQ(pilot.GetPerformedCount(), steps);
}

TEST(AutopilotKeys, CharactersMapToTheWindowLayersKeyCodes) {
    EXPECT_EQ(Autopilot::KeyCodeOf('a'), 'A');
    EXPECT_EQ(Autopilot::KeyCodeOf('Z'), 'Z');
    EXPECT_EQ(Autopilot::KeyCodeOf('7'), '7');
    EXPECT_EQ(Autopilot::KeyCodeOf(' '), 32);
    EXPECT_EQ(Autopilot::KeyCodeOf(8), 8);
    EXPECT_EQ(Autopilot::KeyCodeOf(13), 13);
    EXPECT_EQ(Autopilot::KeyCodeOf('!'), 0);
}
