#include <gtest/gtest.h>

#include <cstring>

#include <zyn/io/TextScan.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

TEST(TextScan, SkipsBlanksAndCommentsEndedByLineEndsOrTabs) {
    const char* text = "  # a comment line\n  #tab-ended\tkey = 1";
    const char* p = text;
    EXPECT_TRUE(SkipWhiteSpaceAndComments(&p));
    EXPECT_EQ(std::strncmp(p, "key", 3), 0);

    const char* trailing = " # no line end after me";
    p = trailing;
    EXPECT_FALSE(SkipWhiteSpaceAndComments(&p));
    EXPECT_EQ(*p, '\0');

    const char* empty = "";
    p = empty;
    EXPECT_FALSE(SkipWhiteSpaceAndComments(&p));
    EXPECT_EQ(p, empty);
}

TEST(TextScan, SkipKeywordStopsAtTheFirstBlank) {
    const char* p = "width\t= 3";
    EXPECT_TRUE(SkipKeyword(&p));
    EXPECT_EQ(*p, '\t');
    const char* last = "end";
    p = last;
    EXPECT_FALSE(SkipKeyword(&p));
    EXPECT_EQ(p, last + 3);
}

TEST(TextScan, SkipPartPassesTheEqualsSignOrWarns) {
    ScopedLogCapture log;
    const char* p = "  = # why\n 42";
    EXPECT_TRUE(SkipPart(&p, "width"));
    EXPECT_STREQ(p, "42");

    const char* bad = " : 42";
    p = bad;
    EXPECT_FALSE(SkipPart(&p, "width"));
    EXPECT_EQ(*p, ':');
    EXPECT_TRUE(log->Contains(" W. Syntax error in <width>. = must follow a keyword"));

    const int before = int(log->m_Lines.size());
    p = "   ";
    EXPECT_FALSE(SkipPart(&p, "width"));
    p = " =  ";
    EXPECT_FALSE(SkipPart(&p, "width"));
    EXPECT_EQ(int(log->m_Lines.size()), before);
}

TEST(TextScan, GetIntegerReadsUpToAndPastTheDelimiter) {
    ScopedLogCapture log;
    char text[] = "12, 7";
    char* p = text;
    EXPECT_EQ(GetInteger(&p, ','), 12);
    EXPECT_EQ(p, text + 3);
    EXPECT_EQ(GetInteger(&p, ','), 7);
    EXPECT_EQ(*p, '\0');
    EXPECT_TRUE(log->Contains(" W. Syntax error..."));
    EXPECT_EQ(GetInteger(&p, ','), 0);
    EXPECT_EQ(*p, '\0');

    char negative[] = "  -35x;9";
    p = negative;
    EXPECT_EQ(GetInteger(&p, ';'), -35);
    EXPECT_EQ(GetInteger(&p, '\0'), 9);
    EXPECT_EQ(*p, '\0');

    // atoi is undefined beyond int; the value is clamped instead.
    char huge[] = "99999999999999999999,-99999999999999999999,";
    p = huge;
    EXPECT_EQ(GetInteger(&p, ','), 2147483647);
    EXPECT_EQ(GetInteger(&p, ','), -2147483647 - 1);
}
