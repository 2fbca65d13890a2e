#ifndef ZYN_PLATFORM_EGL_EGLCOMMON_H
#define ZYN_PLATFORM_EGL_EGLCOMMON_H

// What the EGL-based backends (headless, Wayland, X11) share: opening a display
// of a platform, and the framebuffer-object entry points they render into.

#include <cstring>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <zyn/core/Log.h>

namespace Zyn {
namespace EglCommon {

/// True when the space-separated `list` holds `word` as a whole word.
inline bool HasWord(const char* list, const char* word) {
    if (!list) return false;
    const size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

/// An initialised display of `platform` for `native`, or EGL_NO_DISPLAY
/// with the reason logged under `who` at `level` (lower for a caller that
/// has another way to draw).
inline EGLDisplay OpenDisplay(EGLenum platform, void* native, const char* who, int level = kLogError) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        LogSend(level, "%s -> eglGetPlatformDisplayEXT is not available", who);
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = getPlatformDisplay(platform, native, nullptr);
    if (display == EGL_NO_DISPLAY) {
        LogSend(level, "%s -> no EGL display for this platform", who);
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        LogSend(level, "%s -> eglInitialize failed (0x%x)", who, unsigned(eglGetError()));
        return EGL_NO_DISPLAY;
    }
    return display;
}

/// Framebuffer-object entry points; core names on GL 3.0+, else the EXT ones.
struct FboApi {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;

    template <class F>
    static void Load(F& fn, const char* core, const char* ext, bool useCore) {
        fn = reinterpret_cast<F>(eglGetProcAddress(useCore ? core : ext));
    }

    /// Needs a current context. False when the driver has no FBOs.
    bool LoadAll() {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const char* exts = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        const bool core = (version && version[0] >= '3' && version[0] <= '9') ||
                          HasWord(exts, "GL_ARB_framebuffer_object");
        if (!core && !HasWord(exts, "GL_EXT_framebuffer_object")) return false;
        Load(GenFramebuffers, "glGenFramebuffers", "glGenFramebuffersEXT", core);
        Load(DeleteFramebuffers, "glDeleteFramebuffers", "glDeleteFramebuffersEXT", core);
        Load(BindFramebuffer, "glBindFramebuffer", "glBindFramebufferEXT", core);
        Load(GenRenderbuffers, "glGenRenderbuffers", "glGenRenderbuffersEXT", core);
        Load(DeleteRenderbuffers, "glDeleteRenderbuffers", "glDeleteRenderbuffersEXT", core);
        Load(BindRenderbuffer, "glBindRenderbuffer", "glBindRenderbufferEXT", core);
        Load(RenderbufferStorage, "glRenderbufferStorage", "glRenderbufferStorageEXT", core);
        Load(FramebufferRenderbuffer, "glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT", core);
        Load(FramebufferTexture2D, "glFramebufferTexture2D", "glFramebufferTexture2DEXT", core);
        Load(CheckFramebufferStatus, "glCheckFramebufferStatus", "glCheckFramebufferStatusEXT", core);
        return GenFramebuffers && DeleteFramebuffers && BindFramebuffer && GenRenderbuffers &&
               DeleteRenderbuffers && BindRenderbuffer && RenderbufferStorage && FramebufferRenderbuffer &&
               FramebufferTexture2D && CheckFramebufferStatus;
    }
};

}  // namespace EglCommon
}  // namespace Zyn

#endif
