// zyn-screensaver: the temple screen saver as an X11 hack for screen saver
// daemons, as a cover over every Wayland output, as a preview window, and as
// a headless frame exporter.
// Exit status: 0 success, 1 failure, 2 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/platform/ProcessSetup.h>
#include <zyn/platform/WindowSurface.h>

#include "HostOptions.h"
#include "HostRun.h"
#include "ToolOutput.h"

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-screensaver");
    ZynHost::HostOptions options;
    std::string error;
    const ZynHost::ParseResult parsed = ZynHost::ParseHostOptions(argc, argv, options, error);
    // The framework's own lines (the Root's farewell at exit) have no place
    // in a help text or a usage error.
    if (parsed != ZynHost::ParseResult::kRun) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogError;
    switch (parsed) {
        case ZynHost::ParseResult::kHelp:
            std::fputs(ZynHost::UsageText(), stdout);
            return ZynTool::kExitOk;
        case ZynHost::ParseResult::kVersion:
            std::printf("zyn-screensaver %s\n", ZYN_VERSION);
            return ZynTool::kExitOk;
        case ZynHost::ParseResult::kError:
            return ZynTool::Usage(error);
        case ZynHost::ParseResult::kRun:
            break;
    }
    if (!options.modeGiven) {
        const char* window = std::getenv("XSCREENSAVER_WINDOW");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        options.mode = ZynHost::SessionMode(window ? window : "", wayland ? wayland : "");
    }
    // A daemon starts the saver anew at every activation, and a start
    // touches tens of megabytes of fresh memory: on huge pages that takes
    // far fewer page faults. This may start the program again, with the
    // same arguments.
    Zyn::PreferHugePagesForLargeBlocks(argv);
    // A screen saver shares the machine for hours: the least processor time
    // per frame matters more than drawing a frame on every core at once. The
    // export draws the same way, so that its frames are what the saver shows.
    Zyn::PreferLeanSoftwareRasterizer();
    return options.mode == ZynHost::Mode::kHeadless ? ZynHost::RunHeadless(options)
                                                    : ZynHost::RunLive(options);
}
