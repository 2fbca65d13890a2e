#include "Autopilot.h"

#include <zyn/core/Root.h>

namespace Demo {

namespace {

// Root::ProcessSystemEvent codes.
const int kKeyDown = 0;
const int kKeyUp = 1;
const int kChar = 2;

const int kKeyBackspace = 8;
const int kKeyReturn = 13;
const int kKeySpace = 32;
const int kKeyRight = 39;
const int kKeyF12 = 123;
const int kMouseLeft = 1;

const char* const kName = "Ada 7x";

}  // namespace

const char* Autopilot::ScriptedName() { return "Ada 7"; }

std::vector<ScriptStep> Autopilot::DemoScript() {
    typedef ScriptStep S;
    std::vector<ScriptStep> steps = {
        {DemoApp::kLogos, 0.0f, S::kPress, kKeyF12},
        // Well into the second logo: it jumps to its fade-out.
        {DemoApp::kLogos, 3.7f, S::kPress, kKeySpace},
    };
    float t = 1.0f;
    for (const char* c = kName; *c; ++c, t += 0.15f) steps.push_back({DemoApp::kWidgets, t, S::kType, *c});
    steps.push_back({DemoApp::kWidgets, t + 0.25f, S::kType, kKeyBackspace});
    steps.push_back({DemoApp::kWidgets, t + 0.75f, S::kType, kKeyReturn});
    steps.push_back({DemoApp::kLoading, 1.6f, S::kClick, kMouseLeft, true});
    steps.push_back({DemoApp::kPlayground, 2.0f, S::kPress, kKeyRight});
    steps.push_back({DemoApp::kPlayground, 3.5f, S::kPress, kKeyRight});
    return steps;
}

int Autopilot::KeyCodeOf(int c) {
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    if (c == ' ' || c == kKeyBackspace || c == kKeyReturn) return c;
    return 0;
}

void Autopilot::Tick(DemoApp::Stage stage, float stageTime, bool loadComplete) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    for (int key : m_Held) root->ProcessSystemEvent(kKeyUp, key, 0);
    m_Held.clear();
    while (m_Next < m_Steps.size()) {
        const ScriptStep& step = m_Steps[m_Next];
        if (stage > step.stage) {
            ++m_Next;
            continue;
        }
        const bool due = stage == step.stage && stageTime >= step.after && (!step.whenLoaded || loadComplete);
        if (!due) break;
        Perform(step);
        ++m_Next;
    }
}

void Autopilot::Perform(const ScriptStep& step) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    int key = step.code;
    if (step.kind == ScriptStep::kType) key = KeyCodeOf(step.code);
    if (step.kind == ScriptStep::kClick) key = kMouseLeft;
    if (key) {
        root->ProcessSystemEvent(kKeyDown, key, 0);
        m_Held.push_back(key);
    }
    // The window layer sends the character right after its key.
    if (step.kind == ScriptStep::kType) root->ProcessSystemEvent(kChar, step.code, 0);
    ++m_Performed;
}

}  // namespace Demo
