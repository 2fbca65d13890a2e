// The framework's window abstraction. The window is a GLSurface chosen by the
// host before Root::Init; GetHandle hands it to the renderer. Root reaches
// these functions through the IWindowLayer adapter installed at load time.
// Frame thread only.
#pragma once

#include <zyn/core/Types.h>

namespace Zyn {

class GLSurface;

namespace WindowSystem {

namespace Globals {
/// The current window handle: the GLSurface* given to SetSurface, as void*.
extern void* g_Hwnd;
}  // namespace Globals

/// True; the surface is chosen by the host, not here.
bool Init(AppSettings* settings);
/// True; a surface follows its window's size by itself.
bool ReInit(AppSettings* settings);
/// Records a request to close (Root::Close). The host polls it: a preview
/// window ends the program, under a daemon nothing happens. Returns true.
bool Destroy();
/// The current surface as void* (what Graphics::Init/ReInit receive); null
/// when the host has set none.
void* GetHandle();
/// Shows or hides the pointer over the surface's window, where it has one.
void ShowMouseCursor(bool show);
bool SuggestWidescreen();
/// The current surface's density as a multiple of 96 dpi; 1 without one.
float GetContentScale();
/// Sleeps `ms` milliseconds.
void Sleep(unsigned ms);

/// Chooses the surface that the renderer draws into; borrowed, the host
/// keeps it alive while Root may draw. Null clears it.
void SetSurface(GLSurface* surface);
GLSurface* GetSurface();

/// A close was asked for since the last ClearCloseRequest.
bool IsCloseRequested();
void ClearCloseRequest();

}  // namespace WindowSystem
}  // namespace Zyn
