// The renderer: GL states and their caches, the projection and scene
// transform, clipping, the quad batch, and the glue to the platform's
// GLSurface. Plugged into Root as its graphics layer at static initialisation.
#include <zyn/graphics/Graphics.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include <zyn/core/Log.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/internal/GraphicsGL.h>
#include <zyn/platform/GLSurface.h>

namespace Zyn {
namespace Graphics {

namespace Globals {
BasicVertex* g_LockedQuadBuffer = nullptr;
u16* g_IndexBuffer = nullptr;
s32 g_BufferPos = 0;
TexHandle g_pCurTexture;
bool g_bClipEnabled = false;
Rect<float> g_ClipRect;
BlendMode g_BlendMode = BLEND_NONE;
RenderMode g_RenderMode = RENDER_NONE;
AlphaTestState g_AlphaTestState = {false, 0, CMP_NONE};
ZBufferState g_ZBufferState = {CMP_NONE, false, false};
s32 g_AppScreenWidth = 0;
s32 g_AppScreenHeight = 0;
s32 g_AppWidth = 0;
s32 g_AppHeight = 0;
bool g_bFullScreen = false;
GLSurface* g_pSurface = nullptr;
}  // namespace Globals

using namespace Globals;

namespace {

DebugCounters g_Counters = {0, 0, 0, 0};

// What TweakMousePos maps through: the last projection and viewport issued.
// The logical rectangle the projection shows.
float g_ProjLeft = 0.f;
float g_ProjTop = 0.f;
float g_ProjWidth = 0.f;
float g_ProjHeight = 0.f;
Rect<short> g_Viewport;

// RenderQuads before Init is logged once per initialisation, not per call.
bool g_bReportedNoStore = false;

// A quad of a mipmapped texture drawn at about its texels' size or larger
// samples level 0 alone, whatever mipmap filter is set, yet a software
// rasteriser pays for the mipmap filter on every pixel. Such quads go into
// batches of their own, drawn with plain bilinear filtering: the same pixels
// for a good deal less work.
bool g_bBatchAtLevelZero = false;
// Logical units to window pixels: the linear part of the scene transform,
// projection and viewport (row-major 2 x 2), read back when first needed
// after any of them changed.
float g_PixelMap[4] = {0.f, 0.f, 0.f, 0.f};
bool g_bPixelMapValid = false;

void InvalidatePixelMap() { g_bPixelMapValid = false; }

const float* PixelMap() {
    if (!g_bPixelMapValid) {
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        const float sx = g_ProjWidth > 0.f ? float(g_Viewport.x2 - g_Viewport.x1) / g_ProjWidth : 0.f;
        const float sy = g_ProjHeight > 0.f ? float(g_Viewport.y2 - g_Viewport.y1) / g_ProjHeight : 0.f;
        g_PixelMap[0] = sx * m[0];
        g_PixelMap[1] = sx * m[4];
        g_PixelMap[2] = sy * m[1];
        g_PixelMap[3] = sy * m[5];
        g_bPixelMapValid = true;
    }
    return g_PixelMap;
}

// The square of the texels of level 0 per window pixel at corner `o` of a
// quad whose neighbouring corners are `a` and `b`: the larger of the two
// lengths GL takes the level of detail from (d(u,v)/dx and d(u,v)/dy).
float TexelsPerPixelSq(const BasicVertex& o, const BasicVertex& a, const BasicVertex& b, const float* map,
                       float texWidth, float texHeight) {
    const float ax = a.x - o.x, ay = a.y - o.y, bx = b.x - o.x, by = b.y - o.y;
    const float e1x = map[0] * ax + map[1] * ay, e1y = map[2] * ax + map[3] * ay;
    const float e2x = map[0] * bx + map[1] * by, e2y = map[2] * bx + map[3] * by;
    const float det = e1x * e2y - e2x * e1y;
    if (!(std::fabs(det) > 1e-6f)) return INFINITY;
    const float t1u = (a.u - o.u) * texWidth, t1v = (a.v - o.v) * texHeight;
    const float t2u = (b.u - o.u) * texWidth, t2v = (b.v - o.v) * texHeight;
    const float dudx = (t1u * e2y - t2u * e1y) / det, dvdx = (t1v * e2y - t2v * e1y) / det;
    const float dudy = (t2u * e1x - t1u * e2x) / det, dvdy = (t2v * e1x - t1v * e2x) / det;
    return std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
}

// Whether GL would sample only level 0 for the whole quad. At most one texel
// per pixel (level of detail 0) is magnification; a filter that takes the
// nearest level keeps level 0 up to sqrt(2) texels per pixel (0.5). Both
// bounds keep a small margin for the rasteriser's rounding.
bool SamplesLevelZeroOnly(const BasicVertex* q, const TextureRecord& tex) {
    if (tex.levelWidth == 0 || tex.levelHeight == 0) return false;
    const float limit = tex.minFilter == GL_LINEAR_MIPMAP_NEAREST ? 1.96f : 0.98f;
    const float* map = PixelMap();
    const float w = float(tex.levelWidth), h = float(tex.levelHeight);
    return TexelsPerPixelSq(q[0], q[1], q[3], map, w, h) <= limit &&
           TexelsPerPixelSq(q[2], q[3], q[1], map, w, h) <= limit;
}

const GLenum kCompareFuncs[8] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                 GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};

bool IsIssuedFunc(CompareFunc f) { return f >= CMP_NEVER && f <= CMP_ALWAYS; }

// Red and blue change places: the framework's 0xAARRGGBB (bytes B, G, R, A in
// memory) must reach GL_C4UB as bytes R, G, B, A.
inline u32 SwapRedBlue(u32 c) { return (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16); }

void IssueClipPlanes() {
    const Rect<float>& r = g_ClipRect;
    const GLdouble planes[4][4] = {{1.0, 0.0, 0.0, -double(r.x1)},
                                   {-1.0, 0.0, 0.0, double(r.x2)},
                                   {0.0, 1.0, 0.0, -double(r.y1)},
                                   {0.0, -1.0, 0.0, double(r.y2)}};
    for (int i = 0; i < 4; ++i) ZYN_GL(glClipPlane(GLenum(GL_CLIP_PLANE0 + i), planes[i]));
}

void ReissueClipPlanes() {
    if (g_bClipEnabled) IssueClipPlanes();
}

void SetQuad(BasicVertex* q, float x1, float y1, float x2, float y2, float z, Color c, float tu1, float tv1,
             float tu2, float tv2) {
    q[0] = {tu1, tv1, c, x1, y1, z};
    q[1] = {tu2, tv1, c, x2, y1, z};
    q[2] = {tu2, tv2, c, x2, y2, z};
    q[3] = {tu1, tv2, c, x1, y2, z};
}

void DeclareVertexArrays() {
    if (g_LockedQuadBuffer) ZYN_GL(glInterleavedArrays(GL_T2F_C4UB_V3F, 0, g_LockedQuadBuffer));
}

// Root reaches the renderer through this adapter.
class GraphicsLayer : public IGraphicsLayer {
public:
    bool Init(void* window, AppSettings& settings) override { return Graphics::Init(window, settings); }
    bool ReInit(void* window, AppSettings& settings) override { return Graphics::ReInit(window, settings); }
    void ShutDown() override { Graphics::ShutDown(); }
    void ActivateNotify(bool active) override { Graphics::ActivateNotify(active); }
    void TweakMousePos(int& x, int& y) override { Graphics::TweakMousePos(&x, &y); }
};

GraphicsLayer g_GraphicsLayer;

// Every program that links libzyn gets the renderer as Root's graphics layer.
const bool g_bLayerRegistered = (Root::SetGraphicsLayer(&g_GraphicsLayer), true);

}  // namespace

void CheckGLError(const char* call, const char* file, int line) {
    // A bounded loop: without a context some drivers keep answering an error.
    for (int i = 0; i < 8; ++i) {
        const GLenum err = glGetError();
        if (err == GL_NO_ERROR) return;
        LogSend(kLogWarning, "GL error %s after %s (%s:%d)",
                reinterpret_cast<const char*>(gluErrorString(err)), call, file, line);
    }
}

// Two vertices are twelve words, three 16-byte vectors: the colours are lane 2
// of the first vector and lane 0 of the third. Swapping whole vectors and
// keeping only the colour lanes lets the copy run at close to memcpy speed.
void CopyConvertVertices(BasicVertex* dst, const BasicVertex* src, unsigned vertexCount) {
    static_assert(offsetof(BasicVertex, color) == 8 && sizeof(BasicVertex) == 24,
                  "colour must be word 2 of 6");
    typedef u32 U32x4 __attribute__((vector_size(16)));
    const U32x4 firstColour = {0, 0, ~0u, 0};
    const U32x4 thirdColour = {~0u, 0, 0, 0};
    const char* s = reinterpret_cast<const char*>(src);
    char* d = reinterpret_cast<char*>(dst);
    for (unsigned pair = 0; pair < vertexCount / 2; ++pair) {
        U32x4 a, b, c;
        std::memcpy(&a, s, 16);
        std::memcpy(&b, s + 16, 16);
        std::memcpy(&c, s + 32, 16);
        const U32x4 sa = (a & 0xFF00FF00u) | ((a >> 16) & 0xFFu) | ((a & 0xFFu) << 16);
        const U32x4 sc = (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
        a = (a & ~firstColour) | (sa & firstColour);
        c = (c & ~thirdColour) | (sc & thirdColour);
        std::memcpy(d, &a, 16);
        std::memcpy(d + 16, &b, 16);
        std::memcpy(d + 32, &c, 16);
        s += 48;
        d += 48;
    }
    if (vertexCount & 1) {
        BasicVertex last;
        std::memcpy(&last, s, sizeof last);
        last.color = SwapRedBlue(last.color);
        std::memcpy(d, &last, sizeof last);
    }
}

DebugCounters GetDebugCounters() { return g_Counters; }
void ResetDebugCounters() { g_Counters = {0, 0, 0, 0}; }

}  // namespace Graphics

bool TexHandle::IsOk() const { return m_pRecord && glIsTexture(m_pRecord->glName) == GL_TRUE; }

namespace Graphics {

// ---------------------------------------------------------------------------
// Set-up and frame.

bool Init(void* handle, const AppSettings& settings) {
    (void)g_bLayerRegistered;
    ScopeUtil scope(kLogInfo, "Graphics::Init");
    if (!ReInit(handle, settings)) return false;
    // A second Init keeps the arrays it already has.
    if (!g_LockedQuadBuffer) g_LockedQuadBuffer = new BasicVertex[kVertexStoreSize]();
    if (!g_IndexBuffer) {
        g_IndexBuffer = new u16[kIndexCount]();
        for (int q = 0; q < 334; ++q) {
            u16* idx = g_IndexBuffer + q * 6;
            const u16 base = u16(q * 4);
            idx[0] = base;
            idx[1] = u16(base + 1);
            idx[2] = u16(base + 2);
            idx[3] = u16(base + 2);
            idx[4] = u16(base + 3);
            idx[5] = base;
        }
    }
    g_BufferPos = 0;
    g_bReportedNoStore = false;
    reportOGLError();
    DeclareVertexArrays();
    return true;
}

bool ReInit(void* handle, const AppSettings& settings) {
    ScopeUtil scope(kLogInfo, "Graphics::ReInit");
    GLSurface* surface = static_cast<GLSurface*>(handle);
    if (!surface) {
        LogSend(kLogError, "Graphics::ReInit -> no GL surface to draw into");
        return false;
    }
    g_bFullScreen = !settings.windowed;
    g_AppScreenWidth = settings.screenWidth;
    g_AppScreenHeight = settings.screenHeight;
    g_AppWidth = settings.appWidth;
    g_AppHeight = settings.appHeight;

    // The surface keeps an existing context, so textures survive a re-initialisation.
    if (!surface->CreateContext(settings.screenWidth, settings.screenHeight)) {
        LogSend(kLogError, "Graphics::ReInit -> cannot create the GL context (%d x %d)", settings.screenWidth,
                settings.screenHeight);
        return false;
    }
    if (!surface->MakeCurrent()) {
        LogSend(kLogError, "Graphics::ReInit -> cannot make the GL context current");
        return false;
    }
    g_pSurface = surface;
    reportOGLError();
    SetupOpenGLStates(settings);
    DeclareVertexArrays();
    return true;
}

bool ShutDown() {
    ScopeUtil scope(kLogInfo, "Zyn::GLGraphics::ShutDown");
    delete[] g_LockedQuadBuffer;
    g_LockedQuadBuffer = nullptr;
    delete[] g_IndexBuffer;
    g_IndexBuffer = nullptr;
    g_BufferPos = 0;
    // The window layer owns the surface and may destroy it after this; the
    // next Init or ReInit hands it in again.
    g_pSurface = nullptr;
    g_pCurTexture = TexHandle();
    return true;
}

GLSurface* GetSurface() { return g_pSurface; }

bool BeginRendering() {
    if (!g_LockedQuadBuffer) return false;
    g_pCurTexture = TexHandle();
    g_RenderMode = RENDER_NONE;
    DeclareVertexArrays();
    return true;
}

bool EndRendering() {
    _FlushRender();
    _SwapBuffers();
    return true;
}

void _SwapBuffers() {
    if (g_pSurface) g_pSurface->SwapBuffers();
}

void SetupOpenGLStates(const AppSettings& settings) {
    ZYN_GL(glShadeModel(GL_SMOOTH));
    ZYN_GL(glEnable(GL_BLEND));
    ZYN_GL(glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));
    g_BlendMode = BLEND_ALPHA;
    g_pCurTexture = TexHandle();
    g_RenderMode = RENDER_NONE;

    ZYN_GL(glDisable(GL_DEPTH_TEST));
    ZYN_GL(glDepthMask(GL_TRUE));
    ZYN_GL(glDepthFunc(GL_LEQUAL));
    g_ZBufferState = {CMP_LEQUAL, false, true};

    ZYN_GL(glDisable(GL_ALPHA_TEST));
    ZYN_GL(glAlphaFunc(GL_GEQUAL, 5.0f / 255.0f));
    g_AlphaTestState = {false, 5, CMP_GEQUAL};

    ZYN_GL(glViewport(0, 0, settings.screenWidth, settings.screenHeight));
    g_Viewport = Rect<short>(0, 0, short(settings.screenWidth), short(settings.screenHeight));
    SetProjection2D(settings.screenWidth, settings.screenHeight);
    ResetSceneTransform();

    setVSync(settings.vsync ? 1 : 0);
}

void setVSync(int interval) {
    if (g_pSurface) g_pSurface->SetSwapInterval(interval);
}

void reportOGLError() {
    const GLenum err = glGetError();
    if (err != GL_NO_ERROR)
        LogSend(kLogInfo, "OPENGL err: %s", reinterpret_cast<const char*>(gluErrorString(err)));
}

bool HandleFullscrenChange(bool) { return true; }

void ActivateNotify(bool) {}

void TweakMousePos(int* x, int* y) {
    // The window host reports window pixels (y down); the application draws in
    // the logical units of the projection, shown through the viewport. GL
    // counts the viewport's y from the bottom of the window.
    if (!x || !y) return;
    const int vw = g_Viewport.x2 - g_Viewport.x1;
    const int vh = g_Viewport.y2 - g_Viewport.y1;
    if (vw <= 0 || vh <= 0 || g_ProjWidth <= 0 || g_ProjHeight <= 0) return;
    const int viewportTop = g_AppScreenHeight - g_Viewport.y1 - vh;
    *x = int(std::floor(g_ProjLeft + double(*x - g_Viewport.x1) * g_ProjWidth / vw));
    *y = int(std::floor(g_ProjTop + double(*y - viewportTop) * g_ProjHeight / vh));
}

void SetProjection3D(float, float) {}

namespace {
// The renderer's globals belong to the frame thread; a worker must not read them.
thread_local bool t_bInContextScope = false;
}  // namespace

OglContextScope::OglContextScope() : m_pSurface(nullptr) {
    GLSurface* surface = g_pSurface;
    if (surface && surface->MakeSharedContextCurrent()) m_pSurface = surface;
    t_bInContextScope = m_pSurface != nullptr;
}

OglContextScope::~OglContextScope() {
    if (m_pSurface) m_pSurface->DoneSharedContext();
    t_bInContextScope = false;
}

bool IsInContextScope() { return t_bInContextScope; }

// ---------------------------------------------------------------------------
// States.

bool SetTexture(TexHandle texture) {
    if (texture == g_pCurTexture) return false;
    _FlushRender();
    g_pCurTexture = texture;
    // A null handle leaves the binding alone: texturing is switched off at flush time.
    if (!texture.IsNull()) {
        ZYN_GL(glBindTexture(GL_TEXTURE_2D, texture->glName));
        ++g_Counters.stateCalls;
    }
    return true;
}

void SetBlendingMode(BlendMode mode) {
    if (mode == g_BlendMode) return;
    _FlushRender();
    g_BlendMode = mode;
    switch (mode) {
        case BLEND_ALPHA:
            ZYN_GL(glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));
            break;
        case BLEND_ADDITIVE:
            ZYN_GL(glBlendFunc(GL_SRC_ALPHA, GL_ONE));
            break;
        case BLEND_KEEP_DEST:
            ZYN_GL(glBlendFunc(GL_ZERO, GL_ONE));
            break;
        default:
            return;
    }
    ++g_Counters.stateCalls;
}

void SetRenderMode(RenderMode mode) {
    if (mode == g_RenderMode) return;
    _FlushRender();
    g_RenderMode = mode;
}

bool SupportsRenderMode(RenderMode mode) { return mode == RENDER_2D; }

void SetAlphaTestMode(bool enable, u8 reference, CompareFunc func) {
    AlphaTestState& s = g_AlphaTestState;
    if (s.enabled == enable && s.reference == reference && s.func == func) return;
    _FlushRender();
    if (s.enabled != enable) {
        if (enable)
            ZYN_GL(glEnable(GL_ALPHA_TEST));
        else
            ZYN_GL(glDisable(GL_ALPHA_TEST));
        ++g_Counters.stateCalls;
    }
    if ((s.func != func || s.reference != reference) && IsIssuedFunc(func)) {
        ZYN_GL(glAlphaFunc(kCompareFuncs[func - 1], float(reference) / 255.0f));
        ++g_Counters.stateCalls;
    }
    s = {enable, reference, func};
}

void SetZBufferMode(bool testEnable, bool writeEnable, CompareFunc func) {
    ZBufferState& s = g_ZBufferState;
    if (s.testEnabled == testEnable && s.writeEnabled == writeEnable && s.func == func) return;
    _FlushRender();
    if (s.testEnabled != testEnable) {
        if (testEnable)
            ZYN_GL(glEnable(GL_DEPTH_TEST));
        else
            ZYN_GL(glDisable(GL_DEPTH_TEST));
        ++g_Counters.stateCalls;
    }
    if (s.writeEnabled != writeEnable) {
        ZYN_GL(glDepthMask(writeEnable ? GL_TRUE : GL_FALSE));
        ++g_Counters.stateCalls;
    }
    if (s.func != func && IsIssuedFunc(func)) {
        ZYN_GL(glDepthFunc(kCompareFuncs[func - 1]));
        ++g_Counters.stateCalls;
    }
    s = {func, testEnable, writeEnable};
}

// ---------------------------------------------------------------------------
// Projection, viewport, transform, clipping.

void SetProjection2D(int width, int height) { SetProjection2D(0.f, 0.f, float(width), float(height)); }

void SetProjection2D(float left, float top, float right, float bottom) {
    _FlushRender();
    // glOrtho refuses an empty volume and would leave a half-built matrix.
    if (!(right > left) || !(bottom > top)) {
        LogSend(kLogError, "Graphics::SetProjection2D -> bad size %g x %g", double(right - left),
                double(bottom - top));
        return;
    }
    const float height = bottom - top;
    ZYN_GL(glMatrixMode(GL_PROJECTION));
    ZYN_GL(glLoadIdentity());
    ZYN_GL(glOrtho(double(left), double(right), 0.0, double(height), 0.0, 1.0));
    // Flip y so that it runs down the screen, and z so that 0 is nearest.
    ZYN_GL(glScalef(1.0f, -1.0f, -1.0f));
    ZYN_GL(glTranslatef(0.0f, -bottom, 0.0f));
    ZYN_GL(glMatrixMode(GL_MODELVIEW));
    InvalidatePixelMap();
    g_ProjLeft = left;
    g_ProjTop = top;
    g_ProjWidth = right - left;
    g_ProjHeight = height;
    ReissueClipPlanes();
}

bool SetScreenViewport(const Rect<short>& r) {
    _FlushRender();
    if (r.x2 < r.x1 || r.y2 < r.y1) return true;
    ZYN_GL(glViewport(r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1));
    g_Viewport = r;
    InvalidatePixelMap();
    return true;
}

void ResetSceneTransform() {
    _FlushRender();
    ZYN_GL(glLoadIdentity());
    ReissueClipPlanes();
    InvalidatePixelMap();
}

void TransformScene2D_Move(float dx, float dy) {
    _FlushRender();
    ZYN_GL(glTranslatef(dx, dy, 0.0f));
    ReissueClipPlanes();
    InvalidatePixelMap();
}

void TransformScene2D_Scale(float sx, float sy) {
    _FlushRender();
    ZYN_GL(glScalef(sx, sy, 1.0f));
    ReissueClipPlanes();
    InvalidatePixelMap();
}

void TransformScene2D_Rotate(float cx, float cy, float angle) {
    _FlushRender();
    ZYN_GL(glTranslatef(cx, cy, 0.0f));
    // About -z: on the y-down screen a positive angle turns counter-clockwise.
    const float degrees = float(double(angle * 180.0f) * (1.0 / M_PI));
    ZYN_GL(glRotatef(degrees, 0.0f, 0.0f, -1.0f));
    ZYN_GL(glTranslatef(-cx, -cy, 0.0f));
    ReissueClipPlanes();
    InvalidatePixelMap();
}

void SetTransform(const Transform& t) {
    _FlushRender();
    ZYN_GL(glLoadMatrixf(t.m));
    ReissueClipPlanes();
    InvalidatePixelMap();
}

Transform GetTransform() {
    Transform t = Transform::Identity();
    ZYN_GL(glGetFloatv(GL_MODELVIEW_MATRIX, t.m));
    return t;
}

void ApplyTransform(const Transform& t) {
    _FlushRender();
    ZYN_GL(glMultMatrixf(t.m));
    InvalidatePixelMap();
}

void TransformPoint(Point3D<float>& p) {
    const Transform t = GetTransform();
    const float x = p.x, y = p.y, z = p.z;
    p.x = t[0] * x + t[4] * y + t[8] * z + t[12];
    p.y = t[1] * x + t[5] * y + t[9] * z + t[13];
    p.z = t[2] * x + t[6] * y + t[10] * z + t[14];
}

bool SetClipping2D(const Rect<float>* rect) {
    _FlushRender();
    if (rect) {
        g_ClipRect = *rect;
        g_bClipEnabled = true;
        for (int i = 0; i < 4; ++i) ZYN_GL(glEnable(GLenum(GL_CLIP_PLANE0 + i)));
        IssueClipPlanes();
    } else {
        g_bClipEnabled = false;
        for (int i = 0; i < 4; ++i) ZYN_GL(glDisable(GLenum(GL_CLIP_PLANE0 + i)));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Drawing.

namespace {
void AppendQuads(const BasicVertex* vertices, unsigned quadCount) {
    unsigned freeQuads = unsigned(kBatchVertices - g_BufferPos) / 4;
    // "<=": a batch that becomes exactly full is drawn at once.
    while (freeQuads <= quadCount) {
        CopyConvertVertices(g_LockedQuadBuffer + g_BufferPos, vertices, freeQuads * 4);
        g_BufferPos += s32(freeQuads * 4);
        vertices += freeQuads * 4;
        quadCount -= freeQuads;
        _FlushRender();
        freeQuads = unsigned(kBatchVertices - g_BufferPos) / 4;
    }
    CopyConvertVertices(g_LockedQuadBuffer + g_BufferPos, vertices, quadCount * 4);
    g_BufferPos += s32(quadCount * 4);
}
}  // namespace

void RenderQuads(const BasicVertex* vertices, unsigned quadCount) {
    if (quadCount == 0) return;
    if (!vertices) {
        LogSend(kLogError, "Graphics::RenderQuads -> null vertex array for %u quads", quadCount);
        return;
    }
    if (!g_LockedQuadBuffer) {
        if (!g_bReportedNoStore) LogSend(kLogError, "Graphics::RenderQuads -> called before Graphics::Init");
        g_bReportedNoStore = true;
        return;
    }
    const TextureRecord* tex = g_pCurTexture.Get();
    if (!tex || !tex->mipmapped) {
        AppendQuads(vertices, quadCount);
        return;
    }
    // Runs of quads that sample level 0 alone, and runs that may not, each
    // in batches of their own; the order of the quads stays as given.
    unsigned start = 0;
    bool levelZero = SamplesLevelZeroOnly(vertices, *tex);
    while (start < quadCount) {
        unsigned end = start + 1;
        bool next = levelZero;
        while (end < quadCount && (next = SamplesLevelZeroOnly(vertices + end * 4, *tex)) == levelZero) ++end;
        if (g_BufferPos > 0 && levelZero != g_bBatchAtLevelZero) _FlushRender();
        g_bBatchAtLevelZero = levelZero;
        AppendQuads(vertices + start * 4, end - start);
        start = end;
        levelZero = next;
    }
}

void _FlushRender() {
    if (!g_LockedQuadBuffer || g_BufferPos <= 0) return;
    const bool textured = !g_pCurTexture.IsNull();
    if (textured) {
        ZYN_GL(glEnable(GL_TEXTURE_2D));
        TextureRecord* tex = g_pCurTexture.Get();
        if (tex->mipmapped) {
            const s32 filter = g_bBatchAtLevelZero ? s32(GL_LINEAR) : tex->minFilter;
            if (filter != 0 && filter != tex->activeMinFilter) {
                ZYN_GL(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter));
                tex->activeMinFilter = filter;
                ++g_Counters.stateCalls;
            }
        }
    } else {
        ZYN_GL(glDisable(GL_TEXTURE_2D));
    }
    const GLsizei indexCount = g_BufferPos / 4 * 6;
    ZYN_GL(glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, g_IndexBuffer));
    if (textured) ZYN_GL(glDisable(GL_TEXTURE_2D));
    ++g_Counters.flushes;
    ++g_Counters.drawCalls;
    g_Counters.quadsDrawn += u32(g_BufferPos / 4);
    g_BufferPos = 0;
}

// Whether drawing the clear quad in `color` would set every pixel of the
// window to that colour and nothing else: opaque, blended over (not added),
// no test that could reject it, the scene untransformed and the viewport the
// whole window. GL's own clear then gives the same pixels for a fraction of
// the cost: a software rasteriser would shade and blend the whole window.
bool ClearQuadIsWholeWindow(Color color) {
    if (color.A() != 255 || g_BlendMode != BLEND_ALPHA || g_AlphaTestState.enabled || g_ZBufferState.testEnabled ||
        g_bClipEnabled || !g_pSurface)
        return false;
    if (g_Viewport.x1 != 0 || g_Viewport.y1 != 0 || g_Viewport.x2 != g_pSurface->GetWidth() ||
        g_Viewport.y2 != g_pSurface->GetHeight())
        return false;
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i)
        if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
    return true;
}

void Clear(Color color, float z, bool beyondScreen) {
    if (ClearQuadIsWholeWindow(color)) {
        // The quad's texture would have been unbound too.
        SetTexture(TexHandle());
        _FlushRender();
        ZYN_GL(glClearColor(color.R() / 255.0f, color.G() / 255.0f, color.B() / 255.0f, 1.0f));
        ZYN_GL(glClear(GL_COLOR_BUFFER_BIT));
        return;
    }
    SetTexture(TexHandle());
    BasicVertex q[4];
    if (beyondScreen) {
        // Far enough out to cover the screen under any moderate scene transform.
        const float far = 1000000.0f;
        SetQuad(q, -far, -far, float(g_AppScreenWidth) + far, float(g_AppScreenHeight) + far, z, color, 0, 0,
                0, 0);
    } else {
        // The logical screen, and whatever more of the scene the projection
        // shows around it on a window of another shape.
        const float left = std::min(0.0f, g_ProjLeft);
        const float top = std::min(0.0f, g_ProjTop);
        const float right = std::max(float(g_AppWidth), g_ProjLeft + g_ProjWidth);
        const float bottom = std::max(float(g_AppHeight), g_ProjTop + g_ProjHeight);
        SetQuad(q, left, top, right, bottom, z, color, 0, 0, 0, 0);
    }
    RenderQuads(q, 1);
}

bool ClearScreenViewport(Color c, bool useColor, float depth, bool clearDepth) {
    _FlushRender();
    if (useColor)
        ZYN_GL(glClearColor(c.R() / 255.0f, c.G() / 255.0f, c.B() / 255.0f, c.A() / 255.0f));
    else
        ZYN_GL(glClearColor(0.0f, 0.0f, 0.0f, 0.0f));
    if (clearDepth) {
        ZYN_GL(glDepthMask(GL_TRUE));
        ZYN_GL(glClearDepth(double(depth)));
        ZYN_GL(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
        ZYN_GL(glDepthMask(g_ZBufferState.writeEnabled ? GL_TRUE : GL_FALSE));
    } else {
        ZYN_GL(glClear(GL_COLOR_BUFFER_BIT));
    }
    return true;
}

void DrawRect(float x1, float y1, float x2, float y2, float z, Color color, float tu1, float tv1, float tu2,
              float tv2) {
    BasicVertex q[4];
    SetQuad(q, x1, y1, x2, y2, z, color, tu1, tv1, tu2, tv2);
    RenderQuads(q, 1);
}

void DrawScreenMappedRect(float x1, float y1, float x2, float y2, float z, Color color, float width,
                          float height, float originX, float originY) {
    if (!(width > 0.0f) || !(height > 0.0f)) {
        LogSend(kLogError, "Graphics::DrawScreenMappedRect -> bad texture size %g x %g", double(width),
                double(height));
        return;
    }
    const float rw = 1.0f / width;
    const float rh = 1.0f / height;
    BasicVertex q[4];
    SetQuad(q, x1, y1, x2, y2, z, color, (x1 - originX) * rw, (y1 - originY) * rh, (x2 - originX) * rw,
            (y2 - originY) * rh);
    RenderQuads(q, 1);
}

void DrawEmptyRect(float x1, float y1, float x2, float y2, float z, Color color) {
    BasicVertex q[4];
    SetQuad(q, x1, y1, x2, y1 + 1.0f, z, color, 0, 0, 1, 1);
    RenderQuads(q, 1);
    SetQuad(q, x1, y2, x2 + 1.0f, y2 + 1.0f, z, color, 0, 0, 1, 1);
    RenderQuads(q, 1);
    SetQuad(q, x1, y1, x1 + 1.0f, y2, z, color, 0, 0, 1, 1);
    RenderQuads(q, 1);
    SetQuad(q, x2, y1, x2 + 1.0f, y2, z, color, 0, 0, 1, 1);
    RenderQuads(q, 1);
}

}  // namespace Graphics
}  // namespace Zyn
