// zyn-demo-pack: writes zyn-demo's pack at build time.
//   zyn-demo-pack SCENE.pac WORK_DIR OUT.pac
// Exit status: 0 written, 1 failed, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <memory>

#include <zyn/core/Root.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/platform/WindowSystem.h>

#include "DemoContent.h"
#include "DemoPackBuilder.h"
#include "ToolOutput.h"

namespace {

const char* const kUsage = "Usage: zyn-demo-pack SCENE.pac WORK_DIR OUT.pac\n";

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-demo-pack");
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "%s"
            "Writes zyn-demo's pack: its texts, logo images rendered from the trophy sheet\n"
            "and the textures and effects it reuses from the scene's pack.\n",
            kUsage);
        return ZynTool::kExitOk;
    }
    if (argc != 4)
        return ZynTool::Usage("give the scene's pack, a work folder and the pack to write", kUsage);
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->m_LogLevel = Zyn::kLogWarning;

    // The logos are drawn offscreen at their own size.
    std::unique_ptr<Zyn::GLSurface> surface(Zyn::CreateOffscreenSurface());
    Zyn::WindowSystem::SetSurface(surface.get());
    Zyn::AppSettings settings;
    settings.screenWidth = settings.appWidth = Demo::kLogoWidth;
    settings.screenHeight = settings.appHeight = Demo::kLogoHeight;
    settings.appName = "zyn-demo-pack";
    settings.windowed = true;
    bool ok = false;
    if (!root->Init(settings))
        ZynTool::Error("cannot create an offscreen GL context");
    else
        ok = Demo::BuildDemoPack(argv[1], argv[2], argv[3]);
    // Textures and packages go while the context still exists.
    root->Release();
    Zyn::WindowSystem::SetSurface(nullptr);
    surface.reset();
    return ok ? ZynTool::kExitOk : ZynTool::kExitFailed;
}
