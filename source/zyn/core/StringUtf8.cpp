#include <zyn/core/StringUtf8.h>

#include <cstdarg>
#include <iterator>

#include <utf8.h>

namespace Zyn {

namespace {

const int kMaxArgs = 9;

}  // namespace

StringUtf8& StringUtf8::var(int argCount, ...) {
    static StringUtf8 s_Result(1024, '\0');
    s_Result.clear();

    const char* args[kMaxArgs] = {};
    const int count = argCount < 0 ? 0 : (argCount > kMaxArgs ? kMaxArgs : argCount);
    va_list list;
    va_start(list, argCount);
    for (int i = 0; i < count; ++i) args[i] = va_arg(list, const char*);
    va_end(list);

    // Placeholders are ASCII, and ASCII bytes never occur inside a multi-byte
    // UTF-8 sequence, so scanning bytes walks the characters.
    const size_type n = size();
    for (size_type i = 0; i < n; ++i) {
        const char c = (*this)[i];
        if (c == '\\' && i + 1 < n) {
            const char d = (*this)[i + 1];
            if (d >= '1' && d <= '9') {
                const int index = d - '1';
                if (index < count && args[index]) {
                    s_Result += args[index];
                    ++i;
                    continue;
                }
            }
        }
        s_Result += c;
    }
    return s_Result;
}

bool StringUtf8::IsValidUtf8() const { return utf8::is_valid(begin(), end()); }

bool StringUtf8::ReplaceInvalidUtf8() {
    if (IsValidUtf8()) return false;
    std::string out;
    out.reserve(size() + 16);
    try {
        utf8::replace_invalid(begin(), end(), std::back_inserter(out));
    } catch (const utf8::exception&) {
        // Only a bad replacement character throws; keep the text as it was.
        return false;
    }
    assign(out);
    return true;
}

}  // namespace Zyn
