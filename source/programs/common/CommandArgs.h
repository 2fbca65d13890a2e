// The argument parser of the tools that take a command and then options
// ("tool COMMAND [OPTIONS] ARGS..."), and the one set of number and size
// parsers every program reads its values with. The parsers take the whole
// text: no blanks around it, nothing after it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ZynTool {

/// A command's arguments after its name, with the common options taken out.
struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // long name, value ("" for flags)
    bool help = false;     // -h, --help
    bool verbose = false;  // -v, --verbose
    std::string problem;   // the first thing wrong with the arguments, or empty

    bool Has(const std::string& name) const;
    /// The value of the last such option, or "" when there is none.
    std::string Value(const std::string& name) const;
};

struct OptionDef {
    const char* shortName;  // may be null
    const char* longName;
    bool takesValue;
};

/// Reads argv[first...]. Options may come anywhere before "--"; a value
/// follows its option or comes after "=" ("--output=x"). An argument that
/// looks like a negative number is a value, not an option.
Args ParseArgs(int argc, char** argv, int first, const std::vector<OptionDef>& defs);

/// "WxH" (or "WXH"), each side a whole decimal number from minSide to
/// maxSide. False otherwise, w and h then unchanged.
bool ParseSize(const std::string& text, int minSide, int maxSide, int& w, int& h);

/// A whole number from min to max: an optional '-', then decimal digits, or
/// with allowHex also "0x" (or "0X") and hexadecimal digits. No '+', no
/// blanks. False otherwise (overflow included), value then unchanged.
[[nodiscard]] bool ParseInteger(const std::string& text, long long min, long long max, long long& value,
                                bool allowHex = false);
/// The same, decimal only, for an int.
[[nodiscard]] bool ParseInteger(const std::string& text, int min, int max, int& value);

/// A finite decimal number from min to max, as "12", "-0.5", ".5" or "1e-3";
/// no '+', no blanks, no hexadecimal, no inf or nan. False otherwise, value
/// then unchanged. A bound that must be excluded ("above 0") is the
/// caller's check.
[[nodiscard]] bool ParseNumber(const std::string& text, double min, double max, double& value);

}  // namespace ZynTool
