#include "CommandArgs.h"

#include <cctype>
#include <cstdlib>

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
    const std::string a = text.substr(0, x), b = text.substr(x + 1);
    auto digits = [](const std::string& s) {
        if (s.empty() || s.size() > 5) return false;
        for (char c : s)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        return true;
    };
    if (!digits(a) || !digits(b)) return false;
    w = std::atoi(a.c_str());
    h = std::atoi(b.c_str());
    return w >= minSide && w <= maxSide && h >= minSide && h <= maxSide;
}

}  // namespace ZynTool
