// The argument parser of the tools that take a command and then options:
// "tool COMMAND [OPTIONS] ARGS...".
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

/// "WxH" (or "WXH"), each side of at most five digits and from minSide to
/// maxSide. False otherwise.
bool ParseSize(const std::string& text, int minSide, int maxSide, int& w, int& h);

}  // namespace ZynTool
