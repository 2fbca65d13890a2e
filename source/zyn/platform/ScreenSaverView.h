// The screen saver view base: what a screen saver engine creates, starts,
// asks for frames, stops and releases. A host makes these calls in this
// order: InitWithFrame, StartAnimation, AnimateOneFrame..., StopAnimation,
// Dealloc, then deletes the view. Frame thread only.
#pragma once

namespace Zyn {

class GLSurface;

class ScreenSaverView {
public:
    /// `surface` is the view's drawable; borrowed, it must outlive the view.
    explicit ScreenSaverView(GLSurface* surface) : m_pSurface(surface) {}
    virtual ~ScreenSaverView() = default;
    ScreenSaverView(const ScreenSaverView&) = delete;
    ScreenSaverView& operator=(const ScreenSaverView&) = delete;

    /// Records the frame and the preview flag. False (the view is unusable
    /// and is deleted without Dealloc) when a size is negative, not finite
    /// or too large for the screen size fields.
    [[nodiscard]] virtual bool InitWithFrame(float width, float height, bool isPreview);
    virtual void StartAnimation() { m_bAnimating = true; }
    virtual void StopAnimation() { m_bAnimating = false; }
    /// Draws one frame; the base draws nothing.
    virtual void AnimateOneFrame() {}
    /// Changes the frame; ignored (false) for sizes InitWithFrame refuses.
    virtual bool SetFrameSize(float width, float height);
    /// Called once by the host right before it deletes the view.
    virtual void Dealloc() { m_bAnimating = false; }
    virtual bool HasConfigureSheet() const { return false; }
    /// The configuration window; null: the base has none.
    virtual void* ConfigureSheet() { return nullptr; }

    float GetFrameWidth() const { return m_fFrameWidth; }
    float GetFrameHeight() const { return m_fFrameHeight; }
    bool IsPreview() const { return m_bPreview; }
    bool IsAnimating() const { return m_bAnimating; }
    /// Borrowed.
    GLSurface* GetSurface() const { return m_pSurface; }

    /// A frame size that converts safely to the 32-bit screen size fields.
    static bool IsValidFrameSize(float width, float height);

private:
    GLSurface* m_pSurface;  // borrowed
    float m_fFrameWidth = 0.0f;
    float m_fFrameHeight = 0.0f;
    bool m_bPreview = false;
    bool m_bAnimating = false;
};

}  // namespace Zyn
