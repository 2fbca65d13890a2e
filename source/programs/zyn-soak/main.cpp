// zyn-soak: plays the whole scene headless on a fixed step for a long
// stretch of timeline and reports, every simulated minute, the resident
// memory, the particle pool and the live objects. A development tool: the
// memory must stay flat once the first minute is over. The frames are
// stepped by the programs' headless recorder, without writing any.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <screensaver/ZynMain.h>
#include <zyn/core/Object.h>
#include <zyn/core/Root.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/particles/Particle.h>

#include "CommandArgs.h"
#include "HeadlessRecorder.h"
#include "ToolOutput.h"

using namespace Zyn;

namespace {

const int kMaxMinutes = 24 * 60;
const int kMaxFps = 1000;
const int kMinSide = 16;
const int kMaxSide = 8192;

const char* const kHelp =
    "Usage: zyn-soak [--minutes N] [--fps F] [--size WxH]\n"
    "Plays the scene headless on a fixed step and prints, for every minute of\n"
    "timeline, the resident memory, the particle pool and the live objects.\n"
    "\n"
    "  --minutes N   minutes of timeline, 1 to 1440 (default 10)\n"
    "  --fps F       frames per second, 1 to 1000 (default 30)\n"
    "  --size WxH    frame size, 16 to 8192 a side (default 512x393)\n"
    "  -h, --help    show this help\n";

/// Resident set size in KiB from /proc/self/status; -1 when unknown.
long ResidentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kib;
}

void PrintMinute(int minute) {
    std::printf("%6d %8ld %12u %15u %13d\n", minute, ResidentKiB(), ParticleAllocator::GetBlockCount(),
                ParticleAllocator::GetLiveCount(), Object::GetLiveObjectCount());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-soak");
    int minutes = 10, fps = 30, width = 512, height = 393;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return ZynTool::kExitOk;
        }
        if (a != "--minutes" && a != "--fps" && a != "--size") return ZynTool::Usage("unknown option " + a);
        if (i + 1 >= argc) return ZynTool::Usage("option " + a + " needs a value");
        const std::string v = argv[++i];
        if (a == "--minutes" && !ZynTool::ParseInteger(v, 1, kMaxMinutes, minutes))
            return ZynTool::Usage("--minutes takes a whole number from 1 to 1440, not \"" + v + "\"");
        if (a == "--fps" && !ZynTool::ParseInteger(v, 1, kMaxFps, fps))
            return ZynTool::Usage("--fps takes a whole number from 1 to 1000, not \"" + v + "\"");
        if (a == "--size" && !ZynTool::ParseSize(v, kMinSide, kMaxSide, width, height))
            return ZynTool::Usage("--size takes WIDTHxHEIGHT, each from 16 to 8192, not \"" + v + "\"");
    }

    // Run from the build tree, the generated pack is found there.
    setenv("ZYN_DATA_DIR", ZYN_SOAK_DATA_DIR, 0);
    ZynTool::RecorderSettings settings;
    settings.width = width;
    settings.height = height;
    settings.framesPerSecond = fps;
    settings.frameCount = minutes * 60 * fps;
    ZynTool::HeadlessRecorder recorder(settings);
    if (!recorder.Open()) return ZynTool::kExitFailed;
    RegisterZynMain();
    HostDriver driver;
    if (!driver.Create(recorder.GetSurface(), float(width), float(height), false) ||
        !recorder.CheckContext()) {
        ZynTool::Error("the scene could not start");
        return ZynTool::kExitFailed;
    }
    Singleton<Root>::Get()->m_LogLevel = kLogWarning;
    driver.Start();
    std::printf("minute  rss_kib  pool_blocks  live_particles  live_objects\n");
    PrintMinute(0);
    const int framesPerMinute = 60 * fps;
    const bool played = recorder.Record(
        [&](int index) {
            driver.Frame();
            if ((index + 1) % framesPerMinute == 0) PrintMinute((index + 1) / framesPerMinute);
            return true;
        },
        nullptr);
    driver.Stop();
    driver.Release();
    return played ? ZynTool::kExitOk : ZynTool::kExitFailed;
}
