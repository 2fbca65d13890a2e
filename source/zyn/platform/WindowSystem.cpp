#include <zyn/platform/WindowSystem.h>

#include <zyn/core/Root.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/GLSurface.h>

namespace Zyn {
namespace WindowSystem {

namespace Globals {
void* g_Hwnd = nullptr;
}  // namespace Globals

namespace {

bool g_bCloseRequested = false;

class WindowLayer : public IWindowLayer {
public:
    bool Init(AppSettings* settings) override { return WindowSystem::Init(settings); }
    bool ReInit(AppSettings* settings) override { return WindowSystem::ReInit(settings); }
    bool Destroy() override { return WindowSystem::Destroy(); }
    void* GetHandle() override { return WindowSystem::GetHandle(); }
    void ShowMouseCursor(bool show) override { WindowSystem::ShowMouseCursor(show); }
};

WindowLayer g_Layer;

// Plugged in at load time, like the renderer, so that Root::Init reaches
// the surface whatever the host does first.
[[maybe_unused]] const bool g_bInstalled = (Root::SetWindowLayer(&g_Layer), true);

}  // namespace

float GetContentScale() {
    const GLSurface* surface = GetSurface();
    return surface ? surface->GetContentScale() : 1.f;
}

bool Init(AppSettings*) { return true; }

bool ReInit(AppSettings*) { return true; }

bool Destroy() {
    g_bCloseRequested = true;
    return true;
}

void* GetHandle() { return Globals::g_Hwnd; }

void ShowMouseCursor(bool show) {
    if (GLSurface* surface = GetSurface()) surface->ShowCursor(show);
}

bool SuggestWidescreen() { return true; }

void Sleep(unsigned ms) { SleepMicroseconds(long(ms) * 1000); }

void SetSurface(GLSurface* surface) { Globals::g_Hwnd = surface; }

GLSurface* GetSurface() { return static_cast<GLSurface*>(Globals::g_Hwnd); }

bool IsCloseRequested() { return g_bCloseRequested; }

void ClearCloseRequest() { g_bCloseRequested = false; }

}  // namespace WindowSystem
}  // namespace Zyn
