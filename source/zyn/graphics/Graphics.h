// The drawing layer: free functions over one process-wide OpenGL state. Every
// quad of a frame goes through one batch that is flushed with a single indexed
// draw whenever a state changes and at the end of the frame. All functions
// belong to the thread that owns the GL context (the frame thread); only
// OglContextScope is meant for the loader's worker thread.
#pragma once

#include <zyn/core/Types.h>

namespace Zyn {

class GLSurface;

/// One GL texture. Created with new and destroyed by the texture functions
/// (ReleaseTexture); the renderer only binds it.
struct TextureRecord {
    u32 glName = 0;
    u32 width = 0;
    u32 height = 0;
    bool mipmapped = false;
    // Mipmapped records only: the size GL gave level 0 (GLU may have
    // rescaled it), the minifying filter asked for, and the one the GL
    // object has now (the batch swaps in plain bilinear filtering for quads
    // that only ever sample level 0).
    u32 levelWidth = 0;
    u32 levelHeight = 0;
    s32 minFilter = 0;
    s32 activeMinFilter = 0;
};

/// Borrowed pointer to a TextureRecord; null means "no texture". Copying a
/// handle never copies or frees the record.
class TexHandle {
public:
    constexpr TexHandle(TextureRecord* record = nullptr) : m_pRecord(record) {}
    TextureRecord* Get() const { return m_pRecord; }
    TextureRecord* operator->() const { return m_pRecord; }
    bool IsNull() const { return m_pRecord == nullptr; }
    /// True when the handle is not null and glIsTexture accepts its name
    /// (needs a current context).
    bool IsOk() const;
    bool operator==(const TexHandle& o) const { return m_pRecord == o.m_pRecord; }
    bool operator!=(const TexHandle& o) const { return m_pRecord != o.m_pRecord; }

private:
    TextureRecord* m_pRecord;
};

/// 24 bytes in the order of GL_T2F_C4UB_V3F. The colour is the framework's
/// 0xAARRGGBB; the batch exchanges red and blue when it copies the vertex.
struct BasicVertex {
    float u;
    float v;
    Color color;
    float x;
    float y;
    float z;
};
static_assert(sizeof(BasicVertex) == 24, "BasicVertex must match GL_T2F_C4UB_V3F");

/// Values outside the table are recorded but issue no blend function.
enum BlendMode : s32 { BLEND_NONE = 0, BLEND_ALPHA = 1, BLEND_ADDITIVE = 2, BLEND_KEEP_DEST = 3 };

/// 1-8 map in order to GL_NEVER..GL_ALWAYS; 0 and values above 8 issue nothing.
enum CompareFunc : s32 {
    CMP_NONE = 0,
    CMP_NEVER = 1,
    CMP_LESS = 2,
    CMP_EQUAL = 3,
    CMP_LEQUAL = 4,
    CMP_GREATER = 5,
    CMP_NOTEQUAL = 6,
    CMP_GEQUAL = 7,
    CMP_ALWAYS = 8
};

/// RENDER_NONE is set at the start of each frame; RENDER_2D is the only mode drawn.
enum RenderMode : s32 { RENDER_NONE = 0, RENDER_2D = 1 };

/// 4 x 4 matrix, 16 floats in OpenGL column-major order.
struct Transform {
    float m[16];
    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    static Transform Identity() { return Transform{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }
};

namespace Graphics {

/// Vertices the store holds and the most one batch uses.
constexpr int kVertexStoreSize = 4000;
constexpr int kBatchVertices = 1000;
constexpr int kIndexCount = 6000;

namespace Globals {
struct AlphaTestState {
    bool enabled;
    u8 reference;
    CompareFunc func;
};
struct ZBufferState {
    CompareFunc func;
    bool testEnabled;
    bool writeEnabled;
};

/// The batch's vertex store (kVertexStoreSize vertices) and index array
/// (kIndexCount entries); owned by the renderer, allocated by Init, freed by ShutDown.
extern BasicVertex* g_LockedQuadBuffer;
extern u16* g_IndexBuffer;
/// Vertices waiting in the batch: a multiple of 4, at most kBatchVertices.
extern s32 g_BufferPos;
extern TexHandle g_pCurTexture;
extern bool g_bClipEnabled;
extern Rect<float> g_ClipRect;
extern BlendMode g_BlendMode;
extern RenderMode g_RenderMode;
extern AlphaTestState g_AlphaTestState;
extern ZBufferState g_ZBufferState;
extern s32 g_AppScreenWidth;
extern s32 g_AppScreenHeight;
/// Logical size of the application screen, recorded by ReInit.
extern s32 g_AppWidth;
extern s32 g_AppHeight;
extern bool g_bFullScreen;
/// Borrowed from the window layer; survives re-initialisations.
extern GLSurface* g_pSurface;
}  // namespace Globals

/// Counts of what the renderer asked of GL, for tests and profiling.
struct DebugCounters {
    u32 flushes;     // _FlushRender calls that drew
    u32 drawCalls;   // glDrawElements issued
    u32 quadsDrawn;  // quads sent to GL
    u32 stateCalls;  // GL state calls issued by the state setters
};
DebugCounters GetDebugCounters();
void ResetDebugCounters();

// Set-up and frame.

/// First initialisation. `handle` is the window layer's GLSurface*; borrowed,
/// it must outlive the renderer's use of it. False (logged) when there is no
/// surface or its context cannot be created.
[[nodiscard]] bool Init(void* handle, const AppSettings& settings);
/// Creates the context on the surface, or keeps it (and the textures) and
/// adapts it to the new size; makes it current and sets the fixed GL states.
[[nodiscard]] bool ReInit(void* handle, const AppSettings& settings);
/// Frees the vertex store and the index array; the surface stays.
bool ShutDown();
/// The surface drawn into; borrowed, null before Init.
GLSurface* GetSurface();

bool BeginRendering();
/// Flushes the batch and presents the frame.
bool EndRendering();
void _SwapBuffers();
void SetupOpenGLStates(const AppSettings& settings);
void setVSync(int interval);
/// Logs a pending GL error at level 2 as "OPENGL err: %s".
void reportOGLError();
bool HandleFullscrenChange(bool fullScreen);
void ActivateNotify(bool active);
/// Maps a mouse position in window pixels (y down) to the logical screen of
/// the current projection and viewport, in place.
void TweakMousePos(int* x, int* y);
void SetProjection3D(float fov, float aspect);

/// Makes a context that shares textures with the main one current on the
/// calling (worker) thread for the scope's lifetime. IsOk() is false when no
/// shared context could be made current; GL calls must then be skipped.
class OglContextScope {
public:
    OglContextScope();
    ~OglContextScope();
    OglContextScope(const OglContextScope&) = delete;
    OglContextScope& operator=(const OglContextScope&) = delete;
    bool IsOk() const { return m_pSurface != nullptr; }

private:
    GLSurface* m_pSurface;  // borrowed; null when nothing was made current
};

/// True on a thread that holds an OglContextScope with its context current.
/// Texture functions called there leave the frame thread's renderer state alone.
bool IsInContextScope();

// States: each compares with its cache first; an unchanged value neither
// flushes nor calls GL.

/// False when the handle is already current.
bool SetTexture(TexHandle texture);
void SetBlendingMode(BlendMode mode);
void SetRenderMode(RenderMode mode);
bool SupportsRenderMode(RenderMode mode);
void SetAlphaTestMode(bool enable, u8 reference, CompareFunc func);
void SetZBufferMode(bool testEnable, bool writeEnable, CompareFunc func);

// Projection, viewport, transform, clipping: each flushes first.

/// x = 0..width left to right, y = 0..height top to bottom, z = 0 (near)..1 (far).
void SetProjection2D(int width, int height);
/// The logical rectangle [left, right] x [top, bottom] fills the viewport
/// (y down, z as above); an empty rectangle is refused (logged).
void SetProjection2D(float left, float top, float right, float bottom);
/// A rectangle of negative extent is ignored.
bool SetScreenViewport(const Rect<short>& rect);
void ResetSceneTransform();
void TransformScene2D_Move(float dx, float dy);
void TransformScene2D_Scale(float sx, float sy);
/// Radians; positive angles turn counter-clockwise on the y-down screen.
void TransformScene2D_Rotate(float cx, float cy, float angle);
void SetTransform(const Transform& t);
Transform GetTransform();
void ApplyTransform(const Transform& t);
/// p := M * (p, 1) with M the current scene transform; no division.
void TransformPoint(Point3D<float>& p);
/// Clips to the rectangle, read in the coordinates of the scene transform in
/// force now and after every later transform change; null switches it off.
bool SetClipping2D(const Rect<float>* rect);

// Drawing.

/// Copies quadCount quads (4 vertices each) into the batch; the caller's
/// array is not changed. Ignored (logged) before Init.
void RenderQuads(const BasicVertex* vertices, unsigned quadCount);
void _FlushRender();
/// The batch's copy step: copies vertexCount vertices and exchanges red and
/// blue so that the colours reach GL as bytes R, G, B, A. The ranges must not overlap.
void CopyConvertVertices(BasicVertex* dst, const BasicVertex* src, unsigned vertexCount);
/// A quad of `color` at depth z over the logical screen and whatever more of
/// it the projection shows; with beyondScreen, far beyond the screen.
void Clear(Color color, float z, bool beyondScreen);
bool ClearScreenViewport(Color color, bool useColor, float depth, bool clearDepth);
void DrawRect(float x1, float y1, float x2, float y2, float z, Color color, float tu1, float tv1, float tu2,
              float tv2);
/// A texture of width x height placed at (originX, originY) shows through the rectangle.
void DrawScreenMappedRect(float x1, float y1, float x2, float y2, float z, Color color, float width,
                          float height, float originX, float originY);
/// One-pixel outline drawn as four quads.
void DrawEmptyRect(float x1, float y1, float x2, float y2, float z, Color color);

}  // namespace Graphics
}  // namespace Zyn
