// zyn-demo's command line.
#pragma once

#include <string>

namespace Demo {

struct DemoOptions {
    enum Mode { kNoMode, kWindow, kHeadless };
    Mode mode = kNoMode;
    int width = 0;  // 0: the mode's default size
    int height = 0;
    double seconds = 18.0;
    double fps = 30.0;
    std::string out;
    std::string data;  // empty: found next to the program
    bool autoplay = false;
    bool verbose = false;
    bool help = false;
};

/// Window size when none is given, and the headless frame size.
constexpr int kDefaultWindowWidth = 1024;
constexpr int kDefaultWindowHeight = 768;
constexpr int kDefaultFrameWidth = 640;
constexpr int kDefaultFrameHeight = 480;
/// The framework caps one step at 0.25 s: slower rates would play slow motion.
constexpr double kMinFps = 4.0;
constexpr double kMaxFps = 240.0;
constexpr double kMaxSeconds = 600.0;
constexpr int kMinSide = 64;
constexpr int kMaxSide = 4096;

extern const char* const kHelp;

/// Fills o from the arguments. Returns the problem for the user, or empty.
/// With --help nothing else is checked.
std::string ParseDemoOptions(int argc, const char* const* argv, DemoOptions& o);

}  // namespace Demo
