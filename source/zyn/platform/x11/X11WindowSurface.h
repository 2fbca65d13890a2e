// The X11 backend: a window with a double-buffered GL context, either a
// window of our own (the preview) or a foreign one given by id (a screen saver
// daemon's window, or the root window). The context is built from the
// window's own visual, so a foreign window needs no re-parenting. It is bound
// to the window through EGL, whose driver set-up is the quicker one (a
// daemon's user waits for the first frame), else through GLX; ZYN_X11_GL=glx
// in the environment asks for GLX. Reached
// through CreateWindowSurface; only the platform layer and its tests include
// this header. Frame thread only, except MakeSharedContextCurrent and
// DoneSharedContext.
#pragma once

#include <zyn/platform/WindowSurface.h>

struct _XDisplay;

namespace Zyn {

/// The framework's key code for an X11 keysym: 8 Backspace, 9 Tab, 13 Return,
/// 27 Escape, 32 Space, 37-40 arrows, 112-123 F1-F12, letters and digits as
/// their upper-case ASCII codes and so on; 0 for keys it does not know.
int X11KeySymToKeyCode(unsigned long keysym);

class X11WindowSurface : public WindowSurface {
public:
    /// Opens `displayName` (null: $DISPLAY) and a mapped top-level window
    /// of its own with the title; closing it through the window manager
    /// sets IsClosed. Null, logged, when the display or a GL visual is
    /// missing. Owned by the caller.
    static X11WindowSurface* CreateOwnWindow(const char* title, int width, int height,
                                             const char* displayName = nullptr);
    /// Draws into an existing window. Only structure events are selected
    /// on it (its owner keeps the input). Null, logged, when the display or
    /// the window is missing. Owned by the caller.
    static X11WindowSurface* AttachToWindow(unsigned long windowId, const char* displayName = nullptr);
    /// Draws into the root window of the default screen. Owned by the caller.
    static X11WindowSurface* AttachToRootWindow(const char* displayName = nullptr);

    /// Frees the contexts; destroys the window only if it is our own and
    /// still exists; closes the display connection.
    ~X11WindowSurface() override;

    /// A foreign window keeps its size: only the window of our own is
    /// resized to the request.
    bool CreateContext(int width, int height) override;
    void DestroyContext() override;
    bool HasContext() const override { return m_pGl != nullptr; }
    bool MakeCurrent() override;
    /// Through Mesa's software EGL on a server that shares memory with us,
    /// the frame is read back and put on the window from shared memory, as
    /// GLX does unasked: EGL would send it in image requests, which cost the
    /// server more than the frame cost us.
    void SwapBuffers() override;
    /// Through EGL, or GLX's swap-control extensions where the server lists
    /// them; otherwise nothing.
    void SetSwapInterval(int interval) override;
    /// The drawn size: the window's, or half of it, rounded up.
    int GetWidth() const override { return m_bHalf ? (m_Width + 1) / 2 : m_Width; }
    int GetHeight() const override { return m_bHalf ? (m_Height + 1) / 2 : m_Height; }
    /// The frame drawn since the last SwapBuffers (the back buffer: the
    /// front one is not readable on every driver), top row first, alpha 255,
    /// at the drawn size. Call it before SwapBuffers.
    bool ReadPixels(std::vector<u8>& rgba) override;
    /// The worker's context shares textures with the main one. It never
    /// draws, it only uploads: through EGL it has no surface (false where
    /// EGL cannot do without one); through GLX it is made current on a
    /// 1 × 1 pbuffer of the window's visual where GLX offers one, else on
    /// the window itself.
    bool MakeSharedContextCurrent() override;
    void DoneSharedContext() override;
    /// Our own window only: a daemon's window keeps its owner's cursor.
    void ShowCursor(bool show) override;

    void PumpEvents() override;
    bool IsClosed() const override { return m_bDestroyed || m_bCloseRequested; }
    bool IsDestroyed() const override { return m_bDestroyed; }
    bool TakeResize(int& width, int& height) override;
    /// The connection to the X server.
    int GetEventDescriptor() const override;
    bool IsOwnWindow() const override { return m_bOwnWindow; }
    /// Needs a double-buffered context and a window of 32-bit true colour
    /// pixels (the usual 24-bit visual): each frame is read back, stretched
    /// by the processor and put on the window, through shared memory where
    /// the server offers it, instead of being swapped.
    bool SetHalfResolution(bool half) override;
    /// False while the window is unmapped or fully covered: nobody would
    /// see the frame.
    bool IsReadyForFrame() const override { return m_bMapped && !m_bObscured; }
    /// Xft.dpi when the desktop sets it, else the screen's physical size.
    float GetContentScale() const override { return m_fContentScale; }

    /// True when the context is bound through EGL, false through GLX or
    /// without a context.
    bool UsesEgl() const;

    /// Borrowed.
    _XDisplay* GetDisplay() const { return m_pDisplay; }
    unsigned long GetWindow() const { return m_Window; }

private:
    X11WindowSurface() = default;
    bool OpenDisplay(const char* displayName);
    bool AdoptWindow(unsigned long window);
    bool CreateWindow(const char* title, int width, int height);
    void HandleKey(void* xevent, bool down);
    struct ImagePresenter;
    /// Null where the window's pixels cannot take our images.
    ImagePresenter* MakePresenter();
    /// Puts the drawn frame on the window as an image, stretched at half size.
    void PutFrame();
    /// The X11 display's EGL display, initialised on first use; null where
    /// EGL cannot draw on it or GLX is asked for.
    void* Egl();

    struct GlBinding;
    struct GlxBinding;
    struct EglBinding;

    _XDisplay* m_pDisplay = nullptr;  // owned connection
    int m_Screen = 0;
    unsigned long m_Window = 0;
    unsigned long m_Colormap = 0;  // owned, for our own window
    unsigned long m_VisualId = 0;
    unsigned long m_WmDeleteWindow = 0;
    unsigned long m_BlankCursor = 0;  // owned, made on first hide
    GlBinding* m_pGl = nullptr;       // owned: the contexts
    void* m_pEgl = nullptr;           // owned (EGLDisplay), made on first use
    bool m_bEglTried = false;
    ImagePresenter* m_pPresenter = nullptr;  // owned, while frames are put as images
    bool m_bHalf = false;                    // drawing at half size
    bool m_bPutFrames = false;               // full-size frames put as images
    bool m_bOwnWindow = false;
    bool m_bDestroyed = false;
    bool m_bCloseRequested = false;
    bool m_bResized = false;
    bool m_bMapped = true;
    bool m_bObscured = false;
    int m_Width = 0;
    int m_Height = 0;
    int m_SwappedWidth = 0;  // the window's size when GL last took it
    int m_SwappedHeight = 0;
    float m_fContentScale = 1.f;
};

}  // namespace Zyn
