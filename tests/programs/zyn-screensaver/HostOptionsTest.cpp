// The host's command line, log placement and contact sheet choice, as units.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "HostOptions.h"
#include "HostRun.h"
#include "programs/support/HostTestUtil.h"

using namespace ZynHost;

namespace {

ParseResult Parse(std::vector<const char*> args, HostOptions& options, std::string& error) {
    args.insert(args.begin(), "zyn-screensaver");
    return ParseHostOptions(int(args.size()), args.data(), options, error);
}

struct BadCase {
    std::vector<const char*> args;
    const char* message;  // part of the error line
};

class HostOptionsRefuse : public ::testing::TestWithParam<BadCase> {};

// Readable test names: the arguments' letters and digits, then the index.
std::string CaseName(const ::testing::TestParamInfo<BadCase>& info) {
    std::string name;
    for (const char* arg : info.param.args) {
        for (const char* c = arg; *c; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
        }
        name += '_';
    }
    return name + std::to_string(info.index);
}

}  // namespace

TEST_P(HostOptionsRefuse, ReportsTheOffendingArgument) {
    HostOptions options;
    std::string error;
    EXPECT_EQ(Parse(GetParam().args, options, error), ParseResult::kError);
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, HostOptionsRefuse,
    ::testing::Values(
        BadCase{{"--frobnicate"}, "unknown option '--frobnicate'"},
        BadCase{{"stray"}, "unexpected argument 'stray'"}, BadCase{{"-window-id"}, "needs a value"},
        BadCase{{"-window-id", "0x"}, "bad window id"},
        BadCase{{"-window-id", "12abc"}, "bad window id '12abc'"}, BadCase{{"-delay", "-5"}, "bad delay"},
        BadCase{{"-delay", "10000001"}, "bad delay"}, BadCase{{"-detail", "medium"}, "bad detail 'medium'"},
        BadCase{{"--frame-rate", "0"}, "bad frame rate"}, BadCase{{"--frame-rate", "1001"}, "bad frame rate"},
        BadCase{{"--frame-rate=fast"}, "bad frame rate 'fast'"},
        BadCase{{"-fps", "10"}, "the frame rate is --frame-rate 10"}, BadCase{{"--fps=10"}, "takes no value"},
        BadCase{{"-replay", "-1"}, "bad replay interval"}, BadCase{{"-visual"}, "needs a value"},
        BadCase{{"--window", "big"}, "bad window size 'big'"}, BadCase{{"--window=10x10"}, "bad window size"},
        BadCase{{"--headless", "--out", "x", "--size", "8193x100"}, "bad size"},
        BadCase{{"--headless", "--out", "x", "--seconds", "0"}, "bad length"},
        BadCase{{"--headless", "--out", "x", "--seconds", "nan"}, "bad length"},
        BadCase{{"--headless"}, "needs --out"},
        BadCase{{"--headless", "-root", "--out", "x"}, "cannot be combined"},
        BadCase{{"--window", "-window-id", "5"}, "cannot be combined"},
        BadCase{{"-root", "--size", "100x100"}, "--size only applies with --headless"},
        BadCase{{"--out", "x"}, "--out only applies with --headless"},
        BadCase{{"--headless", "--out", "x", "-delay", "100"}, "takes --frame-rate"},
        BadCase{{"--headless", "--out", "x", "--seconds", "3600", "--frame-rate", "1000"}, "too many frames"},
        BadCase{{"--root=yes"}, "takes no value"}, BadCase{{"--data", ""}, "empty data folder"}),
    CaseName);

TEST(HostOptions, UnderstandsTheDaemonsSpellings) {
    HostOptions options;
    std::string error;
    ASSERT_EQ(Parse({"-root", "-delay", "20000", "-fps", "-detail", "low", "-display", ":3"}, options, error),
              ParseResult::kRun)
        << error;
    EXPECT_EQ(options.mode, Mode::kRoot);
    EXPECT_EQ(options.frameMicroseconds, 20000);
    EXPECT_TRUE(options.showFrameRate);
    EXPECT_EQ(options.detail, Detail::kLow);
    EXPECT_EQ(options.display, ":3");

    HostOptions doubled;
    ASSERT_EQ(Parse({"--root", "--delay=0", "--fps", "--detail=high"}, doubled, error), ParseResult::kRun)
        << error;
    EXPECT_EQ(doubled.mode, Mode::kRoot);
    EXPECT_EQ(doubled.frameMicroseconds, 0);
    EXPECT_TRUE(doubled.showFrameRate);
    EXPECT_EQ(doubled.detail, Detail::kHigh);
}

TEST(HostOptions, WindowIdWinsOverRootInEitherOrder) {
    for (const std::vector<const char*>& args : {std::vector<const char*>{"-root", "-window-id", "0x2a"},
                                                 std::vector<const char*>{"--window-id", "42", "--root"}}) {
        HostOptions options;
        std::string error;
        ASSERT_EQ(Parse(args, options, error), ParseResult::kRun) << error;
        EXPECT_EQ(options.mode, Mode::kWindowId);
        EXPECT_EQ(options.windowId, 42ul);
    }
}

TEST(HostOptions, FpsIsTheDisplaySwitchAndTheRateHasItsOwnOption) {
    HostOptions rate;
    std::string error;
    ASSERT_EQ(Parse({"--frame-rate", "12", "-root"}, rate, error), ParseResult::kRun) << error;
    EXPECT_FALSE(rate.showFrameRate);
    EXPECT_DOUBLE_EQ(rate.framesPerSecond, 12.0);
    EXPECT_EQ(rate.frameMicroseconds, 83333);

    HostOptions flag;
    ASSERT_EQ(Parse({"--fps", "-root"}, flag, error), ParseResult::kRun) << error;
    EXPECT_TRUE(flag.showFrameRate);
    EXPECT_EQ(flag.frameMicroseconds, 33333);

    HostOptions off;
    ASSERT_EQ(Parse({"-fps", "-no-fps", "-root"}, off, error), ParseResult::kRun) << error;
    EXPECT_FALSE(off.showFrameRate);

    // The later of -delay and --frame-rate sets the pace.
    HostOptions later;
    ASSERT_EQ(Parse({"--frame-rate", "10", "-delay", "5000"}, later, error), ParseResult::kRun) << error;
    EXPECT_EQ(later.frameMicroseconds, 5000);
    ASSERT_EQ(Parse({"-delay", "5000", "--frame-rate", "50"}, later, error), ParseResult::kRun) << error;
    EXPECT_EQ(later.frameMicroseconds, 20000);
}

TEST(HostOptions, TakesWhatEveryHackIsGivenAndTheShowsOwnOptions) {
    HostOptions options;
    std::string error;
    ASSERT_EQ(Parse({"-root", "-install", "-visual", "0x21", "-noinstall", "-mono", "-verbose", "-verbose",
                     "-replay", "2.5"},
                    options, error),
              ParseResult::kRun)
        << error;
    EXPECT_EQ(options.mode, Mode::kRoot);
    EXPECT_EQ(options.verbose, 2);
    EXPECT_DOUBLE_EQ(options.replayMinutes, 2.5);
    EXPECT_FALSE(options.showFrameRate);
}

TEST(HostOptions, PreviewWindowIsTheDefaultAndTakesAnOptionalSize) {
    HostOptions none;
    std::string error;
    ASSERT_EQ(Parse({}, none, error), ParseResult::kRun);
    EXPECT_EQ(none.mode, Mode::kWindow);

    HostOptions sized;
    ASSERT_EQ(Parse({"--window", "320x200", "-fps"}, sized, error), ParseResult::kRun) << error;
    EXPECT_EQ(sized.mode, Mode::kWindow);
    EXPECT_EQ(sized.windowWidth, 320);
    EXPECT_EQ(sized.windowHeight, 200);
    EXPECT_TRUE(sized.showFrameRate);

    HostOptions bare;
    ASSERT_EQ(Parse({"--window", "--detail", "low"}, bare, error), ParseResult::kRun) << error;
    EXPECT_EQ(bare.windowWidth, 800);
    EXPECT_EQ(bare.detail, Detail::kLow);
}

TEST(HostOptions, HeadlessRunCountsWholeFrames) {
    HostOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--headless", "--seconds", "1", "--frame-rate", "10", "--size", "160x100", "--out", "o"},
                    options, error),
              ParseResult::kRun)
        << error;
    EXPECT_EQ(options.mode, Mode::kHeadless);
    EXPECT_EQ(HeadlessFrameCount(options), 10);
    EXPECT_EQ(options.width, 160);
    EXPECT_EQ(options.height, 100);
    options.seconds = 0.26;
    options.framesPerSecond = 10;
    EXPECT_EQ(HeadlessFrameCount(options), 3);  // rounded, not cut
    options.seconds = 0.01;
    EXPECT_EQ(HeadlessFrameCount(options), 1);  // never nothing
}

TEST(HostOptions, HelpAndVersionStopParsing) {
    HostOptions options;
    std::string error;
    EXPECT_EQ(Parse({"-root", "--help", "--bogus"}, options, error), ParseResult::kHelp);
    EXPECT_EQ(Parse({"-h"}, options, error), ParseResult::kHelp);
    EXPECT_EQ(Parse({"--version"}, options, error), ParseResult::kVersion);
    EXPECT_NE(std::string(UsageText()).find("--headless"), std::string::npos);
}

TEST(HostOptions, WindowIdsAsTheDaemonWritesThem) {
    unsigned long id = 0;
    EXPECT_TRUE(ParseWindowId("0x1400007", id));
    EXPECT_EQ(id, 0x1400007ul);
    EXPECT_TRUE(ParseWindowId("0XFF", id));
    EXPECT_EQ(id, 255ul);
    EXPECT_TRUE(ParseWindowId("20971527", id));
    EXPECT_EQ(id, 20971527ul);
    EXPECT_TRUE(ParseWindowId("4294967295", id));
    for (const char* bad : {"", "0", "0x0", "0x", "0x0x12", "-5", "+5", " 5", "5 ", "12abc", "0x1FFFFFFFF",
                            "4294967296", "0xg"}) {
        EXPECT_FALSE(ParseWindowId(bad, id)) << bad;
    }
}

TEST(HostOptions, SizesWithinLimits) {
    int w = 0, h = 0;
    EXPECT_TRUE(ParseSize("16x16", w, h));
    EXPECT_TRUE(ParseSize("8192X8192", w, h));
    EXPECT_EQ(w, 8192);
    for (const char* bad : {"15x100", "100x15", "100x", "x100", "100x100x", " 100x100", "100*100", "-16x16",
                            "99999999999x16"}) {
        EXPECT_FALSE(ParseSize(bad, w, h)) << bad;
    }
}

TEST(ContactSheetFrames, SpreadsEvenlyWithFirstAndLast) {
    EXPECT_TRUE(ContactSheetFrames(0).empty());
    EXPECT_EQ(ContactSheetFrames(1), std::vector<int>{0});
    EXPECT_EQ(ContactSheetFrames(4), (std::vector<int>{0, 1, 2, 3}));
    const std::vector<int> many = ContactSheetFrames(1000);
    ASSERT_EQ(int(many.size()), kMaxSheetTiles);
    EXPECT_EQ(many.front(), 0);
    EXPECT_EQ(many.back(), 999);
    for (size_t i = 1; i < many.size(); ++i) {
        EXPECT_GT(many[i], many[i - 1]);
        // Even spacing: gaps differ by at most one frame.
        EXPECT_NEAR(many[i] - many[i - 1], 999.0 / (kMaxSheetTiles - 1), 1.0);
    }
}

class LogPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_STATE_HOME"}) {
            const char* v = std::getenv(name);
            m_Saved.push_back(v ? std::string(v) : std::string("\x01"));
        }
        setenv("HOME", m_Home.Path().c_str(), 1);
        unsetenv("XDG_STATE_HOME");
    }
    void TearDown() override {
        const char* names[] = {"HOME", "XDG_STATE_HOME"};
        for (size_t i = 0; i < 2; ++i) {
            if (m_Saved[i] == "\x01")
                unsetenv(names[i]);
            else
                setenv(names[i], m_Saved[i].c_str(), 1);
        }
    }
    HostTest::TempDir m_Home;
    std::vector<std::string> m_Saved;
};

TEST_F(LogPlacement, PreviewAndExportLogIntoTheStateFolder) {
    HostOptions options;
    options.mode = Mode::kWindow;
    const std::string expected = m_Home.Path() + "/.local/state/zyn-screensaver";
    EXPECT_EQ(ChooseLogFile(options), expected + "/log.txt");
    struct stat st;
    EXPECT_EQ(stat(expected.c_str(), &st), 0) << "the folder is made";

    setenv("XDG_STATE_HOME", (m_Home.Path() + "/state").c_str(), 1);
    options.mode = Mode::kHeadless;
    EXPECT_EQ(ChooseLogFile(options), m_Home.Path() + "/state/zyn-screensaver/log.txt");

    // A relative XDG value is to be ignored.
    setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(GetStateFolder(), expected);
}

TEST_F(LogPlacement, DaemonModesAndNoLogWriteNoFile) {
    HostOptions options;
    for (Mode mode : {Mode::kRoot, Mode::kWindowId}) {
        options.mode = mode;
        EXPECT_EQ(ChooseLogFile(options), "");
    }
    options.mode = Mode::kWindow;
    options.noLogFile = true;
    EXPECT_EQ(ChooseLogFile(options), "");
    struct stat st;
    EXPECT_NE(stat((m_Home.Path() + "/.local").c_str(), &st), 0) << "nothing is made when no log is kept";
}

TEST_F(LogPlacement, AnExplicitLogFileIsMadeAbsolute) {
    HostOptions options;
    options.mode = Mode::kRoot;
    options.logFile = "sub/hack.log";
    const std::string chosen = ChooseLogFile(options);
    ASSERT_FALSE(chosen.empty());
    EXPECT_EQ(chosen[0], '/');
    EXPECT_NE(chosen.find("/sub/hack.log"), std::string::npos);
    options.logFile = "/var/tmp/x.log";
    EXPECT_EQ(ChooseLogFile(options), "/var/tmp/x.log");
}
