#include "CommandArgs.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace ZynTool {

bool Args::Has(const std::string& name) const {
    for (const auto& o : options)
        if (o.first == name) return true;
    return false;
}

std::string Args::Value(const std::string& name) const {
    std::string v;
    for (const auto& o : options)
        if (o.first == name) v = o.second;
    return v;
}

Args ParseArgs(int argc, char** argv, int first, const std::vector<OptionDef>& defs) {
    Args a;
    bool optionsDone = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            a.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            a.help = true;
            continue;
        }
        if (arg == "-v" || arg == "--verbose") {
            a.verbose = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const OptionDef* def = nullptr;
        for (const OptionDef& s : defs) {
            if ((s.shortName && name == s.shortName) || name == s.longName) def = &s;
        }
        if (!def) {
            // A negative number is a value (set ... "Loops" -1), not an option.
            if (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.') {
                a.positional.push_back(arg);
                continue;
            }
            if (a.problem.empty()) a.problem = "unknown option " + arg;
            continue;
        }
        if (def->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                if (a.problem.empty()) a.problem = "option " + arg + " needs a value";
                continue;
            }
            value = argv[++i];
        } else if (!def->takesValue && inlineValue) {
            if (a.problem.empty()) a.problem = "option " + name + " takes no value";
            continue;
        }
        a.options.emplace_back(def->longName, value);
    }
    return a;
}

bool ParseSize(const std::string& text, int minSide, int maxSide, int& w, int& h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    int width = 0, height = 0;
    if (!ParseInteger(text.substr(0, x), minSide, maxSide, width) ||
        !ParseInteger(text.substr(x + 1), minSide, maxSide, height))
        return false;
    w = width;
    h = height;
    return true;
}

bool ParseInteger(const std::string& text, long long min, long long max, long long& value, bool allowHex) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    int base = 10;
    if (allowHex && text.size() > i + 1 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    // Accumulated as a magnitude with its own overflow check: strtoll would
    // take blanks and '+' and quietly clamp.
    unsigned long long magnitude = 0;
    const unsigned long long limit = 1ull << 63;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit = 0;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return false;
        if (magnitude > (limit - unsigned(digit)) / unsigned(base)) return false;
        magnitude = magnitude * unsigned(base) + unsigned(digit);
    }
    long long v = 0;
    if (negative)
        v = magnitude == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(magnitude);
    else if (magnitude >= limit)
        return false;
    else
        v = static_cast<long long>(magnitude);
    if (v < min || v > max) return false;
    value = v;
    return true;
}

bool ParseInteger(const std::string& text, int min, int max, int& value) {
    long long v = 0;
    if (!ParseInteger(text, static_cast<long long>(min), static_cast<long long>(max), v)) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseNumber(const std::string& text, double min, double max, double& value) {
    if (text.empty() || text[0] == '+') return false;
    // strtod alone would also read blanks, hexadecimal, "inf" and "nan".
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' && c != 'e' &&
            c != 'E')
            return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < min || v > max) return false;
    value = v;
    return true;
}

}  // namespace ZynTool
