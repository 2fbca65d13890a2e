// The Wayland backend: a surfaceless EGL context on the Wayland connection,
// no X11 involved. A screen saver's cover puts one overlay-layer surface on
// every output (where the compositor offers layer-shell) or one fullscreen
// xdg_toplevel; a preview is a plain xdg_toplevel. The scene is drawn once per
// frame into a framebuffer object the size of the largest surface;
// SwapBuffers reads it, scaled to cover each surface at its real pixel size,
// into that surface's own shared-memory buffers, for every surface whose
// compositor asked for a frame and released a buffer. Nothing waits on the
// compositor. Reached through CreateWindowSurface; only the platform
// layer and its tests include this header. Frame thread only, except
// MakeSharedContextCurrent and DoneSharedContext.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <zyn/platform/WindowSurface.h>

namespace Zyn {

/// The framework's key code for an XKB keysym, the same table as the X11
/// backend's: 8 Backspace, 13 Return, 27 Escape, 32 Space, 37-40 arrows,
/// 112-123 F1-F12, letters and digits as upper-case ASCII; 0 when unknown.
int WaylandKeySymToKeyCode(unsigned keysym);

/// Pixels along one axis of a surface `logical` units long at a scale given
/// in 120ths (the fractional-scale unit), rounded to the nearest pixel.
int WaylandBufferLength(int logical, int scale120);

/// Where a drawing of drawWidth x drawHeight lands when scaled to cover a
/// buffer of bufferWidth x bufferHeight keeping its aspect (centred, the
/// excess cropped): its left and top edge in buffer pixels (zero or
/// negative) and its scale.
struct WaylandCover {
    double left = 0.0;
    double top = 0.0;
    double scale = 1.0;
};
WaylandCover WaylandCoverFit(int drawWidth, int drawHeight, int bufferWidth, int bufferHeight);

class WaylandWindowSurface : public WindowSurface {
public:
    /// Connects to the compositor named in the request (empty:
    /// $WAYLAND_DISPLAY) and opens what it asks for, returning once every
    /// surface has its first size. Null, logged, with the reason in `error`.
    /// Owned by the caller.
    static WaylandWindowSurface* Create(const WindowRequest& request, WindowError& error);

    /// Frees the GL objects, the surfaces and the connection.
    ~WaylandWindowSurface() override;

    /// The framebuffer takes the size asked for; the surfaces keep the
    /// sizes the compositor gave them and show it scaled.
    bool CreateContext(int width, int height) override;
    void DestroyContext() override;
    bool HasContext() const override;
    bool MakeCurrent() override;
    /// Shows the frame on every surface whose frame callback has arrived;
    /// the others keep their last frame. Never blocks on the compositor.
    void SwapBuffers() override;
    /// Pacing comes from the compositor's frame callbacks: ignored.
    void SetSwapInterval(int) override {}
    /// The size to draw at: the largest surface's buffer in pixels. The
    /// framebuffer keeps the size CreateContext gave it until the host
    /// follows a resize.
    int GetWidth() const override;
    int GetHeight() const override;
    /// The frame drawn since the last SwapBuffers, top row first, alpha 255.
    bool ReadPixels(std::vector<u8>& rgba) override;
    /// The worker's context shares textures with the main one and has no
    /// surface of its own.
    bool MakeSharedContextCurrent() override;
    void DoneSharedContext() override;
    /// Hiding takes effect when the pointer next enters a surface; showing
    /// again leaves the cursor to the compositor.
    void ShowCursor(bool show) override;

    /// Pointer motion arrives in the drawing's pixels (a surface's buffer
    /// pixels mapped through the cover fit); buttons and keys as the X11
    /// backend sends them. Outputs that come and go gain and lose their
    /// surface here.
    void PumpEvents() override;
    /// The compositor closed the window, or the connection was lost.
    bool IsClosed() const override;
    /// The connection to the compositor was lost.
    bool IsDestroyed() const override;
    /// True once per change of the drawing size.
    bool TakeResize(int& width, int& height) override;
    /// The compositor connection.
    int GetEventDescriptor() const override;
    bool IsOwnWindow() const override { return true; }
    /// Where the compositor offers viewports: buffers of half the size,
    /// which it stretches over each surface.
    bool SetHalfResolution(bool half) override;
    /// Some surface has no frame callback outstanding.
    bool IsReadyForFrame() const override;

    /// One surface as the compositor and this backend see it.
    struct ViewState {
        std::string outputName;  // the output a layer surface covers, or the one a window entered
        bool layerSurface = false;
        int logicalWidth = 0;
        int logicalHeight = 0;
        int bufferWidth = 0;
        int bufferHeight = 0;
        int bufferScale = 1;           // wl_surface buffer scale
        bool viewported = false;       // sized through wp_viewport
        int fractionalScale120 = 0;    // 0 until the compositor prefers one
        long framesShown = 0;          // frames committed to the surface
        bool waitingForFrame = false;  // a frame callback is outstanding
    };
    /// The surfaces now shown, in the order the outputs appeared.
    std::vector<ViewState> GetViewStates() const;
    /// Whether the cover is made of layer-shell overlays.
    bool UsesLayerShell() const;

    struct Impl;

private:
    WaylandWindowSurface();
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace Zyn
