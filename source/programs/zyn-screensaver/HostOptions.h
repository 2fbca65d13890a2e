// The command line of zyn-screensaver. Both the daemon's single-dash
// spellings (-root, -window-id, -fps, -delay, -detail, -display, -verbose)
// and double dashes are understood, and the options every hack is given
// that mean nothing here (-install, -visual ID, -mono ...) are accepted and
// ignored. Parsing touches nothing outside its arguments.
#pragma once

#include <string>

namespace ZynHost {

enum class Mode {
    kWindow,    // a preview window of our own (also the default)
    kRoot,      // $XSCREENSAVER_WINDOW, else the root window
    kWindowId,  // a window named on the command line
    kHeadless,  // PNG frames on a fixed step
    kWayland,   // a cover over every Wayland output, ended by user activity
};

enum class Detail { kUnchanged, kHigh, kLow };

struct HostOptions {
    Mode mode = Mode::kWindow;
    unsigned long windowId = 0;
    int windowWidth = 800;
    int windowHeight = 614;
    /// Microseconds from one frame's start to the next in live modes.
    long frameMicroseconds = 33333;
    bool showFrameRate = false;
    /// 0: warnings and errors on standard error; 1 (-verbose): information
    /// too; 2 and more: debug lines as well.
    int verbose = 0;
    /// Minutes after which the whole show plays again; 0: never.
    double replayMinutes = 0.0;
    Detail detail = Detail::kUnchanged;
    std::string display;  // empty: $DISPLAY
    std::string outputName;  // kWayland: the one output to cover; empty: all
    /// Whether the command line named a mode; without one SessionMode decides.
    bool modeGiven = false;

    // Headless export.
    double seconds = 10.0;
    double framesPerSecond = 30.0;
    int width = 1024;
    int height = 786;
    std::string outFolder;

    std::string dataFolder;  // empty: the usual search
    std::string logFile;     // empty: the mode's default
    bool noLogFile = false;
    std::string statsFile;  // empty: none
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

/// Fills `options` from argv[1..argc-1]. kError comes with a one-line
/// `error` naming the offending argument; options are then incomplete.
ParseResult ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

/// The mode of a command line that names none, from the session: the
/// window a host names in $XSCREENSAVER_WINDOW (xsecurelock, MATE) as with
/// -root, else the Wayland cover when $WAYLAND_DISPLAY is set, else the
/// preview window. Arguments are the variables' values, empty when unset.
Mode SessionMode(const std::string& xscreensaverWindow, const std::string& waylandDisplay);

/// A window id as the daemon writes it: "0x" hex or decimal, non-zero, at
/// most 32 bits, nothing after it. False on anything else.
bool ParseWindowId(const std::string& text, unsigned long& id);

/// "WxH" with each side in 16..8192. False on anything else.
bool ParseSize(const std::string& text, int& width, int& height);

/// Frames a headless run of these options renders: seconds × fps rounded
/// to the nearest whole frame, at least 1.
int HeadlessFrameCount(const HostOptions& options);

/// The usage text printed by --help.
const char* UsageText();

}  // namespace ZynHost
