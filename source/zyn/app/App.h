// An application: layers of app objects in Root's "Update" group. Each frame
// it updates its active layers front to back, then renders them back to
// front between the renderer's begin and end of frame.
#pragma once

#include <deque>

#include <zyn/core/AppObject.h>

namespace Zyn {

class Font;

/// Measures the frame rate over the last second of real time, for the
/// frame-rate text: "fps N" with the frames per second rounded and "tpf"
/// with the measured seconds per frame, made anew once a second, empty for
/// the first second after a reset.
class FrameRateCounter {
public:
    void Reset();
    /// One frame drawn at `nowUs` on the 32-bit microsecond clock.
    void AddFrame(long nowUs);
    /// Borrowed; valid until the next call.
    const char* GetText() const { return m_Text; }

private:
    std::deque<long> m_Times;  // the frames of the last second, and the one before
    long m_LastTextUs = 0;
    char m_Text[64] = "";
};

class App : public DynGroupObject {
    ZYN_DECLARE_CLASS(App)

public:
    enum Group { kActiveLayers = 0, kIdleLayers = 1 };

    explicit App(const char* name = "");
    ~App() override;
    ZYN_STATIC_CREATE(App)

    /// The whole frame; always false, so objects behind the application in
    /// its group are not updated.
    bool Update(float dt) override;
    /// The built-in cursor while Root's mouse flag is set.
    virtual void RenderMouse();
    /// The "fps"/"tpf" text, toggled by key code 123.
    void RenderFrameRate(float dt);

    bool IsShowingFrameRate() const { return m_bShowFrameRate; }

    /// How the logical screen meets a window of another shape. kStretch
    /// fills the window with exactly the logical screen, distorted;
    /// kExtend keeps the proportions, centres the logical screen and shows
    /// more of the scene beyond its sides (wider windows) or beyond its top
    /// and bottom (narrower ones): layers must draw that far.
    enum class Fit { kStretch, kExtend };
    void SetFit(Fit fit) { m_Fit = fit; }
    Fit GetFit() const { return m_Fit; }
    /// The logical rectangle the window shows this frame (the logical
    /// screen itself under kStretch).
    Rect<float> GetVisibleRect() const;
    StdListDynGroup<AppObject>& GetActiveLayers() { return m_ActiveLayers; }

    static void RegisterProps(Class* cls);

protected:
    /// Viewport, 2D mode, logical projection, no transform, no clipping.
    void SetupFrame();

    Font* m_pDebugFont = nullptr;  // holds one reference
    bool m_bShowFrameRate = false;
    Fit m_Fit = Fit::kStretch;
    StdListDynGroup<AppObject> m_ActiveLayers;
    StdListDynGroup<AppObject> m_IdleLayers;
};

}  // namespace Zyn
