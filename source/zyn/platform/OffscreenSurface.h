// A headless GL surface: an EGL context on the surfaceless Mesa platform that
// draws into a framebuffer object. Needs no display; used by tests and by
// frame export.
#pragma once

namespace Zyn {

class GLSurface;

/// A new offscreen surface with no context yet (CreateContext makes it).
/// Owned by the caller, who deletes it; never null.
GLSurface* CreateOffscreenSurface();

}  // namespace Zyn
