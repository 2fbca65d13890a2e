// A window to draw into, from whichever window-system backend the host chose:
// a window of our own (a preview), a window a screen saver daemon hands us,
// the root window, or a screen saver's cover over every output. Input arrives
// through PumpEvents in the framework's codes. The backend's own types never
// appear here. Frame thread only.
#pragma once

#include <functional>
#include <string>

#include <zyn/platform/GLSurface.h>

namespace Zyn {

/// Window-system backends. kAuto picks Wayland when $WAYLAND_DISPLAY is set
/// and no X window (a foreign one or the root) is asked for, else X11.
enum class WindowBackend { kAuto, kX11, kWayland };

/// What to draw into.
struct WindowRequest {
    enum class Kind { kOwnWindow, kForeignWindow, kRootWindow };
    Kind kind = Kind::kOwnWindow;
    WindowBackend backend = WindowBackend::kAuto;
    /// The server to talk to; empty: the backend's default ($DISPLAY,
    /// $WAYLAND_DISPLAY). Wayland also takes the socket's full path.
    std::string displayName;
    /// kOwnWindow: its title and size in pixels.
    std::string title;
    int width = 0;
    int height = 0;
    /// kForeignWindow: the window-system id of the window.
    unsigned long windowId = 0;
    /// kOwnWindow, Wayland only: cover the outputs as a screen saver does,
    /// with one overlay per output where the compositor offers overlays,
    /// else one fullscreen window. The size and title are then ignored.
    bool coverOutputs = false;
    /// With coverOutputs: only this output (a name such as "HDMI-A-1");
    /// empty: every output, or the compositor's choice for a fullscreen
    /// window. A name the compositor does not know is an error (kNoOutput).
    std::string outputName;
};

/// Why CreateWindowSurface gave nothing.
enum class WindowError {
    kNone,
    kNoBackend,  // the backend asked for is not built in
    kNoDisplay,  // the window server cannot be reached
    kNoWindow,   // the window does not exist, or our own could not be made
    kNoOutput,   // no output has the name asked for
};

class WindowSurface : public GLSurface {
public:
    /// Input as (code, a, b), the arguments of Root::ProcessSystemEvent.
    typedef std::function<void(int, int, int)> EventSink;

    /// Reads every pending event: keys, buttons and motion go to the sink
    /// (Root::ProcessSystemEvent when none is set) with the framework's
    /// codes; size changes are kept for TakeResize; destruction and a close
    /// request are kept for IsClosed.
    virtual void PumpEvents() = 0;
    /// The window was destroyed or its user asked to close it.
    virtual bool IsClosed() const = 0;
    /// The window was destroyed under us (a daemon took it away) or the
    /// connection to the window server was lost; the reason is logged once.
    virtual bool IsDestroyed() const = 0;
    /// True once per change of the window's size, with the new size.
    virtual bool TakeResize(int& width, int& height) = 0;
    /// A descriptor that becomes readable when events arrive, for a host
    /// that sleeps until the next frame; -1 when there is none. Wait on it
    /// only right after PumpEvents, which sends what is queued and leaves
    /// no event unread.
    virtual int GetEventDescriptor() const = 0;
    /// Whether a frame drawn now would be shown. A backend whose compositor
    /// paces drawing says false until the compositor asks for a frame (a
    /// hidden output never does); the host then waits on the descriptor
    /// instead of drawing. Frames drawn anyway are dropped, not queued.
    virtual bool IsReadyForFrame() const { return true; }
    /// Whether the window draws into a window of its own.
    virtual bool IsOwnWindow() const = 0;
    /// Draws frames at half the window's width and height (rounded up) and
    /// shows them stretched over it: a quarter of the pixels to draw, for a
    /// softer picture. GetWidth and GetHeight then give the drawn size,
    /// pointer positions arrive in its pixels, and the change is reported
    /// once through TakeResize. False, and nothing changes, where the
    /// backend cannot stretch frames.
    virtual bool SetHalfResolution(bool half) { return !half; }

    /// Where PumpEvents sends input; empty restores Root::ProcessSystemEvent.
    void SetEventSink(EventSink sink) { m_EventSink = std::move(sink); }

protected:
    /// Hands one event to the sink.
    void Send(int code, int a, int b);

private:
    EventSink m_EventSink;
};

/// Opens the window asked for. Owned by the caller; null on failure, with
/// the reason in `error` (when given) and the details logged.
WindowSurface* CreateWindowSurface(const WindowRequest& request, WindowError* error = nullptr);

/// Whether a window-system backend is built into this library.
bool HasWindowBackend(WindowBackend backend);

/// Sets up Mesa's software rasteriser (llvmpipe) for a sprite renderer that
/// runs alongside other programs, unless the user chose otherwise: one
/// rasteriser thread (LP_NUM_THREADS=1: handing tiles between threads costs
/// processor time, and one thread draws a frame at screen sizes in time),
/// and without its "linear" path (LP_PERF=no_linear), which draws magnified
/// and blended textures at about a third more cost than its general path.
/// Other drivers ignore both. It changes the environment: call it first
/// thing in main, before any thread starts.
void PreferLeanSoftwareRasterizer();

}  // namespace Zyn
