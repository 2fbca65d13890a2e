#include "HostRun.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include <screensaver/OrvSettings.h>
#include <screensaver/ZynMain.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/image/ContactSheet.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/graphics/image/PngWriter.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/platform/WindowSurface.h>

#include "FramePacer.h"

namespace fs = std::filesystem;

namespace ZynHost {

namespace {

const char* const kProgram = "zyn-screensaver";
const char* const kWindowTitle = "Zyn Screen Saver";
const int kKeyFrameRate = 123;  // F12 toggles the application's frame-rate text

void Say(const char* format, const std::string& a = std::string(), const std::string& b = std::string()) {
    std::fprintf(stderr, "%s: ", kProgram);
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fputc('\n', stderr);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
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
    hasPack = IsRegularFile(folder + "/" + kPackName);
    if (!hasPack) {
        std::fprintf(stderr,
                     "%s: %s is missing from the data folder %s (name the folder with --data DIR or "
                     "ZYN_DATA_DIR)\n",
                     kProgram, kPackName, folder.c_str());
    }
    return folder;
}

void PrepareLogFile(const HostOptions& options) { Zyn::Folders::SetLogFile(ChooseLogFile(options)); }

// Options that reach into the scene once it exists.
void ApplySceneOptions(const HostOptions& options) {
    if (options.detail != Detail::kUnchanged) {
        if (OrvSettings* settings = Zyn::SingletonEx<OrvSettings>::ms_pInstance) {
            settings->m_bHighDetail = options.detail == Detail::kHigh;
            settings->UpdateDetailSettings();
        }
    }
    // The application toggles its frame-rate text on this key; the press is
    // seen by the first frame and released after it.
    if (options.showFrameRate) Zyn::Singleton<Zyn::Root>::Get()->ProcessSystemEvent(0, kKeyFrameRate, 0);
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

bool WriteStats(const std::string& path, long frames, double wallSeconds) {
    if (path.empty()) return true;
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        Say("cannot write the stats file %s", path);
        return false;
    }
    std::fprintf(f, "frames %ld\nseconds %.3f\ncpu_seconds %.3f\n", frames, wallSeconds, CpuSeconds());
    const bool ok = std::fclose(f) == 0;
    if (!ok) Say("cannot write the stats file %s", path);
    return ok;
}

// The scene and the framework let go of their GL objects while the context
// still exists; the Root itself goes at process exit.
void TearDown(Zyn::HostDriver& driver) {
    driver.Stop();
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
                Say("XSCREENSAVER_WINDOW holds no window id: '%s'", env);
                return nullptr;
            } else {
                request.kind = Zyn::WindowRequest::Kind::kForeignWindow;
                request.windowId = id;
                what = "there is no window " + env + " (XSCREENSAVER_WINDOW) on the display '" + displayName + "'";
            }
            break;
        }
        case Mode::kHeadless:
            return nullptr;
    }
    Zyn::WindowError error = Zyn::WindowError::kNone;
    Zyn::WindowSurface* surface = Zyn::CreateWindowSurface(request, &error);
    // Refuse plainly: the window layer's own lines are terse.
    if (error == Zyn::WindowError::kNoBackend)
        Say("this build has no window-system backend; only --headless works");
    else if (error == Zyn::WindowError::kNoDisplay)
        Say("cannot open the X display '%s'", displayName);
    else if (!surface)
        Say("%s", what);
    return surface;
}

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
        Say("cannot make the log folder %s; no log file", folder);
        return std::string();
    }
    return folder + "/log.txt";
}

std::string FrameFileName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return name;
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
    const long long startUs = MonotonicMicroseconds();
    if (!StopSignals::Install()) {
        Say("cannot set up the signal pipe");
        return kExitFailed;
    }
    // Paths are fixed before the view moves into the data folder.
    const std::string stats = options.statsFile.empty() ? std::string() : AbsolutePath(options.statsFile);
    bool hasPack = false;
    PrepareDataFolder(options, hasPack);
    // Under a daemon a blank screen beats an error the user never sees:
    // the scene draws what it finds. A preview asked for by hand stops.
    const bool underDaemon = options.mode != Mode::kWindow;
    if (!hasPack && !underDaemon) return kExitFailed;

    std::unique_ptr<Zyn::WindowSurface> surface(OpenLiveSurface(options));
    if (!surface) return kExitFailed;

    PrepareLogFile(options);
    RegisterZynMain();
    Zyn::HostDriver driver;
    if (!driver.Create(surface.get(), float(surface->GetWidth()), float(surface->GetHeight()),
                       options.mode == Mode::kWindow)) {
        Say("the screen saver refused the window size");
        return kExitFailed;
    }
    if (!surface->HasContext()) Say("no OpenGL context on the window; nothing will be drawn");
    ApplySceneOptions(options);
    driver.Start();

    const int connection = surface->GetEventDescriptor();
    const FramePacer pacer(options.frameMicroseconds);
    long frames = 0;
    long long due = MonotonicMicroseconds();
    int status = kExitOk;
    while (!StopSignals::IsStopRequested()) {
        surface->PumpEvents();
        if (surface->IsDestroyed()) {
            Say("the window is gone; stopping");
            break;
        }
        if (surface->IsClosed()) break;  // the window manager's close button
        if (Zyn::WindowSystem::IsCloseRequested()) {
            // User activity: a preview ends, a daemon decides for itself.
            Zyn::WindowSystem::ClearCloseRequest();
            if (!underDaemon) break;
        }
        int width = 0, height = 0;
        if (surface->TakeResize(width, height) && !driver.Resize(width, height))
            Say("cannot follow the window to its new size");

        const long long now = MonotonicMicroseconds();
        if (now < due) {
            WaitUntil(due, connection);
            continue;
        }
        driver.Frame();
        if (++frames == 1) AfterFirstFrame(options);
        due = pacer.NextDue(due, MonotonicMicroseconds());
    }
    if (!WriteStats(stats, frames, double(MonotonicMicroseconds() - startUs) * 1e-6)) status = kExitFailed;
    TearDown(driver);
    surface.reset();
    return status;
}

int RunHeadless(const HostOptions& options) {
    const long long startUs = MonotonicMicroseconds();
    if (!StopSignals::Install()) {
        Say("cannot set up the signal pipe");
        return kExitFailed;
    }
    bool hasPack = false;
    PrepareDataFolder(options, hasPack);
    if (!hasPack) return kExitFailed;

    // Paths are fixed before the view moves into the data folder.
    const std::string out = AbsolutePath(options.outFolder);
    const std::string stats = options.statsFile.empty() ? std::string() : AbsolutePath(options.statsFile);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec || !fs::is_directory(out, ec)) {
        Say("cannot make the output folder %s", out);
        return kExitFailed;
    }
    if (access(out.c_str(), W_OK) != 0) {
        Say("cannot write into the output folder %s", out);
        return kExitFailed;
    }

    std::unique_ptr<Zyn::GLSurface> surface(Zyn::CreateOffscreenSurface());
    PrepareLogFile(options);
    RegisterZynMain();
    Zyn::HostDriver driver;
    driver.UseFixedStep(std::lround(1000000.0 / options.framesPerSecond));
    if (!driver.Create(surface.get(), float(options.width), float(options.height), false)) {
        Say("the screen saver refused the frame size");
        return kExitFailed;
    }
    if (!surface->HasContext() || surface->GetWidth() != options.width ||
        surface->GetHeight() != options.height) {
        Say("no offscreen OpenGL context (EGL with Mesa's surfaceless platform is needed)");
        TearDown(driver);
        return kExitFailed;
    }
    ApplySceneOptions(options);
    driver.Start();

    const int frameCount = HeadlessFrameCount(options);
    const std::vector<int> sheetFrames = ContactSheetFrames(frameCount);
    const int columns = int(sheetFrames.size()) < 6 ? int(sheetFrames.size()) : 6;
    // Tiles keep the frame's shape and make a sheet about 960 pixels wide.
    const int tileW = options.width < 960 / columns ? options.width : 960 / columns;
    const int tileH = std::max(1, int((long(tileW) * options.height + options.width / 2) / options.width));

    std::vector<std::vector<Zyn::u8>> tiles;
    std::vector<std::vector<Zyn::u8>> one(1);
    size_t nextTile = 0;
    int status = kExitOk;
    int written = 0;
    for (int i = 0; i < frameCount; ++i) {
        if (StopSignals::IsStopRequested()) {
            Say("interrupted; the export is incomplete");
            status = kExitFailed;
            break;
        }
        driver.Frame();
        if (i == 0) AfterFirstFrame(options);
        std::vector<Zyn::u8>& rgba = one[0];
        const std::string path = out + "/" + FrameFileName(i);
        if (!surface->ReadPixels(rgba) || !Zyn::WritePNG(path.c_str(), options.width, options.height, rgba)) {
            Say("cannot write the frame %s", path);
            status = kExitFailed;
            break;
        }
        ++written;
        if (nextTile < sheetFrames.size() && sheetFrames[nextTile] == i) {
            Zyn::ContactSheet tile;
            if (!Zyn::BuildContactSheet(one, options.width, options.height, 1, tileW, tileH, tile)) {
                status = kExitFailed;
                break;
            }
            tiles.push_back(std::move(tile.rgba));
            ++nextTile;
        }
    }
    const std::string sheetPath = out + "/" + kContactSheetName;
    if (status == kExitOk) {
        Zyn::ContactSheet sheet;
        if (!Zyn::BuildContactSheet(tiles, tileW, tileH, columns, tileW, tileH, sheet) ||
            !Zyn::WritePNG(sheetPath.c_str(), sheet.width, sheet.height, sheet.rgba)) {
            Say("cannot write the contact sheet %s", sheetPath);
            status = kExitFailed;
        }
    }
    if (!WriteStats(stats, written, double(MonotonicMicroseconds() - startUs) * 1e-6)) status = kExitFailed;
    TearDown(driver);
    surface.reset();
    if (status == kExitOk) {
        std::printf("Wrote %d frames of %dx%d to %s/%s ... %s\n", written, options.width, options.height,
                    out.c_str(), FrameFileName(0).c_str(), FrameFileName(written - 1).c_str());
        std::printf("Wrote the contact sheet of %d frames to %s\n", int(tiles.size()), sheetPath.c_str());
    }
    return status;
}

}  // namespace ZynHost
