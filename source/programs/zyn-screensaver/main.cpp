// zyn-screensaver: the temple screen saver as an X11 hack for screen saver
// daemons, as a preview window, and as a headless frame exporter.
// Exit status: 0 success, 1 failure, 2 bad arguments.
#include <cstdio>
#include <string>

#include <zyn/core/Root.h>

#include "HostOptions.h"
#include "HostRun.h"

int main(int argc, char** argv) {
    ZynHost::HostOptions options;
    std::string error;
    const ZynHost::ParseResult parsed = ZynHost::ParseHostOptions(argc, argv, options, error);
    // The framework's own lines (the Root's farewell at exit) have no place
    // in a help text or a usage error.
    if (parsed != ZynHost::ParseResult::kRun) Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogError;
    switch (parsed) {
        case ZynHost::ParseResult::kHelp:
            std::fputs(ZynHost::UsageText(), stdout);
            return ZynHost::kExitOk;
        case ZynHost::ParseResult::kVersion:
            std::printf("zyn-screensaver %s\n", ZYN_VERSION);
            return ZynHost::kExitOk;
        case ZynHost::ParseResult::kError:
            std::fprintf(stderr, "zyn-screensaver: %s\nTry 'zyn-screensaver --help'.\n", error.c_str());
            return ZynHost::kExitUsage;
        case ZynHost::ParseResult::kRun:
            break;
    }
    return options.mode == ZynHost::Mode::kHeadless ? ZynHost::RunHeadless(options)
                                                    : ZynHost::RunLive(options);
}
