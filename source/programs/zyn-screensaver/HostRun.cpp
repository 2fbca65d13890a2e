#include "HostRun.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include <screensaver/OrvSettings.h>
#include <screensaver/ScreenSaverApp.h>
#include <screensaver/ZynMain.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/image/ContactSheet.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/platform/WindowSurface.h>

#include "FramePacer.h"
#include "HeadlessRecorder.h"
#include "ToolOutput.h"
#include "UserActivity.h"

namespace fs = std::filesystem;

using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;

namespace ZynHost {

namespace {

const char* const kProgram = "zyn-screensaver";
const char* const kWindowTitle = "Zyn Screen Saver";
const int kKeyFrameRate = 123;  // F12 toggles the application's frame-rate text
// The longest sleep while no output wants a frame; the descriptor and a stop
// signal wake it sooner.
const long long kIdleWaitUs = 1000000;

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// The pack checked with the framework's own lines about it held back: the
// one line the host prints says it all.
bool QuietCheckScenePack(const std::string& pack, std::string& problem) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    const Zyn::s32 stderrLevel = root->m_StderrLogLevel;
    root->m_StderrLogLevel = Zyn::kLogError - 1;
    const bool ok = CheckScenePack(pack, problem);
    root->m_StderrLogLevel = stderrLevel;
    return ok;
}

// The data folder as the view will find it, with the pack checked. Returns
// the folder; `hasPack` tells whether the pack is there.
std::string PrepareDataFolder(const HostOptions& options, bool& hasPack) {
    if (!options.dataFolder.empty()) {
        Zyn::Folders::SetDataFolderOverride(AbsolutePath(options.dataFolder));
    } else if (EnvValue("ZYN_DATA_DIR").empty()) {
        // Installed as a hack the program sits in libexec/xscreensaver, one
        // folder deeper than the usual <exe>/../share search expects.
        const std::string exe = Zyn::Folders::GetExecutablePath();
        const std::string installed = exe.substr(0, exe.rfind('/') + 1) + ZYN_INSTALLED_DATA_FROM_HACK;
        struct stat st;
        if (!exe.empty() && stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            Zyn::Folders::SetDataFolderOverride(fs::path(installed).lexically_normal().string());
    }
    Zyn::Folders::SetApplicationName(kProgram);
    Zyn::Folders::SetBuildTreeDataFolder(ZYN_BUILD_DATA_DIR);
    const std::string folder = Zyn::Folders::GetDataFolder();
    const std::string pack = folder + "/" + kPackName;
    hasPack = false;
    std::string problem;
    if (!IsRegularFile(pack)) {
        Error("%s is missing from the data folder %s (name the folder with --data DIR or ZYN_DATA_DIR)",
              kPackName, folder.c_str());
    } else if (!QuietCheckScenePack(pack, problem)) {
        Error("%s", problem.c_str());
    } else {
        hasPack = true;
        // Decoded while the window and its GL context are made.
        PrefetchSceneImages(pack);
    }
    return folder;
}

void PrepareLogFile(const HostOptions& options) { Zyn::Folders::SetLogFile(ChooseLogFile(options)); }

// A daemon keeps every line of our standard error in its session log, at
// every activation: only what needs attention goes there unless asked. The
// log file, where there is one, still gets everything.
void ApplyLogOptions(const HostOptions& options) {
    Zyn::Singleton<Zyn::Root>::Get()->m_StderrLogLevel =
        options.verbose >= 2 ? Zyn::kLogDebug : options.verbose == 1 ? Zyn::kLogInfo : Zyn::kLogWarning;
}

// Options that reach into the scene once it exists.
void ApplySceneOptions(const HostOptions& options) {
    if (options.detail != Detail::kUnchanged) {
        if (OrvSettings* settings = Zyn::SingletonEx<OrvSettings>::ms_pInstance) {
            settings->m_bHighDetail = options.detail == Detail::kHigh;
            settings->UpdateDetailSettings();
        }
    }
    if (ScreenSaverApp* app = Zyn::SingletonEx<ScreenSaverApp>::ms_pInstance)
        app->SetReplayInterval(float(options.replayMinutes * 60.0));
    // The application toggles its frame-rate text on this key; the press is
    // seen by the first frame and released after it.
    if (options.showFrameRate) Zyn::Singleton<Zyn::Root>::Get()->ProcessSystemEvent(0, kKeyFrameRate, 0);
}

// Low detail also draws at half the window's size, stretched over it: a
// quarter of the pixels for the software rasterisers most savers run on.
void ApplyDetailToSurface(Zyn::WindowSurface& surface) {
    const OrvSettings* settings = Zyn::SingletonEx<OrvSettings>::ms_pInstance;
    const bool low = settings && !settings->m_bHighDetail;
    if (!surface.SetHalfResolution(low))
        Zyn::LogSend(Zyn::kLogInfo, "this window cannot show frames drawn at half size; low detail draws at full size");
    else if (low)
        Zyn::LogSend(Zyn::kLogInfo, "low detail: frames drawn at %d x %d, stretched over the window", surface.GetWidth(),
                     surface.GetHeight());
}

void AfterFirstFrame(const HostOptions& options) {
    if (options.showFrameRate) Zyn::Singleton<Zyn::Root>::Get()->ProcessSystemEvent(1, kKeyFrameRate, 0);
}

double CpuSeconds() {
    rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Written beside and renamed into place: a reader never sees half a file.
bool WriteStats(const std::string& path, long frames, double wallSeconds) {
    if (path.empty()) return true;
    const std::string part = path + ".part";
    FILE* f = std::fopen(part.c_str(), "w");
    if (!f) {
        Error("cannot write the stats file %s", path.c_str());
        return false;
    }
    std::fprintf(f, "frames %ld\nseconds %.3f\ncpu_seconds %.3f\n", frames, wallSeconds, CpuSeconds());
    const bool ok = std::fclose(f) == 0 && std::rename(part.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(part.c_str());
        Error("cannot write the stats file %s", path.c_str());
    }
    return ok;
}

// The scene and the framework let go of their GL objects while the context
// still exists; the Root itself goes at process exit.
void TearDown(Zyn::HostDriver& driver) {
    driver.Stop();
    ZynMainSceneShutDown();
    driver.Release();
    Zyn::Singleton<Zyn::Root>::Get()->Release();
    Zyn::WindowSystem::SetSurface(nullptr);
}

Zyn::WindowSurface* OpenLiveSurface(const HostOptions& options) {
    const std::string displayName = options.display.empty() ? EnvValue("DISPLAY") : options.display;
    Zyn::WindowRequest request;
    request.displayName = options.display;
    char idText[32];
    std::string what;  // the window, for the message when it cannot be had
    switch (options.mode) {
        case Mode::kWindow:
            request.kind = Zyn::WindowRequest::Kind::kOwnWindow;
            request.title = kWindowTitle;
            request.width = options.windowWidth;
            request.height = options.windowHeight;
            what = "cannot open a window on the display '" + displayName + "'";
            break;
        case Mode::kWindowId:
            request.kind = Zyn::WindowRequest::Kind::kForeignWindow;
            request.windowId = options.windowId;
            std::snprintf(idText, sizeof idText, "0x%lx", options.windowId);
            what = std::string("there is no window ") + idText + " on the display '" + displayName + "'";
            break;
        case Mode::kRoot: {
            const std::string env = EnvValue("XSCREENSAVER_WINDOW");
            unsigned long id = 0;
            if (env.empty()) {
                request.kind = Zyn::WindowRequest::Kind::kRootWindow;
                what = "cannot draw into the root window of '" + displayName + "'";
            } else if (!ParseWindowId(env, id)) {
                Error("XSCREENSAVER_WINDOW holds no window id: '%s'", env.c_str());
                return nullptr;
            } else {
                request.kind = Zyn::WindowRequest::Kind::kForeignWindow;
                request.windowId = id;
                what = "there is no window " + env + " (XSCREENSAVER_WINDOW) on the display '" + displayName + "'";
            }
            break;
        }
        case Mode::kWayland:
            request.kind = Zyn::WindowRequest::Kind::kOwnWindow;
            request.backend = Zyn::WindowBackend::kWayland;
            request.coverOutputs = true;
            request.outputName = options.outputName;
            request.title = kWindowTitle;
            request.displayName.clear();  // -display names an X server
            what = "cannot cover the outputs of the compositor '" + EnvValue("WAYLAND_DISPLAY") + "'";
            break;
        case Mode::kHeadless:
            return nullptr;
    }
    Zyn::WindowError error = Zyn::WindowError::kNone;
    Zyn::WindowSurface* surface = Zyn::CreateWindowSurface(request, &error);
    // Refuse plainly: the window layer's own lines are terse.
    const bool wayland = options.mode == Mode::kWayland;
    if (error == Zyn::WindowError::kNoBackend && wayland)
        Error("this build has no Wayland backend");
    else if (error == Zyn::WindowError::kNoBackend)
        Error("this build has no window-system backend; only --headless works");
    else if (error == Zyn::WindowError::kNoDisplay && wayland)
        Error("cannot connect to the Wayland compositor '%s'", EnvValue("WAYLAND_DISPLAY").c_str());
    else if (error == Zyn::WindowError::kNoDisplay)
        Error("cannot open the X display '%s'", displayName.c_str());
    else if (error == Zyn::WindowError::kNoOutput)
        Error("the compositor has no output named '%s'", options.outputName.c_str());
    else if (!surface)
        Error(what);
    return surface;
}

// The export's contact sheet: the frames of ContactSheetFrames, six to a
// row. Tiles keep the frame's shape and make a sheet about 960 pixels wide;
// each is reduced as its frame goes by, so only the tiles are kept.
class SpreadSheet : public ZynTool::SheetPlan {
public:
    SpreadSheet(int frameW, int frameH, int frameCount)
        : m_FrameW(frameW), m_FrameH(frameH), m_Picked(ContactSheetFrames(frameCount)) {
        m_Columns = std::max(1, std::min(int(m_Picked.size()), 6));
        m_TileW = std::min(frameW, 960 / m_Columns);
        m_TileH = std::max(1, int((long(m_TileW) * frameH + frameW / 2) / frameW));
    }

    bool Add(int index, const std::vector<Zyn::u8>& rgba) override {
        if (m_Tiles.size() >= m_Picked.size() || m_Picked[m_Tiles.size()] != index) return true;
        Zyn::ContactSheet tile;
        if (!Zyn::BuildContactSheet({rgba}, m_FrameW, m_FrameH, 1, m_TileW, m_TileH, tile)) return false;
        m_Tiles.push_back(std::move(tile.rgba));
        return true;
    }

    bool Build(Zyn::ContactSheet& sheet) override {
        return Zyn::BuildContactSheet(m_Tiles, m_TileW, m_TileH, m_Columns, m_TileW, m_TileH, sheet);
    }

    std::string Describe() const override { return std::to_string(m_Tiles.size()) + " frames"; }

private:
    int m_FrameW, m_FrameH;
    std::vector<int> m_Picked;
    int m_Columns = 1, m_TileW = 1, m_TileH = 1;
    std::vector<std::vector<Zyn::u8>> m_Tiles;  // the picked frames reduced, in order
};

}  // namespace

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string GetStateFolder() {
    // Relative values are to be ignored, as for the other XDG folders.
    const std::string xdg = EnvValue("XDG_STATE_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/zyn-screensaver";
    const std::string home = EnvValue("HOME");
    if (home.empty() || home[0] != '/') return std::string();
    return home + "/.local/state/zyn-screensaver";
}

std::string ChooseLogFile(const HostOptions& options) {
    if (options.noLogFile) return std::string();
    if (!options.logFile.empty()) return AbsolutePath(options.logFile);
    if (options.mode == Mode::kRoot || options.mode == Mode::kWindowId) return std::string();
    const std::string folder = GetStateFolder();
    if (folder.empty()) return std::string();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        Error("cannot make the log folder %s; no log file", folder.c_str());
        return std::string();
    }
    return folder + "/log.txt";
}

std::vector<int> ContactSheetFrames(int frameCount) {
    std::vector<int> frames;
    if (frameCount <= 0) return frames;
    const int tiles = frameCount < kMaxSheetTiles ? frameCount : kMaxSheetTiles;
    if (tiles == 1) return {0};
    for (int k = 0; k < tiles; ++k)
        frames.push_back(int((long(k) * (frameCount - 1) * 2 + (tiles - 1)) / (2 * (tiles - 1))));
    return frames;
}

int RunLive(const HostOptions& options) {
    ApplyLogOptions(options);
    const long long startUs = MonotonicMicroseconds();
    if (!StopSignals::Install()) {
        Error("cannot set up the signal pipe");
        return kExitFailed;
    }
    // Paths are fixed before the view moves into the data folder.
    const std::string stats = options.statsFile.empty() ? std::string() : AbsolutePath(options.statsFile);
    bool hasPack = false;
    PrepareDataFolder(options, hasPack);
    // Without usable art there is nothing to show: end at once, under a
    // daemon too, which then shows the error line it kept.
    const bool underDaemon = options.mode != Mode::kWindow;
    if (!hasPack) return kExitFailed;

    std::unique_ptr<Zyn::WindowSurface> surface(OpenLiveSurface(options));
    if (!surface) return kExitFailed;

    PrepareLogFile(options);
    RegisterZynMain();
    Zyn::HostDriver driver;
    if (!driver.Create(surface.get(), float(surface->GetWidth()), float(surface->GetHeight()),
                       options.mode == Mode::kWindow)) {
        Error("the screen saver refused the window size");
        return kExitFailed;
    }
    if (!surface->HasContext()) Error("no OpenGL context on the window; nothing will be drawn");
    ApplySceneOptions(options);
    ApplyDetailToSurface(*surface);
    driver.Start();

    // No daemon stops the Wayland cover: input ends it, seen here before
    // the scene, since a compositor that asks for no frames runs no scene.
    UserActivity activity;
    if (options.mode == Mode::kWayland) {
        surface->SetEventSink([&activity](int code, int a, int b) {
            activity.Take(code, a, b);
            Zyn::Singleton<Zyn::Root>::Get()->ProcessSystemEvent(code, a, b);
        });
    }
    const int connection = surface->GetEventDescriptor();
    const FramePacer pacer(options.frameMicroseconds);
    long frames = 0;
    long long lastStatsUs = MonotonicMicroseconds();
    long long due = MonotonicMicroseconds();
    int status = kExitOk;
    while (!StopSignals::IsStopRequested()) {
        surface->PumpEvents();
        if (surface->IsDestroyed()) {
            Error(options.mode == Mode::kWayland ? "the compositor is gone; stopping" : "the window is gone; stopping");
            break;
        }
        if (activity.IsSeen()) break;
        if (surface->IsClosed()) break;  // the window manager's close button
        if (Zyn::WindowSystem::IsCloseRequested()) {
            // User activity: a preview ends, a daemon decides for itself.
            Zyn::WindowSystem::ClearCloseRequest();
            if (!underDaemon) break;
        }
        int width = 0, height = 0;
        if (surface->TakeResize(width, height) && !driver.Resize(width, height))
            Error("cannot follow the window to its new size");

        const long long now = MonotonicMicroseconds();
        if (now < due) {
            WaitUntil(due, connection);
            continue;
        }
        if (!surface->IsReadyForFrame()) {
            // Nothing would be shown (a hidden output): sleep until the
            // compositor asks, keeping the frame floor from then on.
            WaitUntil(now + kIdleWaitUs, connection);
            due = MonotonicMicroseconds();
            continue;
        }
        driver.Frame();
        if (++frames == 1) AfterFirstFrame(options);
        due = pacer.NextDue(due, MonotonicMicroseconds());
        // The stats file follows the run once a second, for whoever watches
        // it (a test waiting for frames, a user timing the hack).
        if (!stats.empty() && MonotonicMicroseconds() - lastStatsUs >= 1000000) {
            lastStatsUs = MonotonicMicroseconds();
            (void)WriteStats(stats, frames, double(lastStatsUs - startUs) * 1e-6);
        }
    }
    if (!WriteStats(stats, frames, double(MonotonicMicroseconds() - startUs) * 1e-6)) status = kExitFailed;
    TearDown(driver);
    surface.reset();
    return status;
}

int RunHeadless(const HostOptions& options) {
    ApplyLogOptions(options);
    const long long startUs = MonotonicMicroseconds();
    if (!StopSignals::Install()) {
        Error("cannot set up the signal pipe");
        return kExitFailed;
    }
    bool hasPack = false;
    PrepareDataFolder(options, hasPack);
    if (!hasPack) return kExitFailed;

    // Paths are fixed before the view moves into the data folder.
    ZynTool::RecorderSettings settings;
    settings.outFolder = AbsolutePath(options.outFolder);
    settings.width = options.width;
    settings.height = options.height;
    settings.framesPerSecond = options.framesPerSecond;
    settings.frameCount = HeadlessFrameCount(options);
    const std::string stats = options.statsFile.empty() ? std::string() : AbsolutePath(options.statsFile);
    ZynTool::HeadlessRecorder recorder(settings);
    if (!recorder.Open()) return kExitFailed;

    PrepareLogFile(options);
    RegisterZynMain();
    Zyn::HostDriver driver;
    if (!driver.Create(recorder.GetSurface(), float(options.width), float(options.height), false)) {
        Error("the screen saver refused the frame size");
        return kExitFailed;
    }
    if (!recorder.CheckContext()) {
        TearDown(driver);
        return kExitFailed;
    }
    ApplySceneOptions(options);
    driver.Start();

    SpreadSheet sheet(options.width, options.height, settings.frameCount);
    const bool recorded = recorder.Record(
        [&](int index) {
            if (StopSignals::IsStopRequested()) {
                Error("interrupted; the export is incomplete");
                return false;
            }
            driver.Frame();
            if (index == 0) AfterFirstFrame(options);
            return true;
        },
        &sheet);
    int status = recorded ? kExitOk : kExitFailed;
    if (!WriteStats(stats, recorder.GetFrameCount(), double(MonotonicMicroseconds() - startUs) * 1e-6))
        status = kExitFailed;
    TearDown(driver);
    if (status == kExitOk) recorder.PrintSummary();
    return status;
}

}  // namespace ZynHost
