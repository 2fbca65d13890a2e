#include "DemoRun.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/io/PacPackage.h>
#include <zyn/platform/Clock.h>
#include <zyn/graphics/image/ContactSheet.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/platform/WindowSurface.h>

#include "Autopilot.h"
#include "DemoApp.h"
#include "DemoContent.h"
#include "HeadlessRecorder.h"
#include "StageSheet.h"
#include "ToolOutput.h"

namespace fs = std::filesystem;

using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;

namespace Demo {

namespace {

const int kKeyEscape = 27;
const long kWindowFrameMicroseconds = 16667;

// The framework around one run: the surface handed to the window layer,
// Root initialised on it, the pack mounted and the language set. The
// destructor tears it down while the GL context still exists.
class DemoContext {
public:
    explicit DemoContext(Zyn::GLSurface* surface) { Zyn::WindowSystem::SetSurface(surface); }
    ~DemoContext() {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        if (m_pApp) {
            root->ProcessSystemEvent(4, 0, 0);
            root->RemoveObject(m_pApp, Zyn::Root::kUpdate);
        }
        root->Release();
        Zyn::WindowSystem::SetSurface(nullptr);
    }
    DemoContext(const DemoContext&) = delete;
    DemoContext& operator=(const DemoContext&) = delete;

    /// Root::Init with the screen size and the demo's logical size, then the
    /// pack and the texts. False after a message.
    bool Init(int screenW, int screenH, const std::string& packPath) {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        m_Settings.screenWidth = screenW;
        m_Settings.screenHeight = screenH;
        // Layers draw in this size whatever the window's: the renderer scales.
        m_Settings.appWidth = kAppWidth;
        m_Settings.appHeight = kAppHeight;
        m_Settings.appName = "zyn-demo";
        m_Settings.windowed = true;
        if (!root->Init(m_Settings)) {
            Error("cannot create an OpenGL context (see the messages above)");
            return false;
        }
        Zyn::PacPackage* pack = new Zyn::PacPackage(packPath.c_str());
        // The Root takes the package: it is released with the Root's groups.
        root->InsertObject(pack, Zyn::Root::kPackages, 0, nullptr);
        if (pack->GetDirectory().empty()) {
            Error("cannot read the pack " + packPath);
            return false;
        }
        root->SetLanguage(kLanguage);
        if (!root->IsStringDefined("title")) {
            Error(packPath + " holds no usable " + StringTableName());
            return false;
        }
        return true;
    }

    /// Re-initialises Root for a new window size.
    bool Resize(int screenW, int screenH) {
        m_Settings.screenWidth = screenW;
        m_Settings.screenHeight = screenH;
        return Zyn::Singleton<Zyn::Root>::Get()->Init(m_Settings);
    }

    /// Creates the demo, puts it into Root's update group and activates Root.
    /// Borrowed result; null after a message.
    DemoApp* StartDemo(bool lockstep) {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        DemoApp* app = new DemoApp(kSecondsPerTask, lockstep);
        root->InsertObject(app, Zyn::Root::kUpdate, 0, nullptr);
        m_pApp = app;
        if (!app->Start()) {
            Error("cannot start the demo (see the messages above)");
            return nullptr;
        }
        // Activation: Root ignores updates until the window is active.
        root->ProcessSystemEvent(4, 1, 0);
        return app;
    }

private:
    Zyn::AppSettings m_Settings;
    DemoApp* m_pApp = nullptr;  // held by Root's update group
};

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The pack's path, or empty after a message.
std::string FindPack(const DemoOptions& options) {
    const std::string folder = ChooseDataFolder(options);
    const std::string pack = (fs::path(folder) / kPackName).string();
    if (IsRegularFile(pack)) return pack;
    Error(std::string(kPackName) + " is missing from the data folder " + folder +
          " (name the folder with --data DIR)");
    return std::string();
}

// The demo's contact sheet fed by the recorder: each frame goes into the row
// of the stage the demo shows after it.
class StagePlan : public ZynTool::SheetPlan {
public:
    StagePlan(int frameW, int frameH, const DemoApp& app) : m_Sheet(frameW, frameH), m_App(app) {}
    bool Add(int, const std::vector<Zyn::u8>& rgba) override { return m_Sheet.Add(m_App.GetStage(), rgba); }
    bool Build(Zyn::ContactSheet& sheet) override { return m_Sheet.Build(sheet); }
    std::string Describe() const override {
        const int rows = m_Sheet.GetRowCount();
        return std::to_string(rows) + (rows == 1 ? " stage" : " stages") + ", one row each,";
    }

private:
    StageSheet m_Sheet;
    const DemoApp& m_App;  // held by the Root's update group for the whole recording
};

bool WriteStages(const std::string& path, const std::vector<std::pair<int, long>>& stages, double fps) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    for (const auto& s : stages)
        std::fprintf(f, "%s %ld %.3f\n", DemoApp::StageName(s.first), s.second, double(s.second + 1) / fps);
    return std::fclose(f) == 0;
}

}  // namespace

std::string ChooseDataFolder(const DemoOptions& options) {
    if (!options.data.empty()) return options.data;
    const std::string exe = Zyn::Folders::GetExecutablePath();
    const std::string buildTree = std::string(ZYN_DEMO_BUILD_TREE) + "/";
    if (!exe.empty() && exe.compare(0, buildTree.size(), buildTree) == 0) return ZYN_DEMO_BUILD_DATA_DIR;
    const fs::path exeDir = fs::path(exe).parent_path();
    return (exeDir / ".." / "share" / "zyn-demo").lexically_normal().string();
}

int RunHeadless(const DemoOptions& o) {
    const std::string pack = FindPack(o);
    if (pack.empty()) return kExitFailed;
    ZynTool::RecorderSettings settings;
    settings.outFolder = o.out;
    settings.width = o.width;
    settings.height = o.height;
    settings.framesPerSecond = o.fps;
    settings.frameCount = int(std::floor(o.seconds * o.fps + 0.5));
    ZynTool::HeadlessRecorder recorder(settings);
    if (!recorder.Open()) return kExitFailed;
    {
        DemoContext context(recorder.GetSurface());
        if (!context.Init(o.width, o.height, pack)) return kExitFailed;
        if (!recorder.CheckContext()) return kExitFailed;
        // Lockstep: the loader's worker is waited for, so every run sees the
        // same tasks done in the same frame.
        DemoApp* app = context.StartDemo(true);
        if (!app) return kExitFailed;

        Autopilot pilot(Autopilot::DemoScript());
        const float step = recorder.GetStepSeconds();
        std::vector<std::pair<int, long>> stages;
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        StagePlan sheet(o.width, o.height, *app);
        const bool recorded = recorder.Record(
            [&](int k) {
                pilot.Tick(*app);
                root->Update(step);
                if (stages.empty() || stages.back().first != app->GetStage())
                    stages.emplace_back(app->GetStage(), k);
                return true;
            },
            &sheet);
        if (!recorded) return kExitFailed;
        const std::string stagesPath = (fs::path(o.out) / kStagesName).string();
        if (!WriteStages(stagesPath, stages, o.fps)) {
            Error("cannot write " + stagesPath);
            return kExitFailed;
        }
    }
    recorder.PrintSummary();
    return kExitOk;
}

int RunWindow(const DemoOptions& o) {
    const std::string pack = FindPack(o);
    if (pack.empty()) return kExitFailed;
    Zyn::WindowRequest request;
    request.title = "Zyn demo";
    request.width = o.width;
    request.height = o.height;
    std::unique_ptr<Zyn::WindowSurface> surface(Zyn::CreateWindowSurface(request));
    if (!surface) {
        Error("cannot open a window (is DISPLAY set to a running X server?)");
        return kExitFailed;
    }
    {
        DemoContext context(surface.get());
        if (!context.Init(surface->GetWidth(), surface->GetHeight(), pack)) return kExitFailed;
        DemoApp* app = context.StartDemo(false);
        if (!app) return kExitFailed;
        std::unique_ptr<Autopilot> pilot;
        if (o.autoplay) pilot.reset(new Autopilot(Autopilot::DemoScript()));

        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        auto last = std::chrono::steady_clock::now();
        auto due = last;
        for (;;) {
            surface->PumpEvents();
            if (surface->IsClosed() || Zyn::WindowSystem::IsCloseRequested()) break;
            if (root->m_KeyStates[kKeyEscape] & Zyn::Root::kKeyPressed) break;
            int width = 0, height = 0;
            if (surface->TakeResize(width, height) && !context.Resize(width, height))
                Error("cannot follow the window to its new size");

            // Frames are paced by sleeping, never by spinning.
            const auto now = std::chrono::steady_clock::now();
            if (now < due) {
                Zyn::SleepMicroseconds(
                    long(std::chrono::duration_cast<std::chrono::microseconds>(due - now).count()));
                continue;
            }
            const float dt = std::chrono::duration<float>(now - last).count();
            last = now;
            if (pilot) pilot->Tick(*app);
            root->Update(dt);
            due += std::chrono::microseconds(kWindowFrameMicroseconds);
            // After a stall, start counting again from now rather than rushing.
            if (due < now) due = now + std::chrono::microseconds(kWindowFrameMicroseconds);
        }
    }
    surface.reset();
    return kExitOk;
}

}  // namespace Demo
