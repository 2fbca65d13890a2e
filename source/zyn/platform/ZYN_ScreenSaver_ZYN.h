// The screen saver's view. The first view in a process sets up the working
// folder, the log file and Root, then runs the scene start-up (ZynMain);
// later views re-initialise the graphics with their own size. Every frame
// waits until at least 1000 microseconds have passed since the previous one
// and drives Root::Update. Frame thread only.
#pragma once

#include <zyn/platform/ScreenSaverView.h>

typedef void (*ZynMainFunction)();
/// Registers the scene start-up run once by the first view; null clears it.
void SetZynMain(ZynMainFunction function);
/// Runs the registered scene start-up; nothing when none is registered.
void ZynMain();

class ZYN_ScreenSaver_ZYN : public Zyn::ScreenSaverView {
public:
    /// `surface` is borrowed and becomes the window handle of the renderer.
    explicit ZYN_ScreenSaver_ZYN(Zyn::GLSurface* surface) : Zyn::ScreenSaverView(surface) {}

    bool InitWithFrame(float width, float height, bool isPreview) override;
    void StartAnimation() override;
    void StopAnimation() override;
    void AnimateOneFrame() override;
    bool SetFrameSize(float width, float height) override;
    void Dealloc() override;

private:
    long m_t1 = 0;  // clock of the previous frame, low 32 bits
    long m_t2 = 0;  // clock of the current frame, low 32 bits
};
