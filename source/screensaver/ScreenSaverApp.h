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

private:
    // The mouse position at the first update.
    bool m_bMouseSeen = false;
    int m_MouseX = 0;
    int m_MouseY = 0;
};
