// A byte string that holds UTF-8 text; a std::string with no fields of its own.
#pragma once

#include <string>

namespace Zyn {

class StringUtf8 : public std::string {
public:
    StringUtf8() = default;
    StringUtf8(const char* text) : std::string(text ? text : "") {}
    StringUtf8(size_type count, char fill) : std::string(count, fill) {}

    /// Replaces each \1 .. \9 of the text with the string argument of that
    /// number. The integer says how many NUL-terminated strings follow; a
    /// placeholder beyond them (or naming a null argument) is copied as it
    /// stands, so texts from data files can never read missing arguments.
    /// Any other byte, invalid UTF-8 included, is copied unchanged.
    /// The result is one shared string, valid until the next call (frame
    /// thread only).
    StringUtf8& var(int argCount, ...);

    /// True when every byte belongs to a well-formed UTF-8 sequence.
    bool IsValidUtf8() const;
    /// Replaces each invalid UTF-8 sequence with one U+FFFD. True when
    /// something was replaced.
    bool ReplaceInvalidUtf8();
};

}  // namespace Zyn
