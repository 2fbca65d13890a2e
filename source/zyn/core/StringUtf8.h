// A byte string that holds UTF-8 text.
#pragma once

#include <string>

namespace Zyn {

class StringUtf8 : public std::string {
public:
    StringUtf8() = default;
    StringUtf8(const char* text) : std::string(text ? text : "") {}
    StringUtf8(size_type count, char fill) : std::string(count, fill) {}

    /// Replaces \1 .. \9 with the NUL-terminated string arguments after the
    /// unused integer. The result is one shared string, valid until the next call.
    StringUtf8& var(int unused, ...);
};

}  // namespace Zyn
