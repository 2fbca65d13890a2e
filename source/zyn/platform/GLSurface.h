// Where GL draws: an offscreen framebuffer (EGL, no display needed) or an X11
// window (GLX). The window layer hands the current surface out as its handle
// (WindowSystem::GetHandle); the renderer creates its context on it.
// All calls belong to the frame thread unless stated.
#pragma once

#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

class GLSurface {
public:
    virtual ~GLSurface() = default;

    /// Creates the GL context on first call; later calls keep the context
    /// (textures survive) and adapt the drawable to the new size. Leaves the
    /// context current. False on failure, logged.
    virtual bool CreateContext(int width, int height) = 0;
    /// Frees the context and what the surface made for it.
    virtual void DestroyContext() = 0;
    virtual bool HasContext() const = 0;
    virtual bool MakeCurrent() = 0;
    virtual void SwapBuffers() = 0;
    /// Applied only where the platform offers swap control safely.
    virtual void SetSwapInterval(int interval) = 0;
    /// Drawable size in pixels.
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    /// The frame as RGBA rows from top to bottom, alpha forced to 255.
    /// False when there is no context.
    virtual bool ReadPixels(std::vector<u8>& rgba) = 0;

    /// Makes current, on the calling thread, a second context that shares
    /// textures with the main one (created on first use); false when
    /// unavailable. Used by the background loader's worker thread.
    virtual bool MakeSharedContextCurrent() = 0;
    /// Releases the shared context from the calling thread.
    virtual void DoneSharedContext() = 0;

    /// Shows or hides the pointer over the window; surfaces without a
    /// window of their own ignore it.
    virtual void ShowCursor(bool /*show*/) {}

    /// The screen's density as a multiple of 96 dots per inch (2 on a
    /// typical high-density laptop panel), for sizing text and lines in
    /// real pixels; 1 where the surface has no screen.
    virtual float GetContentScale() const { return 1.f; }
};

}  // namespace Zyn
