#include <zyn/platform/WindowSurface.h>

#include <cstdlib>

#include <zyn/core/Log.h>
#include <zyn/core/Root.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/platform/internal/Backends.h>

namespace Zyn {

void WindowSurface::Send(int code, int a, int b) {
    if (m_EventSink)
        m_EventSink(code, a, b);
    else
        Singleton<Root>::Get()->ProcessSystemEvent(code, a, b);
}

bool HasWindowBackend(WindowBackend backend) {
    switch (backend) {
        case WindowBackend::kAuto:
            return HasWindowBackend(WindowBackend::kX11) || HasWindowBackend(WindowBackend::kWayland);
        case WindowBackend::kX11:
#ifdef ZYN_HAVE_X11
            return true;
#else
            return false;
#endif
        case WindowBackend::kWayland:
#ifdef ZYN_HAVE_WAYLAND
            return true;
#else
            return false;
#endif
    }
    return false;
}

namespace {

// An X window (a daemon's or the root) exists only on X11; otherwise a
// Wayland session, told by $WAYLAND_DISPLAY, gets Wayland.
WindowBackend ChooseBackend(const WindowRequest& request) {
    if (request.backend != WindowBackend::kAuto) return request.backend;
    const bool wantsXWindow = request.kind == WindowRequest::Kind::kForeignWindow ||
                              request.kind == WindowRequest::Kind::kRootWindow;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (HasWindowBackend(WindowBackend::kWayland) && !wantsXWindow && wayland && *wayland)
        return WindowBackend::kWayland;
    if (HasWindowBackend(WindowBackend::kX11)) return WindowBackend::kX11;
    return WindowBackend::kWayland;
}

}  // namespace

WindowSurface* CreateWindowSurface(const WindowRequest& request, WindowError* error) {
    WindowError local = WindowError::kNone;
    WindowError& why = error ? *error : local;
    why = WindowError::kNone;
    const WindowBackend backend = ChooseBackend(request);
    if (!HasWindowBackend(backend)) {
        LogSend(kLogError, "WindowSurface -> no window-system backend is built in");
        why = WindowError::kNoBackend;
        return nullptr;
    }
    switch (backend) {
        case WindowBackend::kAuto:
            break;
        case WindowBackend::kX11:
            if (request.coverOutputs) {
                LogSend(kLogError, "WindowSurface -> X11 covers the screens through the root window or a daemon's");
                why = WindowError::kNoWindow;
                return nullptr;
            }
#ifdef ZYN_HAVE_X11
            return Backends::CreateX11WindowSurface(request, why);
#else
            break;
#endif
        case WindowBackend::kWayland:
#ifdef ZYN_HAVE_WAYLAND
            return Backends::CreateWaylandWindowSurface(request, why);
#else
            break;
#endif
    }
    why = WindowError::kNoBackend;
    return nullptr;
}

GLSurface* CreateOffscreenSurface() { return Backends::CreateEglOffscreenSurface(); }

namespace Backends {

void ReleaseOtherContexts(Api self) {
    if (self != Api::kEgl) ReleaseCurrentEglContext();
#ifdef ZYN_HAVE_X11
    if (self != Api::kGlx) ReleaseCurrentGlxContext();
#endif
}

}  // namespace Backends

void PreferLeanSoftwareRasterizer() {
    // The user's own choice stays: setenv does not overwrite.
    setenv("LP_NUM_THREADS", "1", 0);
    setenv("LP_PERF", "no_linear", 0);
}

}  // namespace Zyn
