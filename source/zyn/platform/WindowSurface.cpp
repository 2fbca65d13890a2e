#include <zyn/platform/WindowSurface.h>

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
        case WindowBackend::kX11:
#ifdef ZYN_HAVE_X11
            return true;
#else
            return false;
#endif
    }
    return false;
}

WindowSurface* CreateWindowSurface(const WindowRequest& request, WindowError* error) {
    WindowError local = WindowError::kNone;
    WindowError& why = error ? *error : local;
    why = WindowError::kNone;
    if (!HasWindowBackend(request.backend)) {
        LogSend(kLogError, "WindowSurface -> no window-system backend is built in");
        why = WindowError::kNoBackend;
        return nullptr;
    }
#ifdef ZYN_HAVE_X11
    return Backends::CreateX11WindowSurface(request, why);
#else
    return nullptr;
#endif
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
}  // namespace Zyn
