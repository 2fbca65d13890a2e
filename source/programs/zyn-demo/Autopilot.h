// Plays the user in headless runs (and with --autoplay in the window): a
// script of key presses, typed characters and clicks, each due a number of
// seconds into a stage of the demo. Input goes through Root's system events,
// exactly as the window layer sends it. Frame thread only.
#pragma once

#include <vector>

#include "DemoApp.h"

namespace Demo {

struct ScriptStep {
    enum Kind {
        kPress,  // a key: down for one frame
        kType,   // a character: its key down for one frame, and the character event
        kClick,  // the left mouse button (key code 1) for one frame
    };
    DemoApp::Stage stage;
    float after;  // seconds into the stage
    Kind kind;
    int code;                 // key code for kPress, character for kType
    bool whenLoaded = false;  // also waits until the loader has done every task
};

class Autopilot {
public:
    explicit Autopilot(std::vector<ScriptStep> steps) : m_Steps(std::move(steps)) {}

    /// The demo's script: F12 on, a logo skipped, a name typed (with a
    /// Backspace) and confirmed, the click after loading, two effects switched.
    static std::vector<ScriptStep> DemoScript();
    /// The name the script leaves in the field.
    static const char* ScriptedName();

    /// Call before each frame: lets go of what the last frame saw pressed,
    /// then performs every step that is due. A step whose stage has passed is
    /// dropped, so the script never stalls behind a stage it missed.
    void Tick(const DemoApp& app) { Tick(app.GetStage(), app.GetStageTime(), app.IsLoadComplete()); }
    /// The same for a demo in that stage, stageTime seconds into it.
    void Tick(DemoApp::Stage stage, float stageTime, bool loadComplete);
    /// Every step has been performed or dropped.
    bool IsDone() const { return m_Next >= m_Steps.size(); }
    size_t GetPerformedCount() const { return m_Performed; }

    /// The key code that types the character: letters as their upper-case
    /// ASCII code, digits and space as themselves, 8 Backspace, 13 Return; 0
    /// for characters without a key of their own.
    static int KeyCodeOf(int character);

private:
    void Perform(const ScriptStep& step);

    std::vector<ScriptStep> m_Steps;
    size_t m_Next = 0;
    size_t m_Performed = 0;
    std::vector<int> m_Held;  // keys to let go of before the next frame
};

}  // namespace Demo
