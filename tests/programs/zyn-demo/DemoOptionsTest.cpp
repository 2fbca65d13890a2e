// zyn-demo's command line: what each mode takes, its defaults, and every
// misuse that must end in a usage error before anything starts.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "DemoOptions.h"

using Demo::DemoOptions;

namespace {

std::string Parse(std::vector<const char*> args, DemoOptions& o) {
    args.insert(args.begin(), "zyn-demo");
    return Demo::ParseDemoOptions(int(args.size()), args.data(), o);
}

}  // namespace

TEST(DemoOptions, HeadlessTakesItsValuesInBothSpellings) {
    DemoOptions o;
    ASSERT_EQ(Parse({"--headless", "--out", "frames", "--seconds=2.5", "--fps", "12", "--size=320x200",
                     "--data", "d"},
                    o),
              "");
    EXPECT_EQ(o.mode, DemoOptions::kHeadless);
    EXPECT_EQ(o.out, "frames");
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    EXPECT_DOUBLE_EQ(o.fps, 12.0);
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.data, "d");
}

TEST(DemoOptions, EachModeHasItsOwnDefaultSize) {
    DemoOptions headless;
    ASSERT_EQ(Parse({"--headless", "--out", "x"}, headless), "");
    EXPECT_EQ(headless.width, Demo::kDefaultFrameWidth);
    EXPECT_EQ(headless.height, Demo::kDefaultFrameHeight);
    DemoOptions window;
    ASSERT_EQ(Parse({"--window"}, window), "");
    EXPECT_EQ(window.mode, DemoOptions::kWindow);
    EXPECT_EQ(window.width, Demo::kDefaultWindowWidth);
    EXPECT_EQ(window.height, Demo::kDefaultWindowHeight);
}

TEST(DemoOptions, TheWindowSizeIsOptionalAndNeverSwallowsAnOption) {
    DemoOptions a;
    ASSERT_EQ(Parse({"--window", "800x600", "--autoplay"}, a), "");
    EXPECT_EQ(a.width, 800);
    EXPECT_EQ(a.height, 600);
    EXPECT_TRUE(a.autoplay);
    DemoOptions b;
    ASSERT_EQ(Parse({"--window=640x480"}, b), "");
    EXPECT_EQ(b.width, 640);
    DemoOptions c;
    ASSERT_EQ(Parse({"--window", "--data", "somewhere"}, c), "");
    EXPECT_EQ(c.width, Demo::kDefaultWindowWidth);
    EXPECT_EQ(c.data, "somewhere");
}

TEST(DemoOptions, HelpStopsTheReadingOfLaterArguments) {
    DemoOptions o;
    EXPECT_EQ(Parse({"--bogus", "--help"}, o), "unknown option --bogus");
    DemoOptions p;
    EXPECT_EQ(Parse({"--help", "--bogus"}, p), "");
    EXPECT_TRUE(p.help);
}

struct BadArgs {
    const char* name;
    std::vector<const char*> args;
    const char* problem;  // a part of the message
};

void PrintTo(const BadArgs& bad, std::ostream* os) { *os << bad.name; }

class DemoOptionsRejects : public ::testing::TestWithParam<BadArgs> {};

TEST_P(DemoOptionsRejects, WithAMessageNamingTheProblem) {
    DemoOptions o;
    const std::string problem = Parse(GetParam().args, o);
    EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Misuse, DemoOptionsRejects,
    ::testing::Values(
        BadArgs{"NoMode", {}, "choose --window or --headless"},
        BadArgs{"TwoModes", {"--window", "--headless"}, "once"},
        BadArgs{"NoOut", {"--headless"}, "needs --out"},
        BadArgs{"OutWithoutValue", {"--headless", "--out"}, "needs a value"},
        BadArgs{"FpsTooLow", {"--headless", "--out", "x", "--fps", "3"}, "--fps takes"},
        BadArgs{"FpsTooHigh", {"--headless", "--out", "x", "--fps", "241"}, "--fps takes"},
        BadArgs{"FpsNotANumber", {"--headless", "--out", "x", "--fps", "12fps"}, "--fps takes"},
        BadArgs{"NoSeconds", {"--headless", "--out", "x", "--seconds", "0"}, "--seconds takes"},
        BadArgs{"TooManySeconds", {"--headless", "--out", "x", "--seconds", "601"}, "--seconds takes"},
        BadArgs{"SecondsNaN", {"--headless", "--out", "x", "--seconds", "nan"}, "--seconds takes"},
        BadArgs{"SizeTooSmall", {"--headless", "--out", "x", "--size", "63x100"}, "--size takes"},
        BadArgs{"SizeWithoutHeight", {"--headless", "--out", "x", "--size", "100"}, "--size takes"},
        BadArgs{"AutoplayHeadless", {"--headless", "--out", "x", "--autoplay"}, "--autoplay belongs"},
        BadArgs{"WindowSizeBad", {"--window", "12"}, "--window takes"},
        BadArgs{"WindowSizeEmpty", {"--window=", "--autoplay"}, "needs a size"},
        BadArgs{"SecondsInWindow", {"--window", "--seconds", "3"}, "--seconds belongs to --headless"},
        BadArgs{"FlagWithValue", {"--window", "--verbose=1"}, "takes no value"},
        BadArgs{"UnknownOption", {"--window", "--frobnicate"}, "unknown option"},
        BadArgs{"StrayWord", {"--window", "800x600", "extra"}, "unexpected argument"},
        BadArgs{"NoFrame", {"--headless", "--out", "x", "--seconds", "0.1", "--fps", "4"}, "no frame"}),
    [](const ::testing::TestParamInfo<BadArgs>& info) { return std::string(info.param.name); });
