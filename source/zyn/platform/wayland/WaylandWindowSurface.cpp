#include <zyn/platform/wayland/WaylandWindowSurface.h>

#include <errno.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <wayland-client.h>
#include <wayland-glue/fractional-scale-v1-client-protocol.h>
#include <wayland-glue/viewporter-client-protocol.h>
#include <wayland-glue/wlr-layer-shell-unstable-v1-client-protocol.h>
#include <wayland-glue/xdg-output-unstable-v1-client-protocol.h>
#include <wayland-glue/xdg-shell-client-protocol.h>
#include <xkbcommon/xkbcommon.h>

#include <zyn/core/Log.h>
#include <zyn/platform/internal/Backends.h>
#include <zyn/platform/egl/EglCommon.h>
#include <zyn/platform/wayland/WaylandSeat.h>

namespace Zyn {

int WaylandBufferLength(int logical, int scale120) {
    if (logical <= 0 || scale120 <= 0) return 0;
    // Half a pixel rounds up, as compositors round the scaled size.
    return int((long long)logical * scale120 / 120 + ((long long)logical * scale120 % 120 >= 60 ? 1 : 0));
}

WaylandCover WaylandCoverFit(int drawWidth, int drawHeight, int bufferWidth, int bufferHeight) {
    WaylandCover cover;
    if (drawWidth <= 0 || drawHeight <= 0 || bufferWidth <= 0 || bufferHeight <= 0) return cover;
    cover.scale = std::max(double(bufferWidth) / drawWidth, double(bufferHeight) / drawHeight);
    cover.left = (bufferWidth - drawWidth * cover.scale) * 0.5;
    cover.top = (bufferHeight - drawHeight * cover.scale) * 0.5;
    return cover;
}

namespace {

// Up to these versions the listeners below handle every event.
const uint32_t kCompositorVersion =
#ifdef WL_SURFACE_PREFERRED_BUFFER_SCALE_SINCE_VERSION
    6;
#else
    4;
#endif
const uint32_t kWmBaseVersion = 2;
const uint32_t kLayerShellVersion = 4;
const uint32_t kSeatVersion = 5;
const uint32_t kOutputVersion = 4;

// How long the compositor may take to give the first sizes; a compositor
// that never answers must not hang the host.
const int kConfigureWaitMilliseconds = 5000;

const char kNamespace[] = "zyn-screensaver";

using EglCommon::FboApi;
using EglCommon::HasWord;

}  // namespace

// One wl_output as the compositor describes it.
struct WaylandOutput {
    WaylandWindowSurface::Impl* owner = nullptr;
    wl_output* proxy = nullptr;  // owned
    zxdg_output_v1* xdgOutput = nullptr;  // owned; names outputs older than wl_output 4
    uint32_t globalName = 0;
    std::string name;
    int modeWidth = 0;  // current mode, in the output's untransformed pixels
    int modeHeight = 0;
    int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int scale = 1;
    bool done = false;       // described completely at least once
    bool removed = false;    // the global went away; freed on the next reconcile
    bool dismissed = false;  // the compositor closed its overlay: none is made again
};

// One shared-memory buffer a view shows. The buffers are ours, not the EGL
// driver's: a compositor that holds them (a sleeping or hidden output, a
// busy compositor) then costs a skipped frame instead of a wait inside the
// driver, during which neither input nor a stop signal would be seen.
struct WaylandShmBuffer {
    wl_buffer* proxy = nullptr;  // owned
    void* pixels = nullptr;      // mapped, `size` bytes
    size_t size = 0;
    int width = 0;
    int height = 0;
    bool busy = false;  // the compositor holds it until release
};

// One surface we draw on: a layer surface covering an output, or a toplevel.
struct WaylandView {
    WaylandWindowSurface::Impl* owner = nullptr;
    WaylandOutput* output = nullptr;  // borrowed; the output a layer surface covers
    wl_surface* surface = nullptr;    // owned, like every proxy below
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractional = nullptr;
    std::vector<std::unique_ptr<WaylandShmBuffer>> buffers;
    GLuint framebuffer = 0;  // the output-sized copy, when it differs from the scene's
    GLuint colorBuffer = 0;
    int framebufferWidth = 0;
    int framebufferHeight = 0;
    wl_callback* frameCallback = nullptr;
    std::vector<WaylandOutput*> entered;  // borrowed
    int configWidth = 0;  // the last configured size; 0: ours to choose
    int configHeight = 0;
    int pendingWidth = 0;  // a toplevel's size until its xdg_surface.configure
    int pendingHeight = 0;
    bool pendingFullscreen = false;
    bool fullscreen = false;
    int logicalWidth = 0;
    int logicalHeight = 0;
    int scale120 = 0;        // the compositor's fractional preference
    int preferredScale = 0;  // the compositor's integer preference
    int bufferWidth = 0;
    int bufferHeight = 0;
    int bufferScale = 1;
    bool viewported = false;
    bool configured = false;
    bool closed = false;
    long framesShown = 0;
};

struct WaylandWindowSurface::Impl : public WaylandInputClient {
    enum class Mode { kLayers, kFullscreen, kWindow };

    std::function<void(int, int, int)> send;
    Mode mode = Mode::kWindow;
    std::string outputFilter;
    std::string title;
    int requestedWidth = 0;
    int requestedHeight = 0;

    wl_display* display = nullptr;  // owned connection
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    wl_shm* shm = nullptr;
    wp_viewporter* viewporter = nullptr;
    bool half = false;  // buffers at half size, stretched through the viewport
    wp_fractional_scale_manager_v1* fractionalManager = nullptr;
    zxdg_output_manager_v1* xdgOutputManager = nullptr;
    xkb_context* xkb = nullptr;
    std::vector<std::unique_ptr<WaylandOutput>> outputs;
    std::vector<std::unique_ptr<WaylandView>> views;
    std::vector<std::unique_ptr<WaylandSeat>> seats;

    bool lost = false;
    bool closeRequested = false;
    bool cursorHidden = false;
    bool resized = false;
    int drawWidth = 0;
    int drawHeight = 0;

    EGLDisplay egl = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    EGLContext sharedContext = EGL_NO_CONTEXT;
    std::mutex sharedMutex;
    FboApi fbo;
    GLuint framebuffer = 0;
    GLuint colorTexture = 0;
    GLuint depthBuffer = 0;
    int fboWidth = 0;
    int fboHeight = 0;
    bool reportedBufferFailure = false;

    ~Impl() override;

    // Input from the seats.
    void OnInput(int code, int a, int b) override { send(code, a, b); }
    bool MapPointer(wl_surface* surface, double x, double y, int& drawX, int& drawY) override;
    bool IsCursorHidden() const override { return cursorHidden; }

    bool Connect(const std::string& name, WindowError& error);
    bool InitEgl();
    bool WaitForConfigure();
    /// Reads and dispatches events, waiting up to `timeoutMs` for some.
    /// False once the connection is lost.
    bool Dispatch(int timeoutMs);
    void Lose();
    /// Brings the views in line with the outputs and the sizes asked for.
    void Reconcile();
    WaylandView* CreateView(WaylandOutput* output);
    void DestroyView(WaylandView* view);
    void UpdateGeometry(WaylandView& view);
    void UpdateDrawingSize();
    WaylandOutput* FindOutput(wl_output* proxy);
    WaylandOutput* FindOutputByName(const std::string& name);
    WaylandOutput* CoveredOutput(const WaylandView& view);
    bool IsReady(const WaylandView& view) const {
        return view.configured && !view.closed && view.bufferWidth > 0 && !view.frameCallback &&
               HasFreeBuffer(view);
    }
    bool HasFreeBuffer(const WaylandView& view) const;
    /// A buffer of the view's size the compositor does not hold, made when
    /// needed; null when all are held.
    WaylandShmBuffer* TakeBuffer(WaylandView& view);
    WaylandShmBuffer* CreateBuffer(int width, int height);
    /// Where the view's pixels are read from: the scene's framebuffer when
    /// the sizes agree, else the view's own, with the scene scaled into it.
    bool PrepareViewPixels(WaylandView& view);
    void ReleaseViewFramebuffer(WaylandView& view);

    bool CreateMainContext();
    bool SizeAttachments(int width, int height);
    void DestroyContext();
    bool MakeCurrent();
    void Present();
    void Blit(const WaylandView& view);
};

namespace {

using Impl = WaylandWindowSurface::Impl;

// Listeners. Each keeps to recording state; views are made and freed in
// Reconcile, outside the dispatch.

void OnOutputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                      int32_t transform) {
    static_cast<WaylandOutput*>(data)->transform = transform;
}
void OnOutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    WaylandOutput* o = static_cast<WaylandOutput*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->modeWidth = width;
        o->modeHeight = height;
    }
}
void OnOutputDone(void* data, wl_output*) { static_cast<WaylandOutput*>(data)->done = true; }
void OnOutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<WaylandOutput*>(data)->scale = factor > 0 ? factor : 1;
}
void OnOutputName(void* data, wl_output*, const char* name) { static_cast<WaylandOutput*>(data)->name = name; }
void OnOutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {&OnOutputGeometry, &OnOutputMode, &OnOutputDone,
                                            &OnOutputScale,    &OnOutputName, &OnOutputDescription};

void OnXdgOutputPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}
void OnXdgOutputSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void OnXdgOutputDone(void*, zxdg_output_v1*) {}
void OnXdgOutputName(void* data, zxdg_output_v1*, const char* name) {
    // wl_output's own name, where there is one, is the same; it wins.
    WaylandOutput* o = static_cast<WaylandOutput*>(data);
    if (wl_output_get_version(o->proxy) < WL_OUTPUT_NAME_SINCE_VERSION) o->name = name;
}
void OnXdgOutputDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {&OnXdgOutputPosition, &OnXdgOutputSize, &OnXdgOutputDone,
                                                    &OnXdgOutputName, &OnXdgOutputDescription};

void ReleaseOutput(WaylandOutput& o) {
    if (o.xdgOutput) zxdg_output_v1_destroy(o.xdgOutput);
    if (wl_output_get_version(o.proxy) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(o.proxy);
    else
        wl_output_destroy(o.proxy);
}

// Outputs older than wl_output 4 have their name on an xdg_output.
void AskForName(Impl& m, WaylandOutput& o) {
    if (o.xdgOutput || !m.xdgOutputManager || wl_output_get_version(o.proxy) >= WL_OUTPUT_NAME_SINCE_VERSION) return;
    o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(m.xdgOutputManager, o.proxy);
    zxdg_output_v1_add_listener(o.xdgOutput, &kXdgOutputListener, &o);
}

void OnSurfaceEnter(void* data, wl_surface*, wl_output* proxy) {
    WaylandView* v = static_cast<WaylandView*>(data);
    WaylandOutput* o = v->owner->FindOutput(proxy);
    if (o && std::find(v->entered.begin(), v->entered.end(), o) == v->entered.end()) v->entered.push_back(o);
}
void OnSurfaceLeave(void* data, wl_surface*, wl_output* proxy) {
    WaylandView* v = static_cast<WaylandView*>(data);
    WaylandOutput* o = v->owner->FindOutput(proxy);
    v->entered.erase(std::remove(v->entered.begin(), v->entered.end(), o), v->entered.end());
}
#ifdef WL_SURFACE_PREFERRED_BUFFER_SCALE_SINCE_VERSION
void OnSurfacePreferredScale(void* data, wl_surface*, int32_t factor) {
    static_cast<WaylandView*>(data)->preferredScale = factor > 0 ? factor : 0;
}
void OnSurfacePreferredTransform(void*, wl_surface*, uint32_t) {}
const wl_surface_listener kSurfaceListener = {&OnSurfaceEnter, &OnSurfaceLeave, &OnSurfacePreferredScale,
                                              &OnSurfacePreferredTransform};
#else
const wl_surface_listener kSurfaceListener = {&OnSurfaceEnter, &OnSurfaceLeave};
#endif

void OnFractionalScale(void* data, wp_fractional_scale_v1*, uint32_t scale120) {
    static_cast<WaylandView*>(data)->scale120 = int(scale120);
}
const wp_fractional_scale_v1_listener kFractionalListener = {&OnFractionalScale};

void OnLayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                      uint32_t height) {
    WaylandView* v = static_cast<WaylandView*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    v->configWidth = int(std::min<uint32_t>(width, INT_MAX));
    v->configHeight = int(std::min<uint32_t>(height, INT_MAX));
    v->configured = true;
}
void OnLayerClosed(void* data, zwlr_layer_surface_v1*) {
    WaylandView* v = static_cast<WaylandView*>(data);
    v->closed = true;
    if (v->output) v->output->dismissed = true;
}
const zwlr_layer_surface_v1_listener kLayerListener = {&OnLayerConfigure, &OnLayerClosed};

void OnXdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    WaylandView* v = static_cast<WaylandView*>(data);
    xdg_surface_ack_configure(surface, serial);
    v->configWidth = v->pendingWidth;
    v->configHeight = v->pendingHeight;
    v->fullscreen = v->pendingFullscreen;
    v->configured = true;
}
const xdg_surface_listener kXdgSurfaceListener = {&OnXdgSurfaceConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array* states) {
    WaylandView* v = static_cast<WaylandView*>(data);
    v->pendingWidth = width;
    v->pendingHeight = height;
    v->pendingFullscreen = false;
    const uint32_t* state = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
        if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) v->pendingFullscreen = true;
}
void OnToplevelClose(void* data, xdg_toplevel*) { static_cast<WaylandView*>(data)->owner->closeRequested = true; }
void OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {&OnToplevelConfigure, &OnToplevelClose, &OnToplevelBounds,
                                                 &OnToplevelCapabilities};

void OnPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmBaseListener = {&OnPing};

void OnFrameDone(void* data, wl_callback* callback, uint32_t) {
    WaylandView* v = static_cast<WaylandView*>(data);
    wl_callback_destroy(callback);
    if (v->frameCallback == callback) v->frameCallback = nullptr;
}
const wl_callback_listener kFrameListener = {&OnFrameDone};

void OnBufferRelease(void* data, wl_buffer*) { static_cast<WaylandShmBuffer*>(data)->busy = false; }
const wl_buffer_listener kBufferListener = {&OnBufferRelease};

void FreeBuffer(WaylandShmBuffer& b) {
    if (b.proxy) wl_buffer_destroy(b.proxy);
    if (b.pixels) munmap(b.pixels, b.size);
    b.proxy = nullptr;
    b.pixels = nullptr;
}

// Double buffering, and one more for a compositor that holds the shown
// buffer until the next one is on screen.
const size_t kBuffersPerView = 3;

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    Impl* m = static_cast<Impl*>(data);
    auto bind = [&](const wl_interface* iface, uint32_t most) {
        return wl_registry_bind(registry, name, iface, std::min(version, most));
    };
    if (!std::strcmp(interface, wl_compositor_interface.name) && !m->compositor) {
        m->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, kCompositorVersion));
    } else if (!std::strcmp(interface, wl_shm_interface.name) && !m->shm) {
        m->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (!std::strcmp(interface, xdg_wm_base_interface.name) && !m->wmBase) {
        m->wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, kWmBaseVersion));
        xdg_wm_base_add_listener(m->wmBase, &kWmBaseListener, m);
    } else if (!std::strcmp(interface, zwlr_layer_shell_v1_interface.name) && !m->layerShell) {
        m->layerShell = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, kLayerShellVersion));
    } else if (!std::strcmp(interface, wp_viewporter_interface.name) && !m->viewporter) {
        m->viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (!std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) && !m->fractionalManager) {
        m->fractionalManager = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    } else if (!std::strcmp(interface, zxdg_output_manager_v1_interface.name) && !m->xdgOutputManager &&
               version >= ZXDG_OUTPUT_V1_NAME_SINCE_VERSION) {
        m->xdgOutputManager = static_cast<zxdg_output_manager_v1*>(
            bind(&zxdg_output_manager_v1_interface, ZXDG_OUTPUT_V1_NAME_SINCE_VERSION));
        for (auto& o : m->outputs) AskForName(*m, *o);
    } else if (!std::strcmp(interface, wl_seat_interface.name)) {
        wl_seat* seat = static_cast<wl_seat*>(bind(&wl_seat_interface, kSeatVersion));
        m->seats.emplace_back(new WaylandSeat(seat, name, *m, m->xkb));
    } else if (!std::strcmp(interface, wl_output_interface.name)) {
        std::unique_ptr<WaylandOutput> o(new WaylandOutput);
        o->owner = m;
        o->globalName = name;
        o->proxy = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
        // Version 1 outputs never say they are done.
        o->done = version < WL_OUTPUT_DONE_SINCE_VERSION;
        wl_output_add_listener(o->proxy, &kOutputListener, o.get());
        AskForName(*m, *o);
        m->outputs.push_back(std::move(o));
    }
}

void OnGlobalRemove(void* data, wl_registry*, uint32_t name) {
    Impl* m = static_cast<Impl*>(data);
    for (auto& o : m->outputs)
        if (o->globalName == name) o->removed = true;
    m->seats.erase(std::remove_if(m->seats.begin(), m->seats.end(),
                                  [&](const std::unique_ptr<WaylandSeat>& s) { return s->GetGlobalName() == name; }),
                   m->seats.end());
}
const wl_registry_listener kRegistryListener = {&OnGlobal, &OnGlobalRemove};

}  // namespace

Impl::~Impl() {
    DestroyContext();
    while (!views.empty()) DestroyView(views.back().get());
    if (egl != EGL_NO_DISPLAY) {
        // Mesa holds objects on our connection: it lets go before we close it.
        eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(egl);
    }
    seats.clear();
    for (auto& o : outputs) ReleaseOutput(*o);
    outputs.clear();
    if (xdgOutputManager) zxdg_output_manager_v1_destroy(xdgOutputManager);
    if (fractionalManager) wp_fractional_scale_manager_v1_destroy(fractionalManager);
    if (viewporter) wp_viewporter_destroy(viewporter);
    if (shm) wl_shm_destroy(shm);
    if (layerShell) {
        if (zwlr_layer_shell_v1_get_version(layerShell) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell));
    }
    if (wmBase) xdg_wm_base_destroy(wmBase);
    if (compositor) wl_compositor_destroy(compositor);
    if (registry) wl_registry_destroy(registry);
    if (display) {
        if (!lost) wl_display_flush(display);
        wl_display_disconnect(display);
    }
    if (xkb) xkb_context_unref(xkb);
}

bool Impl::Connect(const std::string& name, WindowError& error) {
    const char* shown = name.empty() ? std::getenv("WAYLAND_DISPLAY") : name.c_str();
    display = wl_display_connect(name.empty() ? nullptr : name.c_str());
    if (!display) {
        LogSend(kLogError, "WaylandWindowSurface -> cannot connect to the compositor %s (%s)",
                shown && *shown ? shown : "wayland-0", std::strerror(errno));
        error = WindowError::kNoDisplay;
        return false;
    }
    xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!xkb) LogSend(kLogWarning, "WaylandWindowSurface -> no xkbcommon context; keys will not arrive");
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, this);
    // The first round trip lists the globals, the second brings the
    // outputs' descriptions and the seats' capabilities.
    for (int i = 0; i < 2; ++i) {
        if (wl_display_roundtrip(display) < 0) {
            Lose();
            error = WindowError::kNoDisplay;
            return false;
        }
    }
    if (!compositor || !shm) {
        LogSend(kLogError, "WaylandWindowSurface -> the compositor offers no %s",
                compositor ? "wl_shm" : "wl_compositor");
        error = WindowError::kNoWindow;
        return false;
    }
    return true;
}

bool Impl::InitEgl() {
    egl = EglCommon::OpenDisplay(EGL_PLATFORM_WAYLAND_EXT, display, "WaylandWindowSurface");
    if (egl == EGL_NO_DISPLAY) return false;
    if (!HasWord(eglQueryString(egl, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        // The scene draws into our framebuffer object while no surface is
        // current: one may be gone at any moment.
        LogSend(kLogError, "WaylandWindowSurface -> EGL lacks EGL_KHR_surfaceless_context");
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        LogSend(kLogError, "WaylandWindowSurface -> desktop OpenGL is not available through EGL");
        return false;
    }
    // No EGL surface is ever made: the frames reach the compositor in our
    // own buffers, so any config with desktop OpenGL does.
    const EGLint attribs[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(egl, attribs, &config, 1, &count) || count < 1) {
        LogSend(kLogError, "WaylandWindowSurface -> no EGL config for desktop OpenGL");
        return false;
    }
    return true;
}

bool Impl::Dispatch(int timeoutMs) {
    if (lost) return false;
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) {
            Lose();
            return false;
        }
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        Lose();
        return false;
    }
    pollfd pfd = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) > 0) {
        if (wl_display_read_events(display) < 0) {
            Lose();
            return false;
        }
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) {
        Lose();
        return false;
    }
    return true;
}

void Impl::Lose() {
    if (lost) return;
    lost = true;
    const int code = wl_display_get_error(display);
    if (code == EPROTO) {
        const wl_interface* iface = nullptr;
        uint32_t id = 0;
        const uint32_t error = wl_display_get_protocol_error(display, &iface, &id);
        LogSend(kLogError, "WaylandWindowSurface -> the compositor ended the connection: protocol error %u on %s",
                error, iface ? iface->name : "an unknown object");
    } else {
        LogSend(kLogError, "WaylandWindowSurface -> lost the connection to the compositor (%s)",
                std::strerror(code ? code : EPIPE));
    }
}

WaylandOutput* Impl::FindOutput(wl_output* proxy) {
    for (auto& o : outputs)
        if (o->proxy == proxy) return o.get();
    return nullptr;
}

WaylandOutput* Impl::FindOutputByName(const std::string& name) {
    for (auto& o : outputs)
        if (!o->removed && o->name == name) return o.get();
    return nullptr;
}

WaylandOutput* Impl::CoveredOutput(const WaylandView& view) {
    if (view.output) return view.output;
    if (!view.fullscreen) return nullptr;
    if (view.entered.size() == 1) return view.entered[0];
    if (view.entered.empty() && !outputFilter.empty()) return FindOutputByName(outputFilter);
    return nullptr;
}

WaylandView* Impl::CreateView(WaylandOutput* output) {
    std::unique_ptr<WaylandView> v(new WaylandView);
    v->owner = this;
    v->output = output;
    v->surface = wl_compositor_create_surface(compositor);
    wl_surface_add_listener(v->surface, &kSurfaceListener, v.get());
    if (viewporter) v->viewport = wp_viewporter_get_viewport(viewporter, v->surface);
    if (fractionalManager) {
        v->fractional = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalManager, v->surface);
        wp_fractional_scale_v1_add_listener(v->fractional, &kFractionalListener, v.get());
    }
    if (mode != Mode::kWindow) {
        // Nothing of ours is translucent: the compositor may skip what is below.
        wl_region* region = wl_compositor_create_region(compositor);
        wl_region_add(region, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_set_opaque_region(v->surface, region);
        wl_region_destroy(region);
    }
    if (mode == Mode::kLayers) {
        v->layer = zwlr_layer_shell_v1_get_layer_surface(layerShell, v->surface, output->proxy,
                                                         ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kNamespace);
        zwlr_layer_surface_v1_add_listener(v->layer, &kLayerListener, v.get());
        zwlr_layer_surface_v1_set_size(v->layer, 0, 0);
        zwlr_layer_surface_v1_set_anchor(v->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                       ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                       ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                       ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(v->layer, -1);
        // Exclusive: every key goes to the screen saver while it is shown.
        zwlr_layer_surface_v1_set_keyboard_interactivity(v->layer,
                                                         ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    } else {
        v->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, v->surface);
        xdg_surface_add_listener(v->xdgSurface, &kXdgSurfaceListener, v.get());
        v->toplevel = xdg_surface_get_toplevel(v->xdgSurface);
        xdg_toplevel_add_listener(v->toplevel, &kToplevelListener, v.get());
        xdg_toplevel_set_title(v->toplevel, title.c_str());
        xdg_toplevel_set_app_id(v->toplevel, kNamespace);
        if (mode == Mode::kFullscreen) {
            WaylandOutput* o = outputFilter.empty() ? nullptr : FindOutputByName(outputFilter);
            xdg_toplevel_set_fullscreen(v->toplevel, o ? o->proxy : nullptr);
        }
    }
    // GL's rows run bottom up: the compositor turns them the right way.
    if (wl_surface_get_version(v->surface) >= WL_SURFACE_SET_BUFFER_TRANSFORM_SINCE_VERSION)
        wl_surface_set_buffer_transform(v->surface, WL_OUTPUT_TRANSFORM_FLIPPED_180);
    // The first commit carries no buffer: it asks for the first configure.
    wl_surface_commit(v->surface);
    views.push_back(std::move(v));
    return views.back().get();
}

void Impl::DestroyView(WaylandView* view) {
    ReleaseViewFramebuffer(*view);
    for (auto& b : view->buffers) FreeBuffer(*b);
    if (view->frameCallback) wl_callback_destroy(view->frameCallback);
    if (view->fractional) wp_fractional_scale_v1_destroy(view->fractional);
    if (view->viewport) wp_viewport_destroy(view->viewport);
    if (view->layer) zwlr_layer_surface_v1_destroy(view->layer);
    if (view->toplevel) xdg_toplevel_destroy(view->toplevel);
    if (view->xdgSurface) xdg_surface_destroy(view->xdgSurface);
    wl_surface_destroy(view->surface);
    views.erase(std::remove_if(views.begin(), views.end(),
                               [&](const std::unique_ptr<WaylandView>& v) { return v.get() == view; }),
                views.end());
}

void Impl::UpdateGeometry(WaylandView& view) {
    if (!view.configured || view.closed) return;
    WaylandOutput* covered = CoveredOutput(view);
    int lw = view.configWidth, lh = view.configHeight;
    if (lw <= 0 || lh <= 0) {
        // The size is ours to choose: the one asked for, else the output's.
        if (mode == Mode::kWindow && requestedWidth > 0 && requestedHeight > 0) {
            lw = requestedWidth;
            lh = requestedHeight;
        } else if (covered && covered->modeWidth > 0) {
            lw = covered->modeWidth / covered->scale;
            lh = covered->modeHeight / covered->scale;
        } else {
            lw = 640;
            lh = 480;
        }
    }
    int bw = 0, bh = 0, scale = 1;
    bool viewported = false;
    if (view.scale120 > 0 && view.viewport) {
        bw = WaylandBufferLength(lw, view.scale120);
        bh = WaylandBufferLength(lh, view.scale120);
        viewported = true;
    } else {
        if (view.preferredScale > 0) {
            scale = view.preferredScale;
        } else if (covered) {
            scale = covered->scale;
        } else {
            for (WaylandOutput* o : view.entered) scale = std::max(scale, o->scale);
        }
        if (wl_surface_get_version(view.surface) < WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) scale = 1;
        bw = lw * scale;
        bh = lh * scale;
        // A compositor without fractional scaling rounds the output's
        // scale up and shrinks our buffer; a surface that covers an output
        // can instead have exactly the output's pixels, shown at its
        // logical size through the viewport.
        if (covered && view.viewport && covered->modeWidth > 0 && covered->modeHeight > 0) {
            const bool sideways = (covered->transform & 1) != 0;
            const int pw = sideways ? covered->modeHeight : covered->modeWidth;
            const int ph = sideways ? covered->modeWidth : covered->modeHeight;
            if (pw != bw || ph != bh) {
                bw = pw;
                bh = ph;
                scale = 1;
                viewported = true;
            }
        }
    }
    // At half resolution the buffer has half the pixels each way and the
    // compositor stretches it over the surface.
    if (half && view.viewport) {
        bw = (bw + 1) / 2;
        bh = (bh + 1) / 2;
        scale = 1;
        viewported = true;
    }
    if (bw <= 0 || bh <= 0) return;
    const bool changed = bw != view.bufferWidth || bh != view.bufferHeight || scale != view.bufferScale ||
                         viewported != view.viewported || lw != view.logicalWidth || lh != view.logicalHeight;
    view.logicalWidth = lw;
    view.logicalHeight = lh;
    if (changed) {
        // Committed with the next buffer, which has the new size.
        if (wl_surface_get_version(view.surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
            wl_surface_set_buffer_scale(view.surface, scale);
        if (view.viewport) {
            if (viewported)
                wp_viewport_set_destination(view.viewport, lw, lh);
            else
                wp_viewport_set_destination(view.viewport, -1, -1);
        }
        view.bufferWidth = bw;
        view.bufferHeight = bh;
        view.bufferScale = scale;
        view.viewported = viewported;
    }
}

void Impl::UpdateDrawingSize() {
    long long best = 0;
    int w = 0, h = 0;
    for (auto& v : views) {
        if (!v->configured || v->closed) continue;
        const long long area = (long long)v->bufferWidth * v->bufferHeight;
        if (area > best) {
            best = area;
            w = v->bufferWidth;
            h = v->bufferHeight;
        }
    }
    // With no surface left the scene keeps its size until one comes back.
    if (best == 0 || (w == drawWidth && h == drawHeight)) return;
    if (drawWidth > 0) resized = true;
    drawWidth = w;
    drawHeight = h;
}

void Impl::Reconcile() {
    if (lost) return;
    for (size_t i = views.size(); i-- > 0;) {
        WaylandView* v = views[i].get();
        if (v->closed || (v->output && v->output->removed)) DestroyView(v);
    }
    for (auto& o : outputs) {
        if (!o->removed) continue;
        for (auto& v : views) v->entered.erase(std::remove(v->entered.begin(), v->entered.end(), o.get()),
                                               v->entered.end());
        ReleaseOutput(*o);
    }
    outputs.erase(std::remove_if(outputs.begin(), outputs.end(),
                                 [](const std::unique_ptr<WaylandOutput>& o) { return o->removed; }),
                  outputs.end());
    if (mode == Mode::kLayers) {
        for (auto& o : outputs) {
            if (!o->done || o->dismissed || (!outputFilter.empty() && o->name != outputFilter)) continue;
            const bool shown = std::any_of(views.begin(), views.end(),
                                           [&](const std::unique_ptr<WaylandView>& v) { return v->output == o.get(); });
            if (!shown) CreateView(o.get());
        }
    }
    for (auto& v : views) UpdateGeometry(*v);
    UpdateDrawingSize();
}

bool Impl::WaitForConfigure() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConfigureWaitMilliseconds);
    for (;;) {
        const bool pending = std::any_of(views.begin(), views.end(), [](const std::unique_ptr<WaylandView>& v) {
            return !v->configured && !v->closed;
        });
        if (!pending) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        if (!Dispatch(int(left))) return false;
    }
    Reconcile();
    const bool any = std::any_of(views.begin(), views.end(), [](const std::unique_ptr<WaylandView>& v) {
        return v->configured && !v->closed;
    });
    if (!any) LogSend(kLogError, "WaylandWindowSurface -> the compositor gave no surface a size");
    return any;
}

bool Impl::MapPointer(wl_surface* surface, double x, double y, int& drawX, int& drawY) {
    for (auto& v : views) {
        if (v->surface != surface || v->logicalWidth <= 0 || v->logicalHeight <= 0) continue;
        const double bx = x * v->bufferWidth / v->logicalWidth;
        const double by = y * v->bufferHeight / v->logicalHeight;
        const int dw = fboWidth > 0 ? fboWidth : drawWidth;
        const int dh = fboHeight > 0 ? fboHeight : drawHeight;
        const WaylandCover c = WaylandCoverFit(dw, dh, v->bufferWidth, v->bufferHeight);
        drawX = int((bx - c.left) / c.scale);
        drawY = int((by - c.top) / c.scale);
        return true;
    }
    return false;
}

bool Impl::CreateMainContext() {
    if (!eglBindAPI(EGL_OPENGL_API)) return false;
    // No version asked for: the driver gives its compatibility profile, in
    // which the fixed-function pipeline works.
    context = eglCreateContext(egl, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        LogSend(kLogError, "WaylandWindowSurface -> eglCreateContext failed (0x%x)", unsigned(eglGetError()));
        return false;
    }
    Backends::ReleaseOtherContexts(Backends::Api::kEgl);
    if (!eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        LogSend(kLogError, "WaylandWindowSurface -> eglMakeCurrent failed (0x%x)", unsigned(eglGetError()));
        return false;
    }
    if (!fbo.LoadAll()) {
        LogSend(kLogError, "WaylandWindowSurface -> the GL driver has no framebuffer objects");
        return false;
    }
    fbo.GenFramebuffers(1, &framebuffer);
    fbo.GenRenderbuffers(1, &depthBuffer);
    glGenTextures(1, &colorTexture);
    return true;
}

bool Impl::SizeAttachments(int width, int height) {
    GLint maxTexture = 0, maxRenderbuffer = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    const int most = std::min(maxTexture, maxRenderbuffer);
    if (width <= 0 || height <= 0 || width > most || height > most) {
        LogSend(kLogError, "WaylandWindowSurface -> unsupported size %d x %d", width, height);
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    fbo.BindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    fbo.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    fbo.BindRenderbuffer(GL_RENDERBUFFER, 0);
    fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    fbo.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture, 0);
    fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    const GLenum status = fbo.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        LogSend(kLogError, "WaylandWindowSurface -> framebuffer incomplete (0x%x)", unsigned(status));
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    fboWidth = width;
    fboHeight = height;
    return true;
}

void Impl::DestroyContext() {
    if (egl == EGL_NO_DISPLAY) return;
    {
        std::lock_guard<std::mutex> lock(sharedMutex);
        if (sharedContext != EGL_NO_CONTEXT) eglDestroyContext(egl, sharedContext);
        sharedContext = EGL_NO_CONTEXT;
    }
    if (context != EGL_NO_CONTEXT) {
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        if (eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            if (framebuffer) {
                fbo.BindFramebuffer(GL_FRAMEBUFFER, 0);
                fbo.DeleteFramebuffers(1, &framebuffer);
            }
            if (depthBuffer) fbo.DeleteRenderbuffers(1, &depthBuffer);
            if (colorTexture) glDeleteTextures(1, &colorTexture);
        }
        eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(egl, context);
    }
    context = EGL_NO_CONTEXT;
    framebuffer = colorTexture = depthBuffer = 0;
    fboWidth = fboHeight = 0;
}

bool Impl::MakeCurrent() {
    if (context == EGL_NO_CONTEXT) return false;
    if (eglGetCurrentContext() != context || eglGetCurrentSurface(EGL_DRAW) != EGL_NO_SURFACE) {
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        if (!eglMakeCurrent(egl, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            LogSend(kLogError, "WaylandWindowSurface -> eglMakeCurrent failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
    }
    // No surface is current: the scene draws into our framebuffer only.
    fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    return true;
}

void Impl::Blit(const WaylandView& view) {
    const WaylandCover c = WaylandCoverFit(fboWidth, fboHeight, view.bufferWidth, view.bufferHeight);
    // The quad's corners in normalised device coordinates.
    const double x0 = 2.0 * c.left / view.bufferWidth - 1.0;
    const double x1 = 2.0 * (c.left + fboWidth * c.scale) / view.bufferWidth - 1.0;
    const double y0 = 1.0 - 2.0 * (c.top + fboHeight * c.scale) / view.bufferHeight;
    const double y1 = 1.0 - 2.0 * c.top / view.bufferHeight;
    glViewport(0, 0, view.bufferWidth, view.bufferHeight);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Alpha stays the cleared 1: the compositor must not blend us.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2d(x0, y0);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2d(x1, y0);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2d(x1, y1);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2d(x0, y1);
    glEnd();
}

bool Impl::HasFreeBuffer(const WaylandView& view) const {
    size_t held = 0;
    for (auto& b : view.buffers) {
        if (!b->busy && b->width == view.bufferWidth && b->height == view.bufferHeight) return true;
        held += b->busy;
    }
    return held < kBuffersPerView;
}

WaylandShmBuffer* Impl::TakeBuffer(WaylandView& view) {
    // Free buffers of an old size go; held ones wait for their release.
    auto& list = view.buffers;
    for (size_t i = list.size(); i-- > 0;) {
        if (!list[i]->busy && (list[i]->width != view.bufferWidth || list[i]->height != view.bufferHeight)) {
            FreeBuffer(*list[i]);
            list.erase(list.begin() + long(i));
        }
    }
    for (auto& b : list)
        if (!b->busy) return b.get();
    if (list.size() >= kBuffersPerView) return nullptr;
    WaylandShmBuffer* b = CreateBuffer(view.bufferWidth, view.bufferHeight);
    if (b) list.emplace_back(b);
    return b;
}

WaylandShmBuffer* Impl::CreateBuffer(int width, int height) {
    std::unique_ptr<WaylandShmBuffer> b(new WaylandShmBuffer);
    b->width = width;
    b->height = height;
    b->size = size_t(width) * size_t(height) * 4;
    // A pool's size is a 32-bit signed number on the wire.
    if (width <= 0 || height <= 0 || b->size > size_t(INT32_MAX)) {
        if (!reportedBufferFailure)
            LogSend(kLogError, "WaylandWindowSurface -> a %d x %d frame is too large to share", width, height);
        reportedBufferFailure = true;
        return nullptr;
    }
    const int fd = memfd_create("zyn-frame", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(b->size)) != 0) {
        if (!reportedBufferFailure)
            LogSend(kLogError, "WaylandWindowSurface -> no shared memory for a %d x %d frame (%s)", width, height,
                    std::strerror(errno));
        reportedBufferFailure = true;
        if (fd >= 0) close(fd);
        return nullptr;
    }
    void* pixels = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        if (!reportedBufferFailure)
            LogSend(kLogError, "WaylandWindowSurface -> cannot map a %d x %d frame (%s)", width, height,
                    std::strerror(errno));
        reportedBufferFailure = true;
        close(fd);
        return nullptr;
    }
    b->pixels = pixels;
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(b->size));
    b->proxy = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(b->proxy, &kBufferListener, b.get());
    return b.release();
}

void Impl::ReleaseViewFramebuffer(WaylandView& view) {
    // Without our context current the objects went with it.
    if (context != EGL_NO_CONTEXT && eglGetCurrentContext() == context) {
        if (view.framebuffer) fbo.DeleteFramebuffers(1, &view.framebuffer);
        if (view.colorBuffer) fbo.DeleteRenderbuffers(1, &view.colorBuffer);
        fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    }
    view.framebuffer = view.colorBuffer = 0;
    view.framebufferWidth = view.framebufferHeight = 0;
}

bool Impl::PrepareViewPixels(WaylandView& view) {
    if (view.bufferWidth == fboWidth && view.bufferHeight == fboHeight) {
        ReleaseViewFramebuffer(view);
        fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        return true;
    }
    if (view.framebufferWidth != view.bufferWidth || view.framebufferHeight != view.bufferHeight) {
        if (!view.framebuffer) fbo.GenFramebuffers(1, &view.framebuffer);
        if (!view.colorBuffer) fbo.GenRenderbuffers(1, &view.colorBuffer);
        fbo.BindRenderbuffer(GL_RENDERBUFFER, view.colorBuffer);
        fbo.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, view.bufferWidth, view.bufferHeight);
        fbo.BindRenderbuffer(GL_RENDERBUFFER, 0);
        fbo.BindFramebuffer(GL_FRAMEBUFFER, view.framebuffer);
        fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, view.colorBuffer);
        if (fbo.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            LogSend(kLogError, "WaylandWindowSurface -> no %d x %d framebuffer for an output", view.bufferWidth,
                    view.bufferHeight);
            ReleaseViewFramebuffer(view);
            return false;
        }
        view.framebufferWidth = view.bufferWidth;
        view.framebufferHeight = view.bufferHeight;
    }
    fbo.BindFramebuffer(GL_FRAMEBUFFER, view.framebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    Blit(view);
    return true;
}

void Impl::Present() {
    std::vector<WaylandView*> ready;
    for (auto& v : views)
        if (IsReady(*v)) ready.push_back(v.get());
    if (ready.empty()) {
        glFlush();
        return;
    }
    // The renderer keeps its state across frames: everything the copy
    // changes is put back.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    for (WaylandView* v : ready) {
        WaylandShmBuffer* b = TakeBuffer(*v);
        if (!b || !PrepareViewPixels(*v)) continue;
        // BGRA bytes are XRGB8888 in the compositor's little-endian words.
        glReadPixels(0, 0, b->width, b->height, GL_BGRA, GL_UNSIGNED_BYTE, b->pixels);
        wl_surface_attach(v->surface, b->proxy, 0, 0);
        wl_surface_damage(v->surface, 0, 0, INT_MAX, INT_MAX);
        v->frameCallback = wl_surface_frame(v->surface);
        wl_callback_add_listener(v->frameCallback, &kFrameListener, v);
        wl_surface_commit(v->surface);
        b->busy = true;
        ++v->framesShown;
    }
    fbo.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    if (wl_display_flush(display) < 0 && errno != EAGAIN) Lose();
}

WaylandWindowSurface::WaylandWindowSurface() : m_pImpl(new Impl) {
    m_pImpl->send = [this](int code, int a, int b) { Send(code, a, b); };
}

WaylandWindowSurface::~WaylandWindowSurface() = default;

WaylandWindowSurface* WaylandWindowSurface::Create(const WindowRequest& request, WindowError& error) {
    error = WindowError::kNone;
    if (request.kind != WindowRequest::Kind::kOwnWindow) {
        LogSend(kLogError, "WaylandWindowSurface -> Wayland has no foreign or root windows to draw into");
        error = WindowError::kNoWindow;
        return nullptr;
    }
    std::unique_ptr<WaylandWindowSurface> s(new WaylandWindowSurface);
    Impl& m = *s->m_pImpl;
    m.title = request.title;
    m.requestedWidth = request.width;
    m.requestedHeight = request.height;
    m.outputFilter = request.coverOutputs ? request.outputName : std::string();
    if (!m.Connect(request.displayName, error)) return nullptr;

    if (request.coverOutputs)
        m.mode = m.layerShell ? Impl::Mode::kLayers : Impl::Mode::kFullscreen;
    else
        m.mode = Impl::Mode::kWindow;
    if (m.mode != Impl::Mode::kLayers && !m.wmBase) {
        LogSend(kLogError, "WaylandWindowSurface -> the compositor offers neither layer-shell nor xdg-shell");
        error = WindowError::kNoWindow;
        return nullptr;
    }
    if (m.mode == Impl::Mode::kWindow && (request.width <= 0 || request.height <= 0 || request.width > 32767 ||
                                          request.height > 32767)) {
        LogSend(kLogError, "WaylandWindowSurface -> bad window size %d x %d", request.width, request.height);
        error = WindowError::kNoWindow;
        return nullptr;
    }
    if (!m.outputFilter.empty() && !m.FindOutputByName(m.outputFilter)) {
        std::string known;
        for (auto& o : m.outputs) known += (known.empty() ? "" : ", ") + (o->name.empty() ? "?" : o->name);
        LogSend(kLogError, "WaylandWindowSurface -> no output named %s (outputs: %s)", m.outputFilter.c_str(),
                known.empty() ? "none" : known.c_str());
        error = WindowError::kNoOutput;
        return nullptr;
    }
    if (!m.InitEgl()) {
        error = WindowError::kNoWindow;
        return nullptr;
    }
    if (m.mode == Impl::Mode::kLayers)
        m.Reconcile();
    else
        m.CreateView(nullptr);
    if (!m.WaitForConfigure()) {
        error = m.lost ? WindowError::kNoDisplay : WindowError::kNoWindow;
        return nullptr;
    }
    LogSend(kLogInfo, "WaylandWindowSurface -> %zu surface(s) by %s, drawing %d x %d", m.views.size(),
            m.mode == Impl::Mode::kLayers ? "layer-shell" : "xdg-shell", m.drawWidth, m.drawHeight);
    return s.release();
}

bool WaylandWindowSurface::CreateContext(int width, int height) {
    Impl& m = *m_pImpl;
    if (m.lost) {
        LogSend(kLogError, "WaylandWindowSurface -> the compositor is gone");
        return false;
    }
    if (m.context == EGL_NO_CONTEXT) {
        if (!m.CreateMainContext()) {
            m.DestroyContext();
            return false;
        }
    } else if (!m.MakeCurrent()) {
        return false;
    }
    return m.SizeAttachments(width, height) && m.MakeCurrent();
}

void WaylandWindowSurface::DestroyContext() { m_pImpl->DestroyContext(); }

bool WaylandWindowSurface::HasContext() const { return m_pImpl->context != EGL_NO_CONTEXT; }

bool WaylandWindowSurface::MakeCurrent() { return m_pImpl->MakeCurrent(); }

void WaylandWindowSurface::SwapBuffers() {
    Impl& m = *m_pImpl;
    if (m.lost || !HasContext() || m.fboWidth <= 0 || !m.MakeCurrent()) return;
    m.Present();
}

int WaylandWindowSurface::GetWidth() const { return m_pImpl->drawWidth; }

int WaylandWindowSurface::GetHeight() const { return m_pImpl->drawHeight; }

bool WaylandWindowSurface::ReadPixels(std::vector<u8>& rgba) {
    Impl& m = *m_pImpl;
    if (m.fboWidth <= 0 || m.fboHeight <= 0 || !m.MakeCurrent()) return false;
    const size_t stride = size_t(m.fboWidth) * 4;
    std::vector<u8> raw(stride * size_t(m.fboHeight));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, m.fboWidth, m.fboHeight, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    rgba.resize(raw.size());
    // GL hands the rows bottom-up.
    for (int y = 0; y < m.fboHeight; ++y) {
        u8* dst = rgba.data() + size_t(y) * stride;
        std::memcpy(dst, raw.data() + size_t(m.fboHeight - 1 - y) * stride, stride);
        for (size_t x = 3; x < stride; x += 4) dst[x] = 255;
    }
    return true;
}

bool WaylandWindowSurface::MakeSharedContextCurrent() {
    Impl& m = *m_pImpl;
    if (!HasContext() || m.lost) return false;
    std::lock_guard<std::mutex> lock(m.sharedMutex);
    if (m.sharedContext == EGL_NO_CONTEXT) {
        // The API binding is per thread.
        eglBindAPI(EGL_OPENGL_API);
        m.sharedContext = eglCreateContext(m.egl, m.config, m.context, nullptr);
        if (m.sharedContext == EGL_NO_CONTEXT) {
            LogSend(kLogError, "WaylandWindowSurface -> shared context failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
    }
    Backends::ReleaseOtherContexts(Backends::Api::kEgl);
    if (!eglMakeCurrent(m.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, m.sharedContext)) {
        LogSend(kLogError, "WaylandWindowSurface -> shared context not current (0x%x)", unsigned(eglGetError()));
        return false;
    }
    return true;
}

void WaylandWindowSurface::DoneSharedContext() {
    Impl& m = *m_pImpl;
    if (m.egl == EGL_NO_DISPLAY || m.sharedContext == EGL_NO_CONTEXT || eglGetCurrentContext() != m.sharedContext)
        return;
    // Uploads must be complete before the main context samples them.
    glFinish();
    eglMakeCurrent(m.egl, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void WaylandWindowSurface::ShowCursor(bool show) { m_pImpl->cursorHidden = !show; }

void WaylandWindowSurface::PumpEvents() {
    Impl& m = *m_pImpl;
    if (m.lost) return;
    m.Dispatch(0);
    m.Reconcile();
}

bool WaylandWindowSurface::IsClosed() const { return m_pImpl->lost || m_pImpl->closeRequested; }

bool WaylandWindowSurface::IsDestroyed() const { return m_pImpl->lost; }

bool WaylandWindowSurface::SetHalfResolution(bool half) {
    Impl& m = *m_pImpl;
    if (half == m.half) return true;
    if (half && !m.viewporter) return false;
    m.half = half;
    for (auto& v : m.views) m.UpdateGeometry(*v);
    m.UpdateDrawingSize();
    return true;
}

bool WaylandWindowSurface::TakeResize(int& width, int& height) {
    Impl& m = *m_pImpl;
    if (!m.resized) return false;
    m.resized = false;
    width = m.drawWidth;
    height = m.drawHeight;
    return true;
}

int WaylandWindowSurface::GetEventDescriptor() const {
    return m_pImpl->display ? wl_display_get_fd(m_pImpl->display) : -1;
}

bool WaylandWindowSurface::IsReadyForFrame() const {
    const Impl& m = *m_pImpl;
    if (m.lost) return false;
    return std::any_of(m.views.begin(), m.views.end(),
                       [&](const std::unique_ptr<WaylandView>& v) { return m.IsReady(*v); });
}

std::vector<WaylandWindowSurface::ViewState> WaylandWindowSurface::GetViewStates() const {
    std::vector<ViewState> states;
    for (auto& v : m_pImpl->views) {
        if (!v->configured || v->closed) continue;
        ViewState s;
        if (v->output)
            s.outputName = v->output->name;
        else if (!v->entered.empty())
            s.outputName = v->entered[0]->name;
        s.layerSurface = v->layer != nullptr;
        s.logicalWidth = v->logicalWidth;
        s.logicalHeight = v->logicalHeight;
        s.bufferWidth = v->bufferWidth;
        s.bufferHeight = v->bufferHeight;
        s.bufferScale = v->bufferScale;
        s.viewported = v->viewported;
        s.fractionalScale120 = v->scale120;
        s.framesShown = v->framesShown;
        s.waitingForFrame = v->frameCallback != nullptr;
        states.push_back(s);
    }
    return states;
}

bool WaylandWindowSurface::UsesLayerShell() const { return m_pImpl->mode == Impl::Mode::kLayers; }

namespace Backends {

WindowSurface* CreateWaylandWindowSurface(const WindowRequest& request, WindowError& error) {
    return WaylandWindowSurface::Create(request, error);
}

}  // namespace Backends
}  // namespace Zyn
