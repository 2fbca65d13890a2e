// zynpac list: the members of a pack in file order, as text or JSON. Names
// are escaped either way: a pack is outside data and its names may hold
// bytes that drive a terminal.
#include <cstdio>
#include <string>

#include "ToolOutput.h"
#include "ZynpacShared.h"

namespace Zynpac {

namespace {

const char* const kListHelp =
    "Usage: zynpac list [--json] PACK\n"
    "Prints offset, size and name of every member, in file order. Control\n"
    "characters and bytes that are not UTF-8 in names are shown as \\xNN.\n"
    "\n"
    "  --json   print a JSON array of {\"name\", \"offset\", \"size\"} objects\n";

void PrintJsonString(const std::string& s) {
    std::putchar('"');
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const unsigned char next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (c == '"' || c == '\\') {
            std::putchar('\\');
            std::putchar(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::printf("\\u%04x", c);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // U+0080..U+009F, the C1 controls, in UTF-8.
            std::printf("\\u%04x", next);
            ++i;
        } else {
            std::putchar(c);
        }
    }
    std::putchar('"');
}

}  // namespace

int List(int argc, char** argv) {
    const ZynTool::Args a = ZynTool::ParseArgs(argc, argv, 2, {{nullptr, "--json", false}});
    if (a.help) {
        std::fputs(kListHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!a.problem.empty()) return ZynTool::Usage(a.problem, kListHelp);
    if (a.positional.size() != 1) return ZynTool::Usage("list needs exactly one PACK", kListHelp);
    ApplyVerbose(a);
    ZynTool::ScopedErrorCount errors;
    const std::unique_ptr<OpenedPack> pack = OpenPack(a.positional[0]);
    if (!pack) return ZynTool::kExitFailed;
    const MemberList members = MembersInFileOrder(**pack);
    if (a.Has("--json")) {
        std::printf("[");
        for (size_t i = 0; i < members.size(); ++i) {
            std::printf("%s\n  {\"name\": ", i ? "," : "");
            PrintJsonString(members[i].first);
            std::printf(", \"offset\": %u, \"size\": %u}", members[i].second.offset, members[i].second.size);
        }
        std::printf("%s]\n", members.empty() ? "" : "\n");
    } else {
        for (const auto& m : members)
            std::printf("%10u %10u  %s\n", m.second.offset, m.second.size, Printable(m.first).c_str());
    }
    if (errors.GetCount() > 0) {
        ZynTool::Error("%s is damaged; only its sound members are listed (see 'zynpac verify')",
                       a.positional[0].c_str());
        return ZynTool::kExitFailed;
    }
    return ZynTool::kExitOk;
}

}  // namespace Zynpac
