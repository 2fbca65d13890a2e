#include <zyn/platform/x11/X11WindowSurface.h>

#include <errno.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <vector>

// Our headers before Xlib's, whose macros (None, Bool, Status) would
// rewrite them.
#include <zyn/core/Log.h>
#include <zyn/core/Root.h>
#include <zyn/platform/internal/Backends.h>
#include <zyn/platform/internal/Upscale.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <GL/gl.h>
#include <GL/glx.h>

namespace Zyn {

namespace {

// The serial of the latest request the server refused, for callers that
// must know whether theirs was.
std::atomic<unsigned long> g_LastErrorSerial{0};

// Xlib's default error handler ends the process; a daemon's window can
// vanish under us at any time, so errors are logged and drawing goes on.
int OnXError(Display* display, XErrorEvent* e) {
    g_LastErrorSerial = e->serial;
    char text[256] = {0};
    XGetErrorText(display, e->error_code, text, sizeof text);
    LogSend(kLogWarning, "X11 error: %s (request %d.%d, resource 0x%lx)", text, int(e->request_code),
            int(e->minor_code), e->resourceid);
    return 0;
}

// Losing the display leaves nothing to draw on and no way to tidy up over
// the connection; Xlib would exit() anyway, running exit hooks that talk to
// the dead server.
int OnDisplayLost(Display*) {
    const char* program = program_invocation_short_name;
    static const char message[] = ": lost the connection to the X display\n";
    (void)!write(2, program, std::strlen(program));
    (void)!write(2, message, sizeof message - 1);
    _exit(1);
}

void InstallErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Before any other Xlib call: the worker thread's GLX calls share
        // the connection with the frame thread.
        XInitThreads();
        XSetErrorHandler(&OnXError);
        XSetIOErrorHandler(&OnDisplayLost);
    });
}

// Whole-word match: "GLX_EXT_swap_control_tear" must not count as
// "GLX_EXT_swap_control".
bool HasExtension(const char* list, const char* name) {
    if (!list || !name) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[n] == ' ' || p[n] == '\0';
        if (startOk && endOk) return true;
    }
    return false;
}

const long kMapWaitMicroseconds = 2000000;


}  // namespace

int X11KeySymToKeyCode(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return int(keysym - XK_a) + 'A';
    if (keysym >= XK_A && keysym <= XK_Z) return int(keysym - XK_A) + 'A';
    if (keysym >= XK_0 && keysym <= XK_9) return int(keysym - XK_0) + '0';
    if (keysym >= XK_F1 && keysym <= XK_F12) return int(keysym - XK_F1) + 112;
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return int(keysym - XK_KP_0) + 96;
    switch (keysym) {
        case XK_BackSpace:
            return 8;
        case XK_Tab:
            return 9;
        case XK_Return:
        case XK_KP_Enter:
            return 13;
        case XK_Shift_L:
        case XK_Shift_R:
            return 16;
        case XK_Control_L:
        case XK_Control_R:
            return 17;
        case XK_Alt_L:
        case XK_Alt_R:
            return 18;
        case XK_Pause:
            return 19;
        case XK_Escape:
            return 27;
        case XK_space:
            return 32;
        case XK_Prior:
            return 33;
        case XK_Next:
            return 34;
        case XK_End:
            return 35;
        case XK_Home:
            return 36;
        case XK_Left:
            return 37;
        case XK_Up:
            return 38;
        case XK_Right:
            return 39;
        case XK_Down:
            return 40;
        case XK_Insert:
            return 45;
        case XK_Delete:
            return 46;
        default:
            return 0;
    }
}

X11WindowSurface* X11WindowSurface::CreateOwnWindow(const char* title, int width, int height,
                                                    const char* displayName) {
    X11WindowSurface* s = new X11WindowSurface;
    if (!s->OpenDisplay(displayName) || !s->CreateWindow(title ? title : "", width, height)) {
        delete s;
        return nullptr;
    }
    return s;
}

X11WindowSurface* X11WindowSurface::AttachToWindow(unsigned long windowId, const char* displayName) {
    X11WindowSurface* s = new X11WindowSurface;
    if (!s->OpenDisplay(displayName) || !s->AdoptWindow(windowId)) {
        delete s;
        return nullptr;
    }
    return s;
}

X11WindowSurface* X11WindowSurface::AttachToRootWindow(const char* displayName) {
    X11WindowSurface* s = new X11WindowSurface;
    if (!s->OpenDisplay(displayName) || !s->AdoptWindow(RootWindow(s->m_pDisplay, s->m_Screen))) {
        delete s;
        return nullptr;
    }
    return s;
}

namespace {

// The description of the window's visual, to be freed with XFree; null when
// the screen has no such visual.
XVisualInfo* FindVisual(Display* display, int screen, unsigned long visualId) {
    XVisualInfo tmpl;
    std::memset(&tmpl, 0, sizeof tmpl);
    tmpl.visualid = VisualID(visualId);
    tmpl.screen = screen;
    int count = 0;
    XVisualInfo* vi = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &tmpl, &count);
    if (vi && count < 1) {
        XFree(vi);
        return nullptr;
    }
    return vi;
}

}  // namespace

// What a window drawn at half size needs to show its frames: the frame as GL
// reads it, and the window-sized image it is stretched into.
struct X11WindowSurface::HalfPresenter {
    Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    bool canShm = false;
    XImage* image = nullptr;
    XShmSegmentInfo shm = {};
    bool usesShm = false;
    bool failed = false;  // said once that no image could be had
    std::vector<u8> drawn;

    ~HalfPresenter() {
        FreeImage();
        if (gc) XFreeGC(display, gc);
    }

    void FreeImage() {
        if (!image) return;
        if (usesShm) {
            XShmDetach(display, &shm);
            XSync(display, False);
            XDestroyImage(image);  // leaves the segment's bytes alone
            shmdt(shm.shmaddr);
        } else {
            XDestroyImage(image);
        }
        image = nullptr;
        usesShm = false;
    }

    // The image our frames are stretched into, at the window's size, with
    // pixels laid out as the upscaler writes them (B, G, R, unused).
    bool Fit(int width, int height) {
        if (image && image->width == width && image->height == height) return true;
        FreeImage();
        if (width <= 0 || height <= 0) return false;
        if (canShm) {
            image = XShmCreateImage(display, visual, unsigned(depth), ZPixmap, nullptr, &shm, unsigned(width),
                                    unsigned(height));
            if (image) {
                shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
                void* at = shm.shmid >= 0 ? shmat(shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
                if (at != reinterpret_cast<void*>(-1)) {
                    shm.shmaddr = image->data = static_cast<char*>(at);
                    shm.readOnly = False;
                    // A server in another IPC namespace refuses the segment.
                    const unsigned long serial = NextRequest(display);
                    usesShm = XShmAttach(display, &shm) != 0;
                    XSync(display, False);
                    if (g_LastErrorSerial >= serial) usesShm = false;
                }
                // Gone once both sides detach, even if we end abruptly.
                if (shm.shmid >= 0) shmctl(shm.shmid, IPC_RMID, nullptr);
                if (!usesShm) {
                    if (at != reinterpret_cast<void*>(-1)) shmdt(at);
                    XDestroyImage(image);
                    image = nullptr;
                    // The server cannot share memory with us: plain requests from now on.
                    canShm = false;
                }
            }
        }
        if (!image) {
            image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(width),
                                 unsigned(height), 32, 0);
            if (!image) return false;
            image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
            if (!image->data) {
                XDestroyImage(image);
                image = nullptr;
                return false;
            }
        }
        if (image->bits_per_pixel != 32 || image->byte_order != LSBFirst || image->red_mask != 0xff0000 ||
            image->green_mask != 0xff00 || image->blue_mask != 0xff) {
            FreeImage();
            return false;
        }
        return true;
    }
};

X11WindowSurface::~X11WindowSurface() {
    DestroyContext();
    if (!m_pDisplay) return;
    if (m_bOwnWindow && m_Window && !m_bDestroyed) XDestroyWindow(m_pDisplay, m_Window);
    if (m_BlankCursor) XFreeCursor(m_pDisplay, m_BlankCursor);
    if (m_Colormap) XFreeColormap(m_pDisplay, m_Colormap);
    XCloseDisplay(m_pDisplay);
}

namespace {

// The density desktops publish for their fonts (Xft.dpi), else the one the
// screen's physical size implies; as a multiple of 96 dpi, within 1..4.
float ReadContentScale(Display* display, int screen) {
    double dpi = 0.0;
    if (const char* resources = XResourceManagerString(display)) {
        XrmInitialize();
        if (XrmDatabase db = XrmGetStringDatabase(resources)) {
            char* type = nullptr;
            XrmValue value;
            if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
                dpi = std::strtod(value.addr, nullptr);
            XrmDestroyDatabase(db);
        }
    }
    if (!(dpi > 0.0)) {
        const int mm = DisplayHeightMM(display, screen);
        // Servers that know no size report 0 or a made-up one near 96 dpi.
        if (mm > 0) dpi = DisplayHeight(display, screen) * 25.4 / mm;
    }
    if (!(dpi > 0.0)) return 1.f;
    const double scale = dpi / 96.0;
    return float(scale < 1.0 ? 1.0 : scale > 4.0 ? 4.0 : scale);
}

}  // namespace

bool X11WindowSurface::OpenDisplay(const char* displayName) {
    InstallErrorHandler();
    m_pDisplay = XOpenDisplay(displayName);
    if (!m_pDisplay) {
        LogSend(kLogError, "X11WindowSurface -> cannot open display %s",
                displayName ? displayName : "(DISPLAY)");
        return false;
    }
    m_Screen = DefaultScreen(m_pDisplay);
    m_fContentScale = ReadContentScale(m_pDisplay, m_Screen);
    int major = 0, minor = 0;
    if (!glXQueryVersion(m_pDisplay, &major, &minor)) {
        LogSend(kLogError, "X11WindowSurface -> the display has no GLX");
        return false;
    }
    // Held keys then repeat as presses only, which Root already ignores.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(m_pDisplay, True, &supported);
    return true;
}

bool X11WindowSurface::CreateWindow(const char* title, int width, int height) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        LogSend(kLogError, "X11WindowSurface -> bad window size %d x %d", width, height);
        return false;
    }
    int doubleAttribs[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                           8,        GLX_DEPTH_SIZE,   16,           None};
    int singleAttribs[] = {GLX_RGBA, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    XVisualInfo* vi = glXChooseVisual(m_pDisplay, m_Screen, doubleAttribs);
    if (!vi) vi = glXChooseVisual(m_pDisplay, m_Screen, singleAttribs);
    if (!vi) {
        LogSend(kLogError, "X11WindowSurface -> no GL visual on this display");
        return false;
    }
    const Window root = RootWindow(m_pDisplay, m_Screen);
    m_Colormap = XCreateColormap(m_pDisplay, root, vi->visual, AllocNone);
    XSetWindowAttributes swa;
    std::memset(&swa, 0, sizeof swa);
    swa.colormap = m_Colormap;
    swa.background_pixel = BlackPixel(m_pDisplay, m_Screen);
    swa.border_pixel = 0;
    swa.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                     StructureNotifyMask | ExposureMask | VisibilityChangeMask;
    m_Window =
        XCreateWindow(m_pDisplay, root, 0, 0, unsigned(width), unsigned(height), 0, vi->depth, InputOutput,
                      vi->visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &swa);
    XFree(vi);
    if (!m_Window) {
        LogSend(kLogError, "X11WindowSurface -> cannot create a window");
        return false;
    }
    m_bOwnWindow = true;
    XStoreName(m_pDisplay, m_Window, title);
    m_WmDeleteWindow = XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False);
    Atom protocols[1] = {Atom(m_WmDeleteWindow)};
    XSetWMProtocols(m_pDisplay, m_Window, protocols, 1);
    XMapWindow(m_pDisplay, m_Window);
    XFlush(m_pDisplay);

    // Draw only once the window is up; a window manager that never maps
    // it must not hang us.
    XEvent ev;
    for (long waited = 0; waited < kMapWaitMicroseconds;) {
        if (XCheckTypedWindowEvent(m_pDisplay, m_Window, MapNotify, &ev)) break;
        pollfd pfd = {ConnectionNumber(m_pDisplay), POLLIN, 0};
        poll(&pfd, 1, 10);
        waited += 10000;
    }
    return AdoptWindow(m_Window);
}

bool X11WindowSurface::AdoptWindow(unsigned long window) {
    XWindowAttributes attrs;
    if (!window || !XGetWindowAttributes(m_pDisplay, Window(window), &attrs)) {
        LogSend(kLogError, "X11WindowSurface -> no window 0x%lx", window);
        return false;
    }
    m_Window = window;
    m_Width = attrs.width;
    m_Height = attrs.height;
    m_VisualId = XVisualIDFromVisual(attrs.visual);
    m_bMapped = attrs.map_state != IsUnmapped;
    if (!m_bOwnWindow) {
        // Another client owns the input of a foreign window; structure
        // events (size, destruction) and visibility may be watched by anyone.
        XSelectInput(m_pDisplay, Window(window), attrs.your_event_mask | StructureNotifyMask | VisibilityChangeMask);
    }
    return true;
}

bool X11WindowSurface::CreateContext(int width, int height) {
    if (!m_pDisplay || !m_Window) return false;
    if (m_bDestroyed) {
        LogSend(kLogError, "X11WindowSurface -> the window is gone");
        return false;
    }
    if (!HasContext()) {
        XVisualInfo* vi = FindVisual(m_pDisplay, m_Screen, m_VisualId);
        if (!vi) {
            LogSend(kLogError, "X11WindowSurface -> the window's visual is unknown");
            return false;
        }
        int useGl = 0, doubleBuffer = 0;
        glXGetConfig(m_pDisplay, vi, GLX_USE_GL, &useGl);
        glXGetConfig(m_pDisplay, vi, GLX_DOUBLEBUFFER, &doubleBuffer);
        if (!useGl) {
            XFree(vi);
            LogSend(kLogError, "X11WindowSurface -> the window's visual does not support GL");
            return false;
        }
        if (!doubleBuffer)
            LogSend(kLogWarning, "X11WindowSurface -> single-buffered visual, frames may flicker");
        m_bDoubleBuffered = doubleBuffer != 0;
        m_pContext = glXCreateContext(m_pDisplay, vi, nullptr, True);
        XFree(vi);
        if (!m_pContext) {
            LogSend(kLogError, "X11WindowSurface -> glXCreateContext failed");
            return false;
        }
    }
    if (m_bOwnWindow && (width != GetWidth() || height != GetHeight())) {
        // Sizes are asked for in drawn pixels.
        if (m_pHalf) {
            width *= 2;
            height *= 2;
        }
        if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
            LogSend(kLogError, "X11WindowSurface -> bad window size %d x %d", width, height);
            return false;
        }
        XResizeWindow(m_pDisplay, m_Window, unsigned(width), unsigned(height));
        XSync(m_pDisplay, False);
        m_Width = width;
        m_Height = height;
    }
    return MakeCurrent();
}

void X11WindowSurface::DestroyContext() {
    if (!m_pDisplay) return;
    // A new context draws at the window's size until asked again.
    SetHalfResolution(false);
    if (m_pSharedContext) glXDestroyContext(m_pDisplay, m_pSharedContext);
    m_pSharedContext = nullptr;
    if (m_Pbuffer) glXDestroyPbuffer(m_pDisplay, GLXPbuffer(m_Pbuffer));
    m_Pbuffer = 0;
    if (m_pContext) {
        if (glXGetCurrentContext() == m_pContext) glXMakeCurrent(m_pDisplay, None, nullptr);
        glXDestroyContext(m_pDisplay, m_pContext);
    }
    m_pContext = nullptr;
}

bool X11WindowSurface::MakeCurrent() {
    if (!HasContext() || m_bDestroyed) return false;
    if (glXGetCurrentContext() == m_pContext && glXGetCurrentDrawable() == m_Window) return true;
    Backends::ReleaseOtherContexts(Backends::Api::kGlx);
    if (!glXMakeCurrent(m_pDisplay, m_Window, m_pContext)) {
        LogSend(kLogError, "X11WindowSurface -> glXMakeCurrent failed");
        return false;
    }
    return true;
}

void X11WindowSurface::SwapBuffers() {
    if (!HasContext() || m_bDestroyed) return;
    if (m_pHalf)
        PresentHalf();
    else if (m_bDoubleBuffered)
        glXSwapBuffers(m_pDisplay, m_Window);
    else
        glFlush();
}

bool X11WindowSurface::SetHalfResolution(bool half) {
    if (half == (m_pHalf != nullptr)) return true;
    if (!half) {
        delete m_pHalf;
        m_pHalf = nullptr;
        m_bResized = true;
        return true;
    }
    // The frame is read from the back buffer, so it must not be the one shown.
    if (!HasContext() || m_bDestroyed || !m_bDoubleBuffered) return false;
    XVisualInfo* vi = FindVisual(m_pDisplay, m_Screen, m_VisualId);
    if (!vi) return false;
    std::unique_ptr<HalfPresenter> presenter(new HalfPresenter);
    presenter->display = m_pDisplay;
    presenter->visual = vi->visual;
    presenter->depth = vi->depth;
    const bool trueColor = vi->c_class == TrueColor;
    XFree(vi);
    if (!trueColor) return false;
    // Shared memory reaches only a server on this machine.
    const char* name = DisplayString(m_pDisplay);
    presenter->canShm = XShmQueryExtension(m_pDisplay) && name && (name[0] == ':' || !std::strncmp(name, "unix:", 5));
    presenter->gc = XCreateGC(m_pDisplay, m_Window, 0, nullptr);
    if (!presenter->gc || !presenter->Fit(m_Width, m_Height)) {
        LogSend(kLogInfo, "X11WindowSurface -> the window's pixels cannot take stretched frames");
        return false;
    }
    LogSend(kLogDebug, "X11WindowSurface -> drawing at half size, shown through %s",
            presenter->usesShm ? "shared memory" : "image requests");
    m_pHalf = presenter.release();
    m_bResized = true;
    return true;
}

void X11WindowSurface::PresentHalf() {
    HalfPresenter& p = *m_pHalf;
    if (!p.Fit(m_Width, m_Height)) {
        if (!p.failed) LogSend(kLogError, "X11WindowSurface -> no image for a %d x %d window", m_Width, m_Height);
        p.failed = true;
        return;
    }
    p.failed = false;
    const int w = GetWidth();
    const int h = GetHeight();
    p.drawn.resize(size_t(w) * size_t(h) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, p.drawn.data());
    Backends::UpscaleDouble(p.drawn.data(), w, h, size_t(w) * 4, reinterpret_cast<u8*>(p.image->data), m_Width,
                            m_Height, size_t(p.image->bytes_per_line));
    if (p.usesShm) {
        XShmPutImage(m_pDisplay, m_Window, p.gc, p.image, 0, 0, 0, 0, unsigned(m_Width), unsigned(m_Height), False);
        // The server has copied the image once it answers: the next frame
        // may write over it.
        XSync(m_pDisplay, False);
    } else {
        XPutImage(m_pDisplay, m_Window, p.gc, p.image, 0, 0, 0, 0, unsigned(m_Width), unsigned(m_Height));
        XFlush(m_pDisplay);
    }
}

void X11WindowSurface::SetSwapInterval(int interval) {
    if (!HasContext() || m_bDestroyed) return;
    // Calling an entry point the server does not list crashes on some
    // drivers (software Mesa under Xvfb): ask first.
    const char* exts = glXQueryExtensionsString(m_pDisplay, m_Screen);
    if (HasExtension(exts, "GLX_EXT_swap_control")) {
        auto fn = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
        if (fn) fn(m_pDisplay, m_Window, interval);
    } else if (HasExtension(exts, "GLX_MESA_swap_control")) {
        auto fn = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        if (fn) fn(unsigned(interval < 0 ? 0 : interval));
    }
}

bool X11WindowSurface::ReadPixels(std::vector<u8>& rgba) {
    const int width = GetWidth();
    const int height = GetHeight();
    if (width <= 0 || height <= 0 || !MakeCurrent()) return false;
    const size_t stride = size_t(width) * 4;
    std::vector<u8> raw(stride * size_t(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(m_bDoubleBuffered ? GL_BACK : GL_FRONT);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    rgba.resize(raw.size());
    // GL hands the rows bottom-up.
    for (int y = 0; y < height; ++y) {
        u8* dst = rgba.data() + size_t(y) * stride;
        std::memcpy(dst, raw.data() + size_t(height - 1 - y) * stride, stride);
        for (size_t x = 3; x < stride; x += 4) dst[x] = 255;
    }
    return true;
}

bool X11WindowSurface::MakeSharedContextCurrent() {
    if (!HasContext() || m_bDestroyed) return false;
    if (!m_pSharedContext) {
        XVisualInfo* vi = FindVisual(m_pDisplay, m_Screen, m_VisualId);
        if (!vi) return false;
        m_pSharedContext = glXCreateContext(m_pDisplay, vi, m_pContext, True);
        XFree(vi);
        if (!m_pSharedContext) {
            LogSend(kLogError, "X11WindowSurface -> shared context failed");
            return false;
        }
        // A pbuffer of the same visual keeps the worker off the window.
        int n = 0;
        GLXFBConfig* configs = glXGetFBConfigs(m_pDisplay, m_Screen, &n);
        for (int i = 0; configs && i < n && !m_Pbuffer; ++i) {
            int visual = 0, drawable = 0;
            glXGetFBConfigAttrib(m_pDisplay, configs[i], GLX_VISUAL_ID, &visual);
            glXGetFBConfigAttrib(m_pDisplay, configs[i], GLX_DRAWABLE_TYPE, &drawable);
            if (VisualID(visual) != VisualID(m_VisualId) || !(drawable & GLX_PBUFFER_BIT)) continue;
            const int attribs[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
            m_Pbuffer = glXCreatePbuffer(m_pDisplay, configs[i], attribs);
        }
        if (configs) XFree(configs);
        XSync(m_pDisplay, False);
        LogSend(kLogDebug, "X11WindowSurface -> worker context on %s",
                m_Pbuffer ? "a pbuffer" : "the window");
    }
    const GLXDrawable drawable = m_Pbuffer ? GLXDrawable(m_Pbuffer) : GLXDrawable(m_Window);
    Backends::ReleaseOtherContexts(Backends::Api::kGlx);
    if (!glXMakeCurrent(m_pDisplay, drawable, m_pSharedContext)) {
        LogSend(kLogError, "X11WindowSurface -> shared context not current");
        return false;
    }
    return true;
}

void X11WindowSurface::DoneSharedContext() {
    if (!m_pDisplay || !m_pSharedContext || glXGetCurrentContext() != m_pSharedContext) return;
    // Uploads must be complete before the main context samples them.
    glFinish();
    glXMakeCurrent(m_pDisplay, None, nullptr);
}

void X11WindowSurface::ShowCursor(bool show) {
    if (!m_bOwnWindow || m_bDestroyed || !m_pDisplay) return;
    if (show) {
        XUndefineCursor(m_pDisplay, m_Window);
    } else {
        if (!m_BlankCursor) {
            const char empty[1] = {0};
            Pixmap pixmap = XCreateBitmapFromData(m_pDisplay, m_Window, empty, 1, 1);
            XColor black;
            std::memset(&black, 0, sizeof black);
            m_BlankCursor = XCreatePixmapCursor(m_pDisplay, pixmap, pixmap, &black, &black, 0, 0);
            XFreePixmap(m_pDisplay, pixmap);
        }
        XDefineCursor(m_pDisplay, m_Window, m_BlankCursor);
    }
    XFlush(m_pDisplay);
}

void X11WindowSurface::HandleKey(void* xevent, bool down) {
    XKeyEvent* e = static_cast<XKeyEvent*>(xevent);
    char text[8] = {0};
    KeySym keysym = NoSymbol;
    const int n = XLookupString(e, text, sizeof text, &keysym, nullptr);
    const int code = X11KeySymToKeyCode(keysym);
    if (code) Send(down ? 0 : 1, code, 0);
    // The character follows its key, Latin-1 as XLookupString gives it.
    if (down && n == 1) Send(2, int(static_cast<unsigned char>(text[0])), 0);
}

void X11WindowSurface::PumpEvents() {
    if (!m_pDisplay) return;
    while (XPending(m_pDisplay) > 0) {
        XEvent ev;
        XNextEvent(m_pDisplay, &ev);
        if (ev.xany.window != m_Window) continue;
        switch (ev.type) {
            case KeyPress:
            case KeyRelease:
                HandleKey(&ev.xkey, ev.type == KeyPress);
                break;
            case ButtonPress:
            case ButtonRelease: {
                const int code = ev.xbutton.button == Button1 ? 1 : ev.xbutton.button == Button3 ? 2 : 0;
                if (code) Send(ev.type == ButtonPress ? 0 : 1, code, 0);
                break;
            }
            case MotionNotify:
                if (m_pHalf)
                    Send(3, ev.xmotion.x / 2, ev.xmotion.y / 2);
                else
                    Send(3, ev.xmotion.x, ev.xmotion.y);
                break;
            case ConfigureNotify:
                if (ev.xconfigure.width != m_Width || ev.xconfigure.height != m_Height) {
                    m_Width = ev.xconfigure.width;
                    m_Height = ev.xconfigure.height;
                    m_bResized = true;
                }
                break;
            case MapNotify:
                m_bMapped = true;
                break;
            case UnmapNotify:
                m_bMapped = false;
                break;
            case VisibilityNotify:
                m_bObscured = ev.xvisibility.state == VisibilityFullyObscured;
                break;
            case DestroyNotify:
                if (ev.xdestroywindow.window == m_Window) {
                    LogSend(kLogInfo, "X11WindowSurface -> the window was destroyed");
                    m_bDestroyed = true;
                }
                break;
            case ClientMessage:
                if (m_WmDeleteWindow && Atom(ev.xclient.data.l[0]) == Atom(m_WmDeleteWindow))
                    m_bCloseRequested = true;
                break;
            default:
                break;
        }
    }
}

bool X11WindowSurface::TakeResize(int& width, int& height) {
    if (!m_bResized) return false;
    m_bResized = false;
    width = GetWidth();
    height = GetHeight();
    return true;
}

int X11WindowSurface::GetEventDescriptor() const { return m_pDisplay ? ConnectionNumber(m_pDisplay) : -1; }

namespace Backends {

WindowSurface* CreateX11WindowSurface(const WindowRequest& request, WindowError& error) {
    const char* display = request.displayName.empty() ? nullptr : request.displayName.c_str();
    // Tell a missing server from a missing window: the callers' messages differ.
    if (Display* probe = XOpenDisplay(display)) {
        XCloseDisplay(probe);
    } else {
        LogSend(kLogError, "X11WindowSurface -> cannot open display %s", display ? display : "(DISPLAY)");
        error = WindowError::kNoDisplay;
        return nullptr;
    }
    X11WindowSurface* surface = nullptr;
    switch (request.kind) {
        case WindowRequest::Kind::kOwnWindow:
            surface = X11WindowSurface::CreateOwnWindow(request.title.c_str(), request.width, request.height,
                                                        display);
            break;
        case WindowRequest::Kind::kForeignWindow:
            surface = X11WindowSurface::AttachToWindow(request.windowId, display);
            break;
        case WindowRequest::Kind::kRootWindow:
            surface = X11WindowSurface::AttachToRootWindow(display);
            break;
    }
    error = surface ? WindowError::kNone : WindowError::kNoWindow;
    return surface;
}

void ReleaseCurrentGlxContext() {
    if (glXGetCurrentContext()) glXMakeCurrent(glXGetCurrentDisplay(), None, nullptr);
}

}  // namespace Backends
}  // namespace Zyn
