// The backends behind the platform API, for the API's own sources and the
// backends: each backend's factory and the hook that lets a backend release
// a context another one left current on the calling thread.
#pragma once

#include <zyn/platform/WindowSurface.h>

namespace Zyn {
namespace Backends {

/// The EGL surfaceless backend (always built). Never null.
GLSurface* CreateEglOffscreenSurface();
/// Makes no EGL context current on the calling thread.
void ReleaseCurrentEglContext();

/// The X11/GLX backend; only in builds with X11.
WindowSurface* CreateX11WindowSurface(const WindowRequest& request, WindowError& error);
/// Makes no GLX context current on the calling thread.
void ReleaseCurrentGlxContext();

/// The Wayland backend (EGL on Wayland surfaces); only in builds with
/// Wayland. Its contexts are EGL contexts, released as such.
WindowSurface* CreateWaylandWindowSurface(const WindowRequest& request, WindowError& error);

/// The GL dispatcher refuses a context of one window-system API on a thread
/// that still has one of another current: a backend calls this before it
/// makes its own context current. `self` is kept.
enum class Api { kEgl, kGlx };
void ReleaseOtherContexts(Api self);

}  // namespace Backends
}  // namespace Zyn
