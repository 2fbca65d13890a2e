// The frame-rate text measures the frames of the last second of real time,
// whatever frame times the application was given.
#include <gtest/gtest.h>

#include <string>

#include <zyn/app/App.h>

using Zyn::FrameRateCounter;

namespace {

struct Pace {
    const char* name;
    long frameUs;       // real time between frames
    long startUs;       // clock value of the first frame
    const char* text;   // after three seconds
};

class FrameRateCounterTest : public ::testing::TestWithParam<Pace> {};

}  // namespace

TEST_P(FrameRateCounterTest, MeasuresRealFramesOfTheLastSecond) {
    const Pace& p = GetParam();
    FrameRateCounter counter;
    long now = p.startUs;
    counter.AddFrame(now);
    EXPECT_STREQ(counter.GetText(), "") << "no text before a second has passed";
    for (long t = p.frameUs; t <= 3000000; t += p.frameUs) {
        now = long(Zyn::u32(p.startUs + t));  // the clock keeps its low 32 bits
        counter.AddFrame(now);
    }
    EXPECT_EQ(std::string(counter.GetText()).substr(0, std::string(p.text).size()), p.text);

    counter.Reset();
    EXPECT_STREQ(counter.GetText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Paces, FrameRateCounterTest,
    ::testing::Values(Pace{"Sixty", 16667, 0, "fps 60\ntpf 0.016667"},
                      Pace{"Four", 250000, 0, "fps 4\ntpf 0.250000"},
                      // A slow machine: five frames a second, never six.
                      Pace{"NearFive", 208333, 0, "fps 5\n"},
                      Pace{"OneEverySecondAndAHalf", 1500000, 0, "fps 1\ntpf 1.500000"},
                      Pace{"AcrossTheClockWrap", 33333, 0xFFF00000L, "fps 30\n"}),
    [](const ::testing::TestParamInfo<Pace>& info) { return std::string(info.param.name); });
