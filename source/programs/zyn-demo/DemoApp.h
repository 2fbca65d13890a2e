// The demo's application: a Zyn::App that directs the tour. It starts with
// the logo screens, then fades to the widget screen; Return in the name
// field slides to the loading screen, whose worker loads the playground's
// resources; a click there fades to the particle playground.
//
// Screens ask for the next stage from inside their own updates (callbacks,
// events); the change is made at the start of the next frame, outside every
// layer's update, so that no layer is removed while it runs.
#pragma once

#include <string>

#include <zyn/app/App.h>
#include <zyn/core/Object.h>

namespace Zyn {
class LogoScreenSequence;
class Transition;
}  // namespace Zyn

namespace Demo {

class DemoLoader;
class Playground;
class WidgetScreen;

class DemoApp : public Zyn::App {
    ZYN_DECLARE_CLASS(DemoApp)

public:
    /// What is on screen; a stage begins when its screen is put up, so the
    /// transitions count as stages of their own.
    enum Stage { kLogos, kWidgets, kSlide, kLoading, kFade, kPlayground, kStageCount };
    /// "logos", "widgets", "slide", "loading", "fade", "playground".
    static const char* StageName(int stage);

    /// Transition lengths in seconds.
    static constexpr float kLogoFadeOut = 0.2f;
    static constexpr float kLogoFadeIn = 0.6f;
    static constexpr float kSlideSeconds = 1.0f;
    static constexpr float kPlaygroundFadeOut = 0.5f;
    static constexpr float kPlaygroundFadeIn = 0.5f;

    /// The loader lets one task start every secondsPerTask; with lockstep
    /// each frame waits for the worker (see DemoLoader).
    DemoApp(float secondsPerTask, bool lockstep);
    ~DemoApp() override;

    /// Puts up the logo screens from the pack's configuration. False (logged)
    /// when the configuration gives no screen.
    [[nodiscard]] bool Start();
    /// Makes a stage change asked for during the last frame, then the frame. False.
    bool Update(float dt) override;

    Stage GetStage() const { return m_Stage; }
    /// Seconds since the stage began, this frame included.
    float GetStageTime() const { return m_fStageTime; }
    /// The loader has done all its tasks (false before it exists).
    bool IsLoadComplete() const;
    const std::string& GetPlayerName() const { return m_PlayerName; }
    /// Borrowed; null when that screen is not up.
    WidgetScreen* GetWidgetScreen() const { return m_WidgetScreen.Get(); }
    Playground* GetPlayground() const { return m_Playground.Get(); }

private:
    enum Request { kNoRequest, kShowWidgets, kShowLoader, kShowPlayground };

    static void OnLogosDone(Zyn::LogoScreenSequence* logos);
    void OnNameEntered(const std::string& name);
    void ShowWidgets();
    void ShowLoader();
    void ShowPlayground();
    // Moves the active layer into the transition's group.
    void MoveToTransition(Zyn::AppObject* layer, Zyn::Transition* transition, int group);
    // Inserts the transition in front of the layers and follows it.
    void StartTransition(Zyn::Transition* transition);
    void EnterStage(Stage stage);
    // Gives back the references the loader's tasks kept.
    void ReleaseLoadedResources();

    float m_fSecondsPerTask;
    bool m_bLockstep;
    Stage m_Stage = kLogos;
    float m_fStageTime = 0.0f;
    Request m_Request = kNoRequest;
    bool m_bLoaded = false;  // the loader finished: its tasks hold references
    std::string m_PlayerName;
    // Our own references: a transition has ended once it has left us.
    Zyn::Ref<Zyn::Transition> m_Transition;
    Zyn::Ref<Zyn::LogoScreenSequence> m_Logos;
    Zyn::Ref<WidgetScreen> m_WidgetScreen;
    Zyn::Ref<DemoLoader> m_Loader;
    Zyn::Ref<Playground> m_Playground;
};

}  // namespace Demo
