// The number and size parsers every program reads its values with, at and
// beyond their limits.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "CommandArgs.h"

namespace {

struct IntegerCase {
    const char* text;
    long long min, max;
    bool allowHex;
    bool accepted;
    long long value;  // when accepted
};

struct NumberCase {
    const char* text;
    double min, max;
    bool accepted;
    double value;  // when accepted
};

struct SizeCase {
    const char* text;
    bool accepted;
    int w, h;  // when accepted
};

}  // namespace

TEST(CommandArgs, IntegersAreWholeTextWithinTheirLimits) {
    const IntegerCase cases[] = {
        {"0", 0, 10, false, true, 0},
        {"10", 0, 10, false, true, 10},
        {"11", 0, 10, false, false, 0},
        {"-1", 0, 10, false, false, 0},
        {"-5", -10, 10, false, true, -5},
        {"-0", 0, 10, false, true, 0},
        {"007", 0, 10, false, true, 7},
        {"+5", 0, 10, false, false, 0},
        {" 5", 0, 10, false, false, 0},
        {"5 ", 0, 10, false, false, 0},
        {"", 0, 10, false, false, 0},
        {"-", -10, 10, false, false, 0},
        {"12abc", 0, 100, false, false, 0},
        {"1.0", 0, 10, false, false, 0},
        {"0x1F", 0, 100, false, false, 0},
        {"0x1F", 0, 100, true, true, 31},
        {"0XfF", 0, 1000, true, true, 255},
        {"-0x10", -100, 100, true, true, -16},
        {"0x", 0, 100, true, false, 0},
        {"0x0x1", 0, 100, true, false, 0},
        {"0xg", 0, 100, true, false, 0},
        {"4294967295", 1, 0xFFFFFFFFll, false, true, 4294967295ll},
        {"4294967296", 1, 0xFFFFFFFFll, false, false, 0},
        {"9223372036854775807", LLONG_MIN, LLONG_MAX, false, true, LLONG_MAX},
        {"9223372036854775808", LLONG_MIN, LLONG_MAX, false, false, 0},
        {"-9223372036854775808", LLONG_MIN, LLONG_MAX, false, true, LLONG_MIN},
        {"-9223372036854775809", LLONG_MIN, LLONG_MAX, false, false, 0},
        {"0x7FFFFFFFFFFFFFFF", 0, LLONG_MAX, true, true, LLONG_MAX},
        {"0x10000000000000000", 0, LLONG_MAX, true, false, 0},
        {"99999999999999999999", LLONG_MIN, LLONG_MAX, false, false, 0},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" in [" + std::to_string(c.min) + ", " +
                     std::to_string(c.max) + "]" + (c.allowHex ? " hex" : ""));
        long long value = 12345;
        EXPECT_EQ(ZynTool::ParseInteger(c.text, c.min, c.max, value, c.allowHex), c.accepted);
        EXPECT_EQ(value, c.accepted ? c.value : 12345) << "a refused text leaves the value alone";
    }
    // The int form refuses what does not fit its own limits, hexadecimal too.
    int small = 7;
    EXPECT_TRUE(ZynTool::ParseInteger("2147483647", INT_MIN, INT_MAX, small));
    EXPECT_EQ(small, INT_MAX);
    EXPECT_FALSE(ZynTool::ParseInteger("2147483648", INT_MIN, INT_MAX, small));
    EXPECT_FALSE(ZynTool::ParseInteger("0x10", 0, 100, small));
    EXPECT_EQ(small, INT_MAX);
}

TEST(CommandArgs, NumbersAreFiniteDecimalsWithinTheirLimits) {
    // clang-format off
    const NumberCase cases[] = {
        {"4", 4, 1000, true, 4.0},
        {"1000", 4, 1000, true, 1000.0},
        {"3.999", 4, 1000, false, 0.0},
        {"1000.001", 4, 1000, false, 0.0},
        {"1.5", 0, 10, true, 1.5},
        {"-0.5", -1, 1, true, -0.5},
        {".5", 0, 1, true, 0.5},
        {"1e-3", 0, 1, true, 0.001},
        {"2E2", 0, 1000, true, 200.0},
        {"1e309", 0, 1e308, false, 0.0},
        {"1e-400", 0, 1, false, 0.0},
        {"nan", -1e9, 1e9, false, 0.0},
        {"inf", -1e9, 1e9, false, 0.0},
        {"0x10", 0, 100, false, 0.0},
        {"+1", 0, 10, false, 0.0},
        {" 1", 0, 10, false, 0.0},
        {"1 ", 0, 10, false, 0.0},
        {"", 0, 10, false, 0.0},
        {"1e", 0, 10, false, 0.0},
        {"1.5.2", 0, 10, false, 0.0},
        {"12fps", 0, 100, false, 0.0},
        {"3,4", 0, 10, false, 0.0},
    };
    // clang-format on
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        double value = -7.0;
        EXPECT_EQ(ZynTool::ParseNumber(c.text, c.min, c.max, value), c.accepted);
        EXPECT_DOUBLE_EQ(value, c.accepted ? c.value : -7.0);
    }
}

TEST(CommandArgs, SizesAreWidthTimesHeightWithBothSidesInRange) {
    // clang-format off
    const SizeCase cases[] = {
        {"16x16", true, 16, 16},
        {"8192X8192", true, 8192, 8192},
        {"1024x786", true, 1024, 786},
        {"0016x16", true, 16, 16},
        {"15x100", false, 0, 0},
        {"100x15", false, 0, 0},
        {"8193x100", false, 0, 0},
        {"100x", false, 0, 0},
        {"x100", false, 0, 0},
        {"100", false, 0, 0},
        {"100x100x", false, 0, 0},
        {"100xx100", false, 0, 0},
        {" 100x100", false, 0, 0},
        {"100x100 ", false, 0, 0},
        {"100*100", false, 0, 0},
        {"-16x16", false, 0, 0},
        {"+16x16", false, 0, 0},
        {"16.5x16", false, 0, 0},
        {"99999999999x16", false, 0, 0},
    };
    // clang-format on
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.text);
        int w = 1, h = 2;
        EXPECT_EQ(ZynTool::ParseSize(c.text, 16, 8192, w, h), c.accepted);
        EXPECT_EQ(w, c.accepted ? c.w : 1);
        EXPECT_EQ(h, c.accepted ? c.h : 2);
    }
}
