#include <screensaver/ScreenSaverApp.h>

#include <cstdlib>

#include <screensaver/SSHall.h>
#include <screensaver/SSTrophy.h>
#include <zyn/core/Root.h>

using namespace Zyn;

ScreenSaverApp::ScreenSaverApp(const char* name) : App(name) {
    // Screens come in every shape: the hall is endless, so a wider or
    // taller window shows more of it rather than a distorted one.
    SetFit(Fit::kExtend);
}

ScreenSaverApp::~ScreenSaverApp() = default;

bool ScreenSaverApp::Update(float dt) {
    Root* root = Singleton<Root>::Get();
    // Per instance rather than function-local: a second application in the
    // same process (tests, a re-created scene) sees its own first position.
    if (!m_bMouseSeen) {
        m_bMouseSeen = true;
        m_MouseX = root->m_MouseX;
        m_MouseY = root->m_MouseY;
    }
    if (std::abs(root->m_MouseX - m_MouseX) > 2 || std::abs(root->m_MouseY - m_MouseY) > 2) root->Close();
    const bool keyDown = (root->m_KeyStates[27] | root->m_KeyStates[13] | root->m_KeyStates[32]) & Root::kKeyDown;
    if (keyDown && !root->m_bInputLocked) root->Close();
    if (m_fReplaySeconds > 0.f) {
        m_fShowSeconds += dt;
        if (m_fShowSeconds >= m_fReplaySeconds) RestartShow();
    }
    return App::Update(dt);
}

void ScreenSaverApp::StartShow() {
    // Position 0 puts each in front: the trophy display ends up before the hall.
    InsertObject(new SSHall(), kActiveLayers, 0, nullptr);
    InsertObject(new SSTrophy(), kActiveLayers, 0, nullptr);
    m_fShowSeconds = 0.f;
}

void ScreenSaverApp::RestartShow() {
    if (Zyn::IDynGroup* layers = GetGroup(kActiveLayers)) layers->Clear(this, kActiveLayers);
    StartShow();
}

void ScreenSaverApp::SetReplayInterval(float seconds) {
    m_fReplaySeconds = seconds > 0.f ? seconds : 0.f;
    m_fShowSeconds = 0.f;
}
