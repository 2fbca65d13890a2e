#include "DemoOptions.h"

#include <cmath>
#include <vector>

#include "CommandArgs.h"

namespace Demo {

const char* const kHelp =
    "Usage: zyn-demo --window [WxH] [--autoplay] [--data DIR]\n"
    "       zyn-demo --headless --out DIR [--seconds S] [--fps F] [--size WxH] [--data DIR]\n"
    "A tour of the Zyn framework: logo screens, a screen of widgets with a name\n"
    "field, a slide to the background loader's progress bar and a fade to a\n"
    "playground of particle effects.\n"
    "\n"
    "  --window [WxH]   play in a window (default 1024x768). Keys: Space, Return or\n"
    "                   a click skips a logo; type a name and press Return; click\n"
    "                   when loading is done; Left/Right switch effects, Space\n"
    "                   replays; F12 shows the frame rate; Escape quits\n"
    "  --autoplay       in the window, let the demo's script do the typing\n"
    "  --headless       render offscreen on a fixed step, the script playing the\n"
    "                   user, into DIR: frame-00000.png, ... (frame k shows\n"
    "                   (k + 1) / F seconds), contact.png (one row per stage) and\n"
    "                   stages.txt (each stage's name, first frame and time).\n"
    "                   The same options give the same bytes on every run\n"
    "  --out DIR        where the headless images go; created when missing\n"
    "  --seconds S      headless length, above 0 and at most 600 (default 18,\n"
    "                   enough for every stage)\n"
    "  --fps F          headless frames per second, 4 to 240 (default 30)\n"
    "  --size WxH       headless frame size, 64 to 4096 a side (default 640x480)\n"
    "  --data DIR       the folder holding demo.pac (default: the build tree's\n"
    "                   data folder when run from the build tree, else the\n"
    "                   installed share/zyn-demo)\n"
    "  -v, --verbose    show the framework's information lines\n"
    "  -h, --help       show this help\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad usage.\n";

namespace {

bool IsValued(const std::string& arg) {
    static const char* const kValued[] = {"--out", "--seconds", "--fps", "--size", "--data"};
    for (const char* k : kValued)
        if (arg == k) return true;
    return false;
}

}  // namespace

std::string ParseDemoOptions(int argc, const char* const* argv, DemoOptions& o) {
    std::vector<std::string> headlessOnly;
    bool hasSize = false;
    std::string windowSize;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            return "";
        }
        if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (arg == "--autoplay") {
            o.autoplay = true;
            continue;
        }
        if (arg == "--window" || arg.rfind("--window=", 0) == 0 || arg == "--headless") {
            const DemoOptions::Mode mode =
                arg == "--headless" ? DemoOptions::kHeadless : DemoOptions::kWindow;
            if (o.mode != DemoOptions::kNoMode) return "give one of --window and --headless, once";
            o.mode = mode;
            if (arg.rfind("--window=", 0) == 0) {
                windowSize = arg.substr(9);
                if (windowSize.empty()) return "--window= needs a size WxH";
            } else if (mode == DemoOptions::kWindow && i + 1 < argc && argv[i + 1][0] != '-') {
                // The size is optional: a following word that is no option is it.
                windowSize = argv[++i];
            }
            continue;
        }
        if (arg.empty() || arg[0] != '-') return "unexpected argument \"" + arg + "\"";
        std::string value;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            if (!IsValued(arg)) return "option " + arg + " takes no value";
        } else {
            if (!IsValued(arg)) return "unknown option " + arg;
            if (i + 1 >= argc) return "option " + arg + " needs a value";
            value = argv[++i];
        }
        double d = 0.0;
        if (arg == "--data") {
            if (value.empty()) return "option --data needs a folder";
            o.data = value;
            continue;
        }
        headlessOnly.push_back(arg);
        if (arg == "--out") {
            if (value.empty()) return "option --out needs a folder";
            o.out = value;
        } else if (arg == "--seconds") {
            if (!ZynTool::ParseNumber(value, 0.0, kMaxSeconds, d) || !(d > 0.0))
                return "--seconds takes a number above 0 and at most 600, not \"" + value + "\"";
            o.seconds = d;
        } else if (arg == "--fps") {
            if (!ZynTool::ParseNumber(value, kMinFps, kMaxFps, d))
                return "--fps takes a frame rate from 4 to 240, not \"" + value + "\"";
            o.fps = d;
        } else if (arg == "--size") {
            if (!ZynTool::ParseSize(value, kMinSide, kMaxSide, o.width, o.height))
                return "--size takes WIDTHxHEIGHT, each from 64 to 4096, not \"" + value + "\"";
            hasSize = true;
        }
    }
    if (o.mode == DemoOptions::kNoMode) return "choose --window or --headless";
    if (o.mode == DemoOptions::kWindow) {
        if (!headlessOnly.empty()) return "option " + headlessOnly[0] + " belongs to --headless";
        if (windowSize.empty()) {
            o.width = kDefaultWindowWidth;
            o.height = kDefaultWindowHeight;
        } else if (!ZynTool::ParseSize(windowSize, kMinSide, kMaxSide, o.width, o.height)) {
            return "--window takes WIDTHxHEIGHT, each from 64 to 4096, not \"" + windowSize + "\"";
        }
        return "";
    }
    if (o.autoplay) return "--autoplay belongs to --window (headless runs always follow the script)";
    if (o.out.empty()) return "--headless needs --out DIR";
    if (!hasSize) {
        o.width = kDefaultFrameWidth;
        o.height = kDefaultFrameHeight;
    }
    if (std::floor(o.seconds * o.fps + 0.5) < 1.0) return "--seconds and --fps give no frame to write";
    return "";
}

}  // namespace Demo
