// The screen saver's application: the framework's App plus the rule that
// user activity asks the host to end the screen saver. No cursor.
#pragma once

#include <zyn/app/App.h>
#include <zyn/core/Singleton.h>

class ScreenSaverApp : public Zyn::App, public Zyn::SingletonEx<ScreenSaverApp> {
public:
    explicit ScreenSaverApp(const char* name);
    ~ScreenSaverApp() override;

    /// Asks Root to close on a mouse move of more than 2 pixels from the first
    /// position seen, or on Escape, Return or Space; then runs the frame.
    bool Update(float dt) override;
    void RenderMouse() override {}

    /// Puts the show's layers in: the hall, and the trophy display in front.
    void StartShow();
    /// Plays the show again from the dark: every layer (effects and
    /// shards included) goes and a new hall and trophy display come in, as
    /// at start-up. The art and the effects stay loaded.
    void RestartShow();
    /// Restarts the show every `seconds` of frame time; 0 (the default)
    /// never does, so the show plays once and the hall races on.
    void SetReplayInterval(float seconds);

private:
    float m_fReplaySeconds = 0.f;  // 0: no replay
    float m_fShowSeconds = 0.f;    // frame time since the show started
    // The mouse position at the first update.
    bool m_bMouseSeen = false;
    int m_MouseX = 0;
    int m_MouseY = 0;
};
