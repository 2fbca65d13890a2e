#include <zyn/platform/OffscreenSurface.h>

#include <cstring>
#include <mutex>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <zyn/core/Log.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/internal/Backends.h>
#include <zyn/platform/egl/EglCommon.h>

namespace Zyn {

namespace {

// The EGL display is one per process and stays initialised until exit:
// eglTerminate unloads the driver, which leaks on its way out, and a later
// surface would pay the driver start-up again.
std::mutex g_DisplayMutex;
EGLDisplay g_Display = EGL_NO_DISPLAY;

EGLDisplay AcquireDisplay() {
    std::lock_guard<std::mutex> lock(g_DisplayMutex);
    if (g_Display == EGL_NO_DISPLAY)
        g_Display = EglCommon::OpenDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, "OffscreenSurface");
    return g_Display;
}

class OffscreenSurface : public GLSurface {
public:
    ~OffscreenSurface() override { DestroyContext(); }

    bool CreateContext(int width, int height) override;
    void DestroyContext() override;
    bool HasContext() const override { return m_Context != EGL_NO_CONTEXT; }
    bool MakeCurrent() override;
    void SwapBuffers() override {
        if (HasContext()) glFlush();
    }
    // There is nothing on screen to pace.
    void SetSwapInterval(int) override {}
    int GetWidth() const override { return m_Width; }
    int GetHeight() const override { return m_Height; }
    bool ReadPixels(std::vector<u8>& rgba) override;
    bool MakeSharedContextCurrent() override;
    void DoneSharedContext() override;

private:
    bool CreateMainContext();
    bool SizeAttachments(int width, int height);

    EGLDisplay m_Display = EGL_NO_DISPLAY;
    EGLConfig m_Config = nullptr;
    EGLContext m_Context = EGL_NO_CONTEXT;
    EGLContext m_SharedContext = EGL_NO_CONTEXT;
    std::mutex m_SharedMutex;
    EglCommon::FboApi m_Fbo;
    GLuint m_Framebuffer = 0;
    GLuint m_ColorBuffer = 0;
    GLuint m_DepthBuffer = 0;
    int m_Width = 0;
    int m_Height = 0;
};

bool OffscreenSurface::CreateMainContext() {
    m_Display = AcquireDisplay();
    if (m_Display == EGL_NO_DISPLAY) return false;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        LogSend(kLogError, "OffscreenSurface -> desktop OpenGL is not available through EGL");
        return false;
    }
    // The colour and depth buffers are our own renderbuffers; the config
    // only has to render desktop GL.
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(m_Display, configAttribs, &m_Config, 1, &count) || count < 1) {
        const EGLint anyAttribs[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        if (!eglChooseConfig(m_Display, anyAttribs, &m_Config, 1, &count) || count < 1) {
            LogSend(kLogError, "OffscreenSurface -> no EGL config for desktop OpenGL");
            return false;
        }
    }
    // No version asked for: the driver gives its compatibility profile, in
    // which the fixed-function pipeline works.
    m_Context = eglCreateContext(m_Display, m_Config, EGL_NO_CONTEXT, nullptr);
    if (m_Context == EGL_NO_CONTEXT) {
        LogSend(kLogError, "OffscreenSurface -> eglCreateContext failed (0x%x)", unsigned(eglGetError()));
        return false;
    }
    Backends::ReleaseOtherContexts(Backends::Api::kEgl);
    if (!eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_Context)) {
        LogSend(kLogError, "OffscreenSurface -> eglMakeCurrent failed (0x%x)", unsigned(eglGetError()));
        return false;
    }
    if (!m_Fbo.LoadAll()) {
        LogSend(kLogError, "OffscreenSurface -> the GL driver has no framebuffer objects");
        return false;
    }
    m_Fbo.GenFramebuffers(1, &m_Framebuffer);
    m_Fbo.GenRenderbuffers(1, &m_ColorBuffer);
    m_Fbo.GenRenderbuffers(1, &m_DepthBuffer);
    return true;
}

bool OffscreenSurface::SizeAttachments(int width, int height) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width <= 0 || height <= 0 || width > maxSize || height > maxSize) {
        LogSend(kLogError, "OffscreenSurface -> unsupported size %d x %d", width, height);
        return false;
    }
    m_Fbo.BindRenderbuffer(GL_RENDERBUFFER, m_ColorBuffer);
    m_Fbo.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    m_Fbo.BindRenderbuffer(GL_RENDERBUFFER, m_DepthBuffer);
    m_Fbo.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    m_Fbo.BindRenderbuffer(GL_RENDERBUFFER, 0);
    m_Fbo.BindFramebuffer(GL_FRAMEBUFFER, m_Framebuffer);
    m_Fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_ColorBuffer);
    m_Fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_DepthBuffer);
    const GLenum status = m_Fbo.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        LogSend(kLogError, "OffscreenSurface -> framebuffer incomplete (0x%x)", unsigned(status));
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    m_Width = width;
    m_Height = height;
    return true;
}

bool OffscreenSurface::CreateContext(int width, int height) {
    if (!HasContext()) {
        if (!CreateMainContext()) {
            DestroyContext();
            return false;
        }
    } else if (!MakeCurrent()) {
        return false;
    }
    // On a failed resize the old attachments may be half changed; the
    // context itself (and its textures) stays.
    return SizeAttachments(width, height);
}

void OffscreenSurface::DestroyContext() {
    if (m_Display == EGL_NO_DISPLAY) return;
    {
        std::lock_guard<std::mutex> lock(m_SharedMutex);
        if (m_SharedContext != EGL_NO_CONTEXT) eglDestroyContext(m_Display, m_SharedContext);
        m_SharedContext = EGL_NO_CONTEXT;
    }
    if (m_Context != EGL_NO_CONTEXT) {
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        if (eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_Context)) {
            if (m_Framebuffer) {
                m_Fbo.BindFramebuffer(GL_FRAMEBUFFER, 0);
                m_Fbo.DeleteFramebuffers(1, &m_Framebuffer);
            }
            if (m_ColorBuffer) m_Fbo.DeleteRenderbuffers(1, &m_ColorBuffer);
            if (m_DepthBuffer) m_Fbo.DeleteRenderbuffers(1, &m_DepthBuffer);
        }
        eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_Display, m_Context);
    }
    m_Context = EGL_NO_CONTEXT;
    m_Framebuffer = m_ColorBuffer = m_DepthBuffer = 0;
    m_Width = m_Height = 0;
    m_Display = EGL_NO_DISPLAY;
}

bool OffscreenSurface::MakeCurrent() {
    if (!HasContext()) return false;
    if (eglGetCurrentContext() != m_Context) {
        Backends::ReleaseOtherContexts(Backends::Api::kEgl);
        if (!eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_Context)) {
            LogSend(kLogError, "OffscreenSurface -> eglMakeCurrent failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
    }
    // Without a window there is no default framebuffer: ours must stay bound.
    m_Fbo.BindFramebuffer(GL_FRAMEBUFFER, m_Framebuffer);
    return true;
}

bool OffscreenSurface::ReadPixels(std::vector<u8>& rgba) {
    if (!HasContext() || m_Width <= 0 || m_Height <= 0 || !MakeCurrent()) return false;
    const size_t stride = size_t(m_Width) * 4;
    std::vector<u8> raw(stride * size_t(m_Height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, m_Width, m_Height, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    rgba.resize(raw.size());
    // GL hands the rows bottom-up.
    for (int y = 0; y < m_Height; ++y) {
        const u8* src = raw.data() + size_t(m_Height - 1 - y) * stride;
        u8* dst = rgba.data() + size_t(y) * stride;
        std::memcpy(dst, src, stride);
        for (size_t x = 3; x < stride; x += 4) dst[x] = 255;
    }
    return true;
}

bool OffscreenSurface::MakeSharedContextCurrent() {
    if (!HasContext()) return false;
    std::lock_guard<std::mutex> lock(m_SharedMutex);
    if (m_SharedContext == EGL_NO_CONTEXT) {
        // The API binding is per thread.
        eglBindAPI(EGL_OPENGL_API);
        m_SharedContext = eglCreateContext(m_Display, m_Config, m_Context, nullptr);
        if (m_SharedContext == EGL_NO_CONTEXT) {
            LogSend(kLogError, "OffscreenSurface -> shared context failed (0x%x)", unsigned(eglGetError()));
            return false;
        }
    }
    Backends::ReleaseOtherContexts(Backends::Api::kEgl);
    if (!eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_SharedContext)) {
        LogSend(kLogError, "OffscreenSurface -> shared context not current (0x%x)", unsigned(eglGetError()));
        return false;
    }
    return true;
}

void OffscreenSurface::DoneSharedContext() {
    if (m_Display == EGL_NO_DISPLAY) return;
    if (eglGetCurrentContext() == m_SharedContext) {
        // Uploads must be complete before another context samples them.
        glFinish();
        eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
}

}  // namespace

namespace Backends {

GLSurface* CreateEglOffscreenSurface() { return new OffscreenSurface; }

void ReleaseCurrentEglContext() {
    if (eglGetCurrentContext() != EGL_NO_CONTEXT)
        eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace Backends

}  // namespace Zyn
