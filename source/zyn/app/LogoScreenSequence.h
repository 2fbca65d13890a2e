// Full-screen logo screens played before an application starts. Each screen
// shows one texture centred on its background colour; it fades in from the
// sequence's background colour while growing slightly, stays, and fades out
// while growing further. A key press or click shortens the current screen.
// After the last screen the creator's callback is called once; removing the
// sequence is the creator's business.
//
// The configuration is a text file of "keyword = value" statements with "#"
// comments: screen_count, screen_time[_N], screen_back[_N] (R,G,B) and
// screen_file_N (a texture name), N counting screens from 1.
#pragma once

#include <vector>

#include <zyn/core/AppObject.h>

namespace Zyn {

class Texture;

class LogoScreenSequence : public AppObject {
    ZYN_DECLARE_CLASS(LogoScreenSequence)

public:
    struct ScreenDesc {
        Color color{0xFF000000u};    // behind the logo
        float time = 3.0f;           // seconds, fades included
        Texture* texture = nullptr;  // one reference held; may be null
    };
    typedef void (*Callback)(LogoScreenSequence* sequence);

    /// Seconds of each fade.
    static constexpr float kFadeTime = 0.8f;
    /// Length given to a screen skipped while fading in.
    static constexpr float kSkippedTime = 1.6f;
    /// Configuration files above this size are refused.
    static constexpr unsigned kMaxConfigBytes = 1u << 20;

    /// Reads configFile, or the file named like the object when it is null.
    /// A missing or refused file leaves a sequence without screens, which
    /// shows the background colour and never calls back.
    LogoScreenSequence(const char* name, const char* configFile, Callback callback);
    /// Releases every screen's texture.
    ~LogoScreenSequence() override;
    static Object* StaticCreate(const char* name);

    /// Advances the current screen. Always false, so that the layers behind
    /// the sequence are not updated. The callback may destroy the sequence.
    bool Update(float dt) override;
    /// Draws the current screen, or the background colour. True.
    bool Render(float dt) override;

    /// Every screen's colour and the sequence's background colour.
    void SetColor(Color color);
    /// Every screen's duration.
    void SetTime(float time);

    const std::vector<ScreenDesc>& GetScreens() const { return m_Screens; }
    Color GetBackColor() const { return m_BackColor; }
    int GetCurrent() const { return m_Current; }
    float GetTime() const { return m_fTime; }

private:
    void ReadConfig(const char* fileName);
    // Interprets the NUL-terminated text; stops at the first logic error.
    void ParseConfig(const char* text, const char* fileName);
    // Changes the number of screens; dropped screens give back their texture.
    void ResizeScreens(size_t count);

    std::vector<ScreenDesc> m_Screens;
    Color m_BackColor{0xFF000000u};
    s32 m_Current = 0;
    float m_fTime = -0.5f;  // the first screen starts after half a second
    Callback m_pfnCallback;
};

}  // namespace Zyn
