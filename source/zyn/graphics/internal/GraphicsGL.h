// GL headers and the debug-only error check for the graphics layer's sources.
// Not part of the public API. In release builds ZYN_GL(call) is the bare call,
// so that release logs hold only the renderer's own "OPENGL err" lines.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

namespace Zyn {
namespace Graphics {
/// Logs (level 1) every pending GL error, naming the call that raised it.
void CheckGLError(const char* call, const char* file, int line);
}  // namespace Graphics
}  // namespace Zyn

#ifdef NDEBUG
#define ZYN_GL(call) (call)
#else
#define ZYN_GL(call)                                              \
    do {                                                          \
        call;                                                     \
        ::Zyn::Graphics::CheckGLError(#call, __FILE__, __LINE__); \
    } while (0)
#endif
