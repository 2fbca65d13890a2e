#include <zyn/io/TextScan.h>

#include <climits>
#include <cstdlib>

#include <zyn/core/Log.h>

namespace Zyn {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void PassBlanks(const char*& p) {
    while (IsBlank(*p)) ++p;
}

}  // namespace

bool SkipWhiteSpaceAndComments(char const** cursor) {
    if (!cursor || !*cursor) return false;
    const char* p = *cursor;
    if (*p == '\0') return false;
    PassBlanks(p);
    while (*p == '#') {
        while (*p != '\0' && *p != '\n' && *p != '\r' && *p != '\t') ++p;
        PassBlanks(p);
    }
    *cursor = p;
    return *p != '\0';
}

bool SkipKeyword(char const** cursor) {
    if (!cursor || !*cursor) return false;
    const char* p = *cursor;
    while (*p != '\0' && !IsBlank(*p)) ++p;
    *cursor = p;
    return *p != '\0';
}

bool SkipPart(char const** cursor, char const* keyword) {
    if (!SkipWhiteSpaceAndComments(cursor)) return false;
    if (**cursor != '=') {
        LogSend(kLogWarning, "Syntax error in <%s>. = must follow a keyword", keyword ? keyword : "");
        return false;
    }
    ++*cursor;
    return SkipWhiteSpaceAndComments(cursor);
}

int GetInteger(char** cursor, char delimiter) {
    if (!cursor || !*cursor || **cursor == '\0') return 0;
    // atoi's value, without its undefined behaviour on overflow.
    const long parsed = std::strtol(*cursor, nullptr, 10);
    const int value = parsed > INT_MAX ? INT_MAX : (parsed < INT_MIN ? INT_MIN : int(parsed));
    char* p = *cursor;
    while (*p != '\0' && *p != delimiter) ++p;
    if (*p == '\0') {
        if (delimiter != '\0') LogSend(kLogWarning, "Syntax error...");
    } else {
        ++p;
    }
    *cursor = p;
    return value;
}

}  // namespace Zyn
