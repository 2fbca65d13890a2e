#include "HostOptions.h"

#include <cmath>
#include <limits>

#include "CommandArgs.h"

namespace ZynHost {

namespace {

const int kMinSide = 16;
const int kMaxSide = 8192;
const double kMaxFramesPerSecond = 1000.0;  // the view waits 1 ms between frames anyway
const double kMaxSeconds = 3600.0;
const int kMaxFrames = 100000;
const long long kMaxDelay = 10000000;
const double kMaxReplayMinutes = 1440.0;

const char* const kUsage =
    "Usage: zyn-screensaver [MODE] [OPTIONS]\n"
    "Draws the temple screen saver: for a screen saver daemon, in a preview window\n"
    "or into PNG frames.\n"
    "\n"
    "Modes (the preview window when none is given):\n"
    "  -root, --root             draw into the window named by $XSCREENSAVER_WINDOW,\n"
    "                            else into the root window\n"
    "  -window-id, --window-id ID\n"
    "                            draw into the window ID (0x hex or decimal);\n"
    "                            wins over -root\n"
    "  --window [WxH]            a preview window of its own (default 800x614) that\n"
    "                            closes on a mouse move or on Escape, Return or Space\n"
    "  --headless                render on a fixed step into PNG frames and a\n"
    "                            contact sheet; needs --out\n"
    "  --wayland                 cover every Wayland output (layer-shell overlays,\n"
    "                            else a fullscreen window) until a key, a button\n"
    "                            or a pointer move; the default when\n"
    "                            $WAYLAND_DISPLAY is set and $XSCREENSAVER_WINDOW\n"
    "                            is not (with it set, the default is -root)\n"
    "  --output NAME             with --wayland: cover only the output NAME\n"
    "\n"
    "Options:\n"
    "  -fps, --fps, --show-fps   show the frame rate (-no-fps: do not)\n"
    "  --frame-rate F            frames per second: the pace of live modes, the\n"
    "                            step of --headless (default 30)\n"
    "  -delay, --delay US        microseconds from one frame to the next in live\n"
    "                            modes (default 33333)\n"
    "  -detail, --detail high|low\n"
    "                            low draws 75% of the particles and, on screen,\n"
    "                            half the resolution stretched to fit: about\n"
    "                            half the processor time (default: the saved\n"
    "                            setting)\n"
    "  -display, --display NAME  the X display (default $DISPLAY)\n"
    "  -replay, --replay MINUTES  play the whole show again from the dark every\n"
    "                            MINUTES (default 0: once, then the hall races on)\n"
    "  -verbose, --verbose       more lines on standard error (given twice: debug\n"
    "                            lines); by default only warnings and errors\n"
    "  --seconds S               length of a headless run (default 10)\n"
    "  --size WxH                frame size of a headless run (default 1024x786)\n"
    "  --out DIR                 folder for the frames and contact.png (created)\n"
    "  --data DIR                the folder holding RezAduva.pac\n"
    "  --log FILE                write the log to FILE\n"
    "  --no-log                  write no log file (the log still goes to stderr)\n"
    "  --stats FILE              at exit, write the frames drawn and the seconds run\n"
    "  -install, -noinstall, -mono, -pair, -visual ID\n"
    "                            given to every hack by some daemons; accepted and\n"
    "                            ignored (the GL visual is the window's own)\n"
    "  -h, --help                show this help\n"
    "  --version                 show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad arguments.\n";

using ZynTool::ParseInteger;
using ZynTool::ParseNumber;

const long long kMaxWindowId = 0xFFFFFFFF;

bool IsNumber(const std::string& text) {
    double any = 0.0;
    return ParseNumber(text, std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max(), any);
}

bool IsFrameRate(const std::string& text, double& fps) {
    return ParseNumber(text, 0.0, kMaxFramesPerSecond, fps) && fps > 0.0;
}

class Parser {
public:
    Parser(int argc, const char* const* argv, HostOptions& options, std::string& error)
        : m_Argc(argc), m_Argv(argv), m_Options(options), m_Error(error) {}

    ParseResult Run();

private:
    bool Fail(const std::string& message) {
        m_Error = message;
        return false;
    }
    // The value of the current option: its "=value" part or the next argument.
    bool TakeValue(const std::string& name, std::string& value);
    bool HasInlineValue() const { return m_bInline; }
    bool ParseOne(const std::string& arg, ParseResult& result);
    bool Check();

    int m_Argc;
    const char* const* m_Argv;
    HostOptions& m_Options;
    std::string& m_Error;
    int m_Index = 1;
    bool m_bInline = false;
    std::string m_InlineValue;

    bool m_bRoot = false;
    bool m_bWindowId = false;
    bool m_bWindow = false;
    bool m_bHeadless = false;
    bool m_bWayland = false;
    bool m_bDelay = false;
    std::string m_HeadlessOnly;  // the first headless-only option seen
};

bool Parser::TakeValue(const std::string& name, std::string& value) {
    if (m_bInline) {
        value = m_InlineValue;
        return true;
    }
    if (m_Index + 1 >= m_Argc) return Fail(name + " needs a value");
    value = m_Argv[++m_Index];
    return true;
}

bool Parser::ParseOne(const std::string& raw, ParseResult& result) {
    std::string arg = raw;
    m_bInline = false;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        const std::string::size_type eq = arg.find('=');
        if (eq != std::string::npos) {
            m_bInline = true;
            m_InlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
    }
    // The daemon's single-dash spellings are the same options.
    std::string name = arg;
    if (name.size() > 1 && name[0] == '-' && name[1] != '-') name = "-" + name;

    std::string value;
    if (name == "--help" || arg == "-h") {
        result = ParseResult::kHelp;
        return true;
    }
    if (name == "--version") {
        result = ParseResult::kVersion;
        return true;
    }
    if (name == "--root") {
        m_bRoot = true;
    } else if (name == "--window-id") {
        if (!TakeValue(arg, value)) return false;
        if (!ParseWindowId(value, m_Options.windowId)) return Fail("bad window id '" + value + "'");
        m_bWindowId = true;
    } else if (name == "--window") {
        m_bWindow = true;
        if (m_bInline) {
            if (!ParseSize(m_InlineValue, m_Options.windowWidth, m_Options.windowHeight))
                return Fail("bad window size '" + m_InlineValue + "' (WxH, 16 to 8192 each)");
        } else if (m_Index + 1 < m_Argc && m_Argv[m_Index + 1][0] != '-') {
            // The size is optional: anything else that follows is an error
            // of its own, reported as a bad size rather than as a stray word.
            value = m_Argv[++m_Index];
            if (!ParseSize(value, m_Options.windowWidth, m_Options.windowHeight))
                return Fail("bad window size '" + value + "' (WxH, 16 to 8192 each)");
        }
    } else if (name == "--headless") {
        m_bHeadless = true;
    } else if (name == "--wayland") {
        m_bWayland = true;
    } else if (name == "--output") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty output name");
        m_Options.outputName = value;
    } else if (name == "--fps" || name == "--show-fps") {
        // A switch, as in every hack: the frame rate has its own option.
        m_Options.showFrameRate = true;
        if (!m_bInline && m_Index + 1 < m_Argc && IsNumber(m_Argv[m_Index + 1]))
            return Fail(std::string("-fps shows the frame rate and takes no value; the frame rate is "
                                    "--frame-rate ") + m_Argv[m_Index + 1]);
    } else if (name == "--no-fps") {
        m_Options.showFrameRate = false;
    } else if (name == "--frame-rate") {
        if (!TakeValue(arg, value)) return false;
        double fps = 0.0;
        if (!IsFrameRate(value, fps)) return Fail("bad frame rate '" + value + "' (above 0, at most 1000)");
        m_Options.framesPerSecond = fps;
        m_Options.frameMicroseconds = std::lround(1000000.0 / fps);
        m_bDelay = false;
    } else if (name == "--verbose") {
        ++m_Options.verbose;
    } else if (name == "--replay") {
        if (!TakeValue(arg, value)) return false;
        double minutes = 0.0;
        if (!ParseNumber(value, 0.0, kMaxReplayMinutes, minutes))
            return Fail("bad replay interval '" + value + "' (minutes, 0 to 1440)");
        m_Options.replayMinutes = minutes;
    } else if (name == "--install" || name == "--noinstall" || name == "--mono" || name == "--pair") {
        // Colormap and visual choices of X11 hacks: ours come with the window.
    } else if (name == "--visual") {
        if (!TakeValue(arg, value)) return false;
    } else if (name == "--delay") {
        if (!TakeValue(arg, value)) return false;
        long long delay = 0;
        if (!ParseInteger(value, 0, kMaxDelay, delay))
            return Fail("bad delay '" + value + "' (microseconds, 0 to 10000000)");
        m_Options.frameMicroseconds = long(delay);
        m_bDelay = true;
    } else if (name == "--detail") {
        if (!TakeValue(arg, value)) return false;
        if (value == "high")
            m_Options.detail = Detail::kHigh;
        else if (value == "low")
            m_Options.detail = Detail::kLow;
        else
            return Fail("bad detail '" + value + "' (high or low)");
    } else if (name == "--display") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty display name");
        m_Options.display = value;
    } else if (name == "--seconds") {
        if (!TakeValue(arg, value)) return false;
        double s = 0.0;
        if (!ParseNumber(value, 0.0, kMaxSeconds, s) || s <= 0.0)
            return Fail("bad length '" + value + "' (seconds, above 0, at most 3600)");
        m_Options.seconds = s;
        if (m_HeadlessOnly.empty()) m_HeadlessOnly = arg;
    } else if (name == "--size") {
        if (!TakeValue(arg, value)) return false;
        if (!ParseSize(value, m_Options.width, m_Options.height))
            return Fail("bad size '" + value + "' (WxH, 16 to 8192 each)");
        if (m_HeadlessOnly.empty()) m_HeadlessOnly = arg;
    } else if (name == "--out") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty output folder");
        m_Options.outFolder = value;
        if (m_HeadlessOnly.empty()) m_HeadlessOnly = arg;
    } else if (name == "--data") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty data folder");
        m_Options.dataFolder = value;
    } else if (name == "--log") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty log file name");
        m_Options.logFile = value;
        m_Options.noLogFile = false;
    } else if (name == "--no-log") {
        m_Options.noLogFile = true;
        m_Options.logFile.clear();
    } else if (name == "--stats") {
        if (!TakeValue(arg, value)) return false;
        if (value.empty()) return Fail("empty stats file name");
        m_Options.statsFile = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
        return Fail("unknown option '" + raw + "'");
    } else {
        return Fail("unexpected argument '" + raw + "'");
    }
    if (m_bInline && (name == "--root" || name == "--headless" || name == "--wayland" || name == "--show-fps" || name == "--fps" ||
                      name == "--no-fps" || name == "--no-log" || name == "--verbose" || name == "--install" ||
                      name == "--noinstall" || name == "--mono" || name == "--pair"))
        return Fail("option '" + arg + "' takes no value");
    return true;
}

bool Parser::Check() {
    if (m_bWayland && (m_bRoot || m_bWindowId || m_bWindow || m_bHeadless))
        return Fail("--wayland cannot be combined with -root, -window-id, --window or --headless");
    if (!m_Options.outputName.empty() && (m_bRoot || m_bWindowId || m_bWindow || m_bHeadless))
        return Fail("--output only applies with --wayland");
    m_Options.modeGiven = m_bRoot || m_bWindowId || m_bWindow || m_bHeadless || m_bWayland;
    if (m_bHeadless && (m_bRoot || m_bWindowId || m_bWindow))
        return Fail("--headless cannot be combined with -root, -window-id or --window");
    if (m_bWindow && (m_bRoot || m_bWindowId))
        return Fail("--window cannot be combined with -root or -window-id");
    if (m_bHeadless) {
        m_Options.mode = Mode::kHeadless;
        if (m_Options.outFolder.empty()) return Fail("--headless needs --out DIR");
        if (m_bDelay) return Fail("-delay paces live modes; a headless run takes --frame-rate");
        const double frames = std::round(m_Options.seconds * m_Options.framesPerSecond);
        if (frames > kMaxFrames)
            return Fail("too many frames (at most 100000: lower --seconds or --frame-rate)");
        return true;
    }
    if (!m_HeadlessOnly.empty()) return Fail(m_HeadlessOnly + " only applies with --headless");
    if (m_bWayland || !m_Options.outputName.empty()) {
        m_Options.mode = Mode::kWayland;
        m_Options.modeGiven = true;
    } else if (m_bWindowId) {
        m_Options.mode = Mode::kWindowId;  // the explicit window wins over -root
    } else if (m_bRoot) {
        m_Options.mode = Mode::kRoot;
    } else {
        m_Options.mode = Mode::kWindow;
    }
    return true;
}

ParseResult Parser::Run() {
    for (; m_Index < m_Argc; ++m_Index) {
        ParseResult result = ParseResult::kRun;
        if (!m_Argv[m_Index] || !ParseOne(m_Argv[m_Index], result)) return ParseResult::kError;
        if (result != ParseResult::kRun) return result;
    }
    return Check() ? ParseResult::kRun : ParseResult::kError;
}

}  // namespace

ParseResult ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
    error.clear();
    Parser parser(argc, argv, options, error);
    return parser.Run();
}

Mode SessionMode(const std::string& xscreensaverWindow, const std::string& waylandDisplay) {
    if (!xscreensaverWindow.empty()) return Mode::kRoot;
    if (!waylandDisplay.empty()) return Mode::kWayland;
    return Mode::kWindow;
}

bool ParseWindowId(const std::string& text, unsigned long& id) {
    long long value = 0;
    if (!ParseInteger(text, 1, kMaxWindowId, value, true)) return false;
    id = static_cast<unsigned long>(value);
    return true;
}

bool ParseSize(const std::string& text, int& width, int& height) {
    return ZynTool::ParseSize(text, kMinSide, kMaxSide, width, height);
}

int HeadlessFrameCount(const HostOptions& options) {
    const double frames = std::round(options.seconds * options.framesPerSecond);
    return frames < 1.0 ? 1 : int(frames);
}

const char* UsageText() { return kUsage; }

}  // namespace ZynHost
