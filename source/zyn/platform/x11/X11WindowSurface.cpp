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
#include <zyn/platform/egl/EglCommon.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <EGL/egl.h>
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

// Mesa's rasterisers on the processor; a GPU's driver swaps without them.
bool IsSoftwareRenderer() {
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
                        std::strstr(renderer, "swrast"));
}

}  // namespace

// What a window whose frames are put on it as images needs: the frame as GL
// reads it, and the window-sized image it is copied or stretched into.
struct X11WindowSurface::ImagePresenter {
    Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    bool canShm = false;
    XImage* image = nullptr;
    XShmSegmentInfo shm = {};
    bool usesShm = false;
    bool failed = false;      // said once that no image could be had
    bool packInvert = false;  // GL can read the rows top row first
    std::vector<u8> drawn;

    ~ImagePresenter() {
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
                shm.shmid =
                    shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
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

// The window's GL context and how it is bound to the window: the frame
// thread's context and, made on the worker's first upload, one sharing its
// textures for the worker.
struct X11WindowSurface::GlBinding {
    virtual ~GlBinding() = default;
    virtual bool IsEgl() const = 0;
    virtual bool MakeCurrent() = 0;
    virtual void Swap() = 0;
    /// Needs the frame thread's context current.
    virtual void SetSwapInterval(int interval) = 0;
    virtual bool MakeSharedCurrent() = 0;
    /// Uploads are complete once this returns.
    virtual void DoneShared() = 0;
    bool doubleBuffered = false;
};

struct X11WindowSurface::GlxBinding : GlBinding {
    Display* display = nullptr;
    int screen = 0;
    Window window = 0;
    unsigned long visualId = 0;
    GLXContext context = nullptr;
    GLXContext shared = nullptr;
    GLXPbuffer pbuffer = 0;  // the worker's drawable

    ~GlxBinding() override {
        if (shared) glXDestroyContext(display, shared);
        if (pbuffer) glXDestroyPbuffer(display, pbuffer);
        if (context) {
            if (glXGetCurrentContext() == context) glXMakeCurrent(display, None, nullptr);
            glXDestroyContext(display, context);
        }
    }

    bool Create() {
        int major = 0, minor = 0;
        if (!glXQueryVersion(display, &major, &minor)) {
            LogSend(kLogError, "X11WindowSurface -> the display has no GLX");
            return false;
        }
        XVisualInfo* vi = FindVisual(display, screen, visualId);
        if (!vi) {
            LogSend(kLogError, "X11WindowSurface -> the window's visual is unknown");
            return false;
        }
        int useGl = 0, doubleBuffer = 0;
        glXGetConfig(display, vi, GLX_USE_GL, &useGl);
        glXGetConfig(display, vi, GLX_DOUBLEBUFFER, &doubleBuffer);
        if (!useGl) {
            XFree(vi);
            LogSend(kLogError, "X11WindowSurface -> the window's visual does not support GL");
            return false;
        }
        if (!doubleBuffer)
            LogSend(kLogWarning, "X11WindowSurface -> single-buffered visual, frames may flicker");
        doubleBuffered = doubleBuffer != 0;
        context = glXCreateContext(display, vi, nullptr, True);
        XFree(vi);
        if (!context) {
            LogSend(kLogError, "X11WindowSurface -> glXCreateContext failed");
            return false;
        }
        return true;
    }

    bool IsEgl() const override { return false; }

    bool MakeCurrent() override {
        if (glXGetCurrentContext() == context && glXGetCurrentDrawable() == window) return true;
        Backends::ReleaseOtherContexts(Backends::Api::kGlx);
        if (!glXMakeCurrent(display, window, context)) {
            LogSend(kLogError, "X11WindowSurface -> glXMakeCurrent failed");
            return false;
        }
        return true;
    }

    void Swap() override { glXSwapBuffers(display, window); }

    void SetSwapInterval(int interval) override {
        // Calling an entry point the server does not list crashes on some
        // drivers (software Mesa under Xvfb): ask first.
        const char* exts = glXQueryExtensionsString(display, screen);
        // Whole words: "GLX_EXT_swap_control_tear" is another extension.
        if (EglCommon::HasWord(exts, "GLX_EXT_swap_control")) {
            auto fn = reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(
                glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
            if (fn) fn(display, window, interval);
        } else if (EglCommon::HasWord(exts, "GLX_MESA_swap_control")) {
            auto fn = reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(
                glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
            if (fn) fn(unsigned(interval < 0 ? 0 : interval));
        }
    }

    bool MakeSharedCurrent() override {
        if (!shared) {
            XVisualInfo* vi = FindVisual(display, screen, visualId);
            if (!vi) return false;
            shared = glXCreateContext(display, vi, context, True);
            XFree(vi);
            if (!shared) {
                LogSend(kLogError, "X11WindowSurface -> shared context failed");
                return false;
            }
            // A pbuffer of the same visual keeps the worker off the window.
            int n = 0;
            GLXFBConfig* configs = glXGetFBConfigs(display, screen, &n);
            for (int i = 0; configs && i < n && !pbuffer; ++i) {
                int visual = 0, drawable = 0;
                glXGetFBConfigAttrib(display, configs[i], GLX_VISUAL_ID, &visual);
                glXGetFBConfigAttrib(display, configs[i], GLX_DRAWABLE_TYPE, &drawable);
                if (VisualID(visual) != VisualID(visualId) || !(drawable & GLX_PBUFFER_BIT)) continue;
                const int attribs[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
                pbuffer = glXCreatePbuffer(display, configs[i], attribs);
            }
            if (configs) XFree(configs);
            XSync(display, False);
            LogSend(kLogDebug, "X11WindowSurface -> worker context on %s",
                    pbuffer ? "a pbuffer" : "the window");
        }
        const GLXDrawable drawable = pbuffer ? GLXDrawable(pbuffer) : GLXDrawable(window);
        Backends::ReleaseOtherContexts(Backends::Api::kGlx);
        if (!glXMakeCurrent(display, drawable, shared)) {
            LogSend(kLogError, "X11WindowSurface -> shared context not current");
            return false;
        }
        return true;
    }

    void DoneShared() override {
        if (!shared || glXGetCurrentContext() != shared) return;
        glFinish();
        glXMakeCurrent(display, None, nullptr);
    }
};

struct X11WindowSurface::EglBinding : GlBinding {
    EGLDisplay egl = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    EGLContext shared = EGL_NO_CONTEXT;

    ~EglBinding() override {
        if (shared != EGL_NO_CONTEXT) eglDestroyContext(egl, shared);
        if (context != EGL_NO_CONTEXT && eglGetCurrentContext() == context)
            eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context != EGL_NO_CONTEXT) eglDestroyContext(egl, context);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(egl, surface);
    }

    // The window's own visual, else one of the same depth and pixel layout
    // (EGL lists one visual of each kind, and a daemon may have picked
    // another); with a depth buffer where there is a choice, as GLX gives.
    static EGLConfig ChooseConfig(EGLDisplay egl, Display* display, int screen, unsigned long visualId) {
        const EGLint attribs[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                  EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(egl, attribs, nullptr, 0, &count) || count < 1) return nullptr;
        std::vector<EGLConfig> configs(static_cast<size_t>(count));
        if (!eglChooseConfig(egl, attribs, configs.data(), count, &count)) return nullptr;
        std::unique_ptr<XVisualInfo, int (*)(void*)> want(FindVisual(display, screen, visualId), XFree);
        if (!want) return nullptr;
        EGLConfig best = nullptr;
        int bestScore = 0;
        for (EGLint i = 0; i < count; ++i) {
            EGLint id = 0, depth = 0;
            eglGetConfigAttrib(egl, configs[size_t(i)], EGL_NATIVE_VISUAL_ID, &id);
            eglGetConfigAttrib(egl, configs[size_t(i)], EGL_DEPTH_SIZE, &depth);
            int score = 0;
            if (VisualID(id) == VisualID(visualId)) {
                score = 4;
            } else if (id) {
                std::unique_ptr<XVisualInfo, int (*)(void*)> vi(FindVisual(display, screen, VisualID(id)),
                                                                XFree);
                if (vi && vi->depth == want->depth && vi->c_class == want->c_class &&
                    vi->red_mask == want->red_mask && vi->green_mask == want->green_mask &&
                    vi->blue_mask == want->blue_mask)
                    score = 2;
            }
            if (score && depth >= 16) ++score;
            if (score > bestScore) {
                best = configs[size_t(i)];
                bestScore = score;
            }
        }
        return best;
    }

    bool Create(Display* display, int screen, Window window, unsigned long visualId) {
        config = ChooseConfig(egl, display, screen, visualId);
        if (!config) {
            LogSend(kLogInfo, "X11WindowSurface -> EGL has no configuration for the window's visual");
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) return false;
        surface = eglCreateWindowSurface(egl, config, static_cast<EGLNativeWindowType>(window), nullptr);
        if (surface == EGL_NO_SURFACE) {
            LogSend(kLogInfo, "X11WindowSurface -> EGL cannot draw on the window (0x%x)",
                    unsigned(eglGetError()));
            return false;
        }
        context = eglCreateContext(egl, config, EGL_NO_CONTEXT, nullptr);
        if (context == EGL_NO_CONTEXT) {
            LogSend(kLogInfo, "X11WindowSurface -> eglCreateContext failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
        EGLint buffer = EGL_BACK_BUFFER;
        eglQuerySurface(egl, surface, EGL_RENDER_BUFFER, &buffer);
        doubleBuffered = buffer == EGL_BACK_BUFFER;
        if (!doubleBuffered)
            LogSend(kLogWarning, "X11WindowSurface -> single-buffered surface, frames may flicker");
        return true;
    }

    bool IsEgl() const override { return true; }

    bool MakeCurrent() override {
        if (eglGetCurrentContext() == context && eglGetCurrentSurface(EGL_DRAW) == surface) return true;
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        eglBindAPI(EGL_OPENGL_API);
        if (!eglMakeCurrent(egl, surface, surface, context)) {
            LogSend(kLogError, "X11WindowSurface -> eglMakeCurrent failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
        return true;
    }

    void Swap() override { eglSwapBuffers(egl, surface); }

    void SetSwapInterval(int interval) override { eglSwapInterval(egl, interval < 0 ? 0 : interval); }

    bool MakeSharedCurrent() override {
        if (shared == EGL_NO_CONTEXT) {
            if (!EglCommon::HasWord(eglQueryString(egl, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
                return false;
            eglBindAPI(EGL_OPENGL_API);
            shared = eglCreateContext(egl, config, context, nullptr);
            if (shared == EGL_NO_CONTEXT) {
                LogSend(kLogError, "X11WindowSurface -> shared context failed (0x%x)",
                        unsigned(eglGetError()));
                return false;
            }
        }
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        eglBindAPI(EGL_OPENGL_API);
        if (!eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, shared)) {
            LogSend(kLogError, "X11WindowSurface -> shared context not current (0x%x)",
                    unsigned(eglGetError()));
            return false;
        }
        return true;
    }

    void DoneShared() override {
        if (shared == EGL_NO_CONTEXT || eglGetCurrentContext() != shared) return;
        glFinish();
        eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
};

X11WindowSurface::~X11WindowSurface() {
    DestroyContext();
    if (!m_pDisplay) return;
    if (m_bOwnWindow && m_Window && !m_bDestroyed) XDestroyWindow(m_pDisplay, m_Window);
    if (m_BlankCursor) XFreeCursor(m_pDisplay, m_BlankCursor);
    if (m_Colormap) XFreeColormap(m_pDisplay, m_Colormap);
    // The EGL display talks over our connection: it goes first.
    if (m_pEgl) eglTerminate(m_pEgl);
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
    XVisualInfo* vi = nullptr;
    if (EGLDisplay egl = Egl()) {
        // Pairs of name and value.
        // clang-format off
        const EGLint attribs[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                  EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16,
                                  EGL_NONE};
        // clang-format on
        EGLConfig config = nullptr;
        EGLint count = 0, id = 0;
        if (eglChooseConfig(egl, attribs, &config, 1, &count) && count == 1 &&
            eglGetConfigAttrib(egl, config, EGL_NATIVE_VISUAL_ID, &id) && id)
            vi = FindVisual(m_pDisplay, m_Screen, VisualID(id));
    }
    if (!vi) {
        int doubleAttribs[] = {
            GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
            8,        GLX_DEPTH_SIZE,   16,           None};
        int singleAttribs[] = {GLX_RGBA, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
        vi = glXChooseVisual(m_pDisplay, m_Screen, doubleAttribs);
        if (!vi) vi = glXChooseVisual(m_pDisplay, m_Screen, singleAttribs);
    }
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
        XSelectInput(m_pDisplay, Window(window),
                     attrs.your_event_mask | StructureNotifyMask | VisibilityChangeMask);
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
        if (EGLDisplay egl = Egl()) {
            std::unique_ptr<EglBinding> binding(new EglBinding);
            binding->egl = egl;
            if (binding->Create(m_pDisplay, m_Screen, m_Window, m_VisualId)) m_pGl = binding.release();
        }
        if (!m_pGl) {
            std::unique_ptr<GlxBinding> binding(new GlxBinding);
            binding->display = m_pDisplay;
            binding->screen = m_Screen;
            binding->window = m_Window;
            binding->visualId = m_VisualId;
            if (!binding->Create()) return false;
            m_pGl = binding.release();
        }
        LogSend(kLogDebug, "X11WindowSurface -> drawing through %s", m_pGl->IsEgl() ? "EGL" : "GLX");
        m_SwappedWidth = m_Width;
        m_SwappedHeight = m_Height;
        if (m_pGl->IsEgl() && m_pGl->MakeCurrent() && IsSoftwareRenderer()) {
            std::unique_ptr<ImagePresenter> presenter(MakePresenter());
            if (presenter && presenter->usesShm) {
                m_pPresenter = presenter.release();
                m_bPutFrames = true;
                LogSend(kLogDebug, "X11WindowSurface -> frames put through shared memory");
            }
        }
    }
    if (m_bOwnWindow && (width != GetWidth() || height != GetHeight())) {
        // Sizes are asked for in drawn pixels.
        if (m_bHalf) {
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
    delete m_pPresenter;
    m_pPresenter = nullptr;
    m_bPutFrames = false;
    delete m_pGl;
    m_pGl = nullptr;
}

bool X11WindowSurface::UsesEgl() const { return m_pGl && m_pGl->IsEgl(); }

void* X11WindowSurface::Egl() {
    if (!m_bEglTried && m_pDisplay) {
        m_bEglTried = true;
        const char* api = std::getenv("ZYN_X11_GL");
        if (api && std::strcmp(api, "glx") == 0) {
            LogSend(kLogInfo, "X11WindowSurface -> GLX asked for (ZYN_X11_GL=glx)");
        } else {
            // GLX is still there to draw through: not worth more than a note.
            const EGLDisplay egl =
                EglCommon::OpenDisplay(EGL_PLATFORM_X11_KHR, m_pDisplay, "X11WindowSurface", kLogInfo);
            if (egl != EGL_NO_DISPLAY) m_pEgl = egl;
        }
    }
    return m_pEgl;
}

bool X11WindowSurface::MakeCurrent() {
    if (!HasContext() || m_bDestroyed) return false;
    return m_pGl->MakeCurrent();
}

void X11WindowSurface::SwapBuffers() {
    if (!HasContext() || m_bDestroyed) return;
    if (m_bHalf || m_bPutFrames)
        PutFrame();
    else if (m_pGl->doubleBuffered)
        m_pGl->Swap();
    else
        glFlush();
}

X11WindowSurface::ImagePresenter* X11WindowSurface::MakePresenter() {
    // The frame is read from the back buffer, so it must not be the one shown.
    if (!HasContext() || m_bDestroyed || !m_pGl->doubleBuffered) return nullptr;
    XVisualInfo* vi = FindVisual(m_pDisplay, m_Screen, m_VisualId);
    if (!vi) return nullptr;
    std::unique_ptr<ImagePresenter> presenter(new ImagePresenter);
    presenter->display = m_pDisplay;
    presenter->visual = vi->visual;
    presenter->depth = vi->depth;
    const bool trueColor = vi->c_class == TrueColor;
    XFree(vi);
    if (!trueColor) return nullptr;
    // Shared memory reaches only a server on this machine.
    const char* name = DisplayString(m_pDisplay);
    presenter->canShm =
        XShmQueryExtension(m_pDisplay) && name && (name[0] == ':' || !std::strncmp(name, "unix:", 5));
    presenter->gc = XCreateGC(m_pDisplay, m_Window, 0, nullptr);
    if (!presenter->gc || !presenter->Fit(m_Width, m_Height)) return nullptr;
    presenter->packInvert =
        MakeCurrent() &&
        EglCommon::HasWord(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_MESA_pack_invert");
    return presenter.release();
}

bool X11WindowSurface::SetHalfResolution(bool half) {
    if (half == m_bHalf) return true;
    if (!half) {
        m_bHalf = false;
        if (!m_bPutFrames) {
            delete m_pPresenter;
            m_pPresenter = nullptr;
        }
        m_bResized = true;
        return true;
    }
    if (!m_pPresenter) m_pPresenter = MakePresenter();
    if (!m_pPresenter) {
        LogSend(kLogInfo, "X11WindowSurface -> the window's pixels cannot take stretched frames");
        return false;
    }
    LogSend(kLogDebug, "X11WindowSurface -> drawing at half size, shown through %s",
            m_pPresenter->usesShm ? "shared memory" : "image requests");
    m_bHalf = true;
    m_bResized = true;
    return true;
}

void X11WindowSurface::PutFrame() {
    ImagePresenter& p = *m_pPresenter;
    if (!p.Fit(m_Width, m_Height)) {
        if (!p.failed)
            LogSend(kLogError, "X11WindowSurface -> no image for a %d x %d window", m_Width, m_Height);
        p.failed = true;
        return;
    }
    p.failed = false;
    const int w = GetWidth();
    const int h = GetHeight();
    u8* image = reinterpret_cast<u8*>(p.image->data);
    const size_t imageStride = size_t(p.image->bytes_per_line);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    if (!m_bHalf && p.packInvert) {
        // Straight into the image, top row first as X wants it.
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glPixelStorei(GL_PACK_ROW_LENGTH, GLint(imageStride / 4));
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, image);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        p.drawn.resize(size_t(w) * size_t(h) * 4);
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, p.drawn.data());
        if (m_bHalf) {
            Backends::UpscaleDouble(p.drawn.data(), w, h, size_t(w) * 4, image, m_Width, m_Height,
                                    imageStride);
        } else {
            for (int y = 0; y < h; ++y)
                std::memcpy(image + size_t(y) * imageStride,
                            p.drawn.data() + size_t(h - 1 - y) * size_t(w) * 4, size_t(w) * 4);
        }
    }
    // Mesa takes a window's new size for its buffers at a swap, and only
    // then: one swap, under the image put over it at once.
    if (m_Width != m_SwappedWidth || m_Height != m_SwappedHeight) {
        m_pGl->Swap();
        m_SwappedWidth = m_Width;
        m_SwappedHeight = m_Height;
    }
    if (p.usesShm) {
        XShmPutImage(m_pDisplay, m_Window, p.gc, p.image, 0, 0, 0, 0, unsigned(m_Width), unsigned(m_Height),
                     False);
        // The server has copied the image once it answers: the next frame
        // may write over it.
        XSync(m_pDisplay, False);
    } else {
        XPutImage(m_pDisplay, m_Window, p.gc, p.image, 0, 0, 0, 0, unsigned(m_Width), unsigned(m_Height));
        XFlush(m_pDisplay);
    }
}

void X11WindowSurface::SetSwapInterval(int interval) {
    if (!MakeCurrent()) return;
    m_pGl->SetSwapInterval(interval);
}

bool X11WindowSurface::ReadPixels(std::vector<u8>& rgba) {
    const int width = GetWidth();
    const int height = GetHeight();
    if (width <= 0 || height <= 0 || !MakeCurrent()) return false;
    const size_t stride = size_t(width) * 4;
    std::vector<u8> raw(stride * size_t(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(m_pGl->doubleBuffered ? GL_BACK : GL_FRONT);
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
    return m_pGl->MakeSharedCurrent();
}

void X11WindowSurface::DoneSharedContext() {
    // Uploads must be complete before the main context samples them.
    if (m_pGl) m_pGl->DoneShared();
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
                if (m_bHalf)
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
