// zynpac extract: members unpacked into a folder, and nowhere else (see
// UnpackFolder). Each member fails on its own; the others are still unpacked.
#include <cstdio>
#include <string>

#include "ToolOutput.h"
#include "UnpackFolder.h"
#include "ZynpacShared.h"

namespace Zynpac {

namespace {

const char* const kExtractHelp =
    "Usage: zynpac extract [-C DIR] PACK [MEMBER...]\n"
    "Unpacks the named members (all when none is named). Backslashes in member\n"
    "names become folders. Names with \"..\" parts or absolute paths are refused.\n"
    "Nothing is written outside DIR: a member whose path in DIR passes through a\n"
    "symbolic link, or ends in one, is refused. An existing file is replaced,\n"
    "not written through; a member that fails leaves no file behind.\n"
    "\n"
    "  -C, --directory DIR  unpack into DIR (default: the current folder)\n";

bool ExtractOne(Zyn::PacPackage& pack, const std::string& name, uint32_t size, UnpackFolder& folder) {
    const std::vector<std::string> parts = SafeComponents(name);
    if (parts.empty()) {
        ZynTool::Error("refusing unsafe member name \"%s\"", Printable(name).c_str());
        return false;
    }
    return folder.WriteFile(name, parts, [&](int fd) { return CopyMember(pack, name, size, fd); });
}

}  // namespace

int Extract(int argc, char** argv) {
    const ZynTool::Args a = ZynTool::ParseArgs(argc, argv, 2, {{"-C", "--directory", true}});
    if (a.help) {
        std::fputs(kExtractHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!a.problem.empty()) return ZynTool::Usage(a.problem, kExtractHelp);
    if (a.positional.empty()) return ZynTool::Usage("extract needs a PACK", kExtractHelp);
    ApplyVerbose(a);
    ZynTool::ScopedErrorCount errors;
    const std::unique_ptr<OpenedPack> pack = OpenPack(a.positional[0]);
    if (!pack) return ZynTool::kExitFailed;
    const Zyn::PacPackage::Directory& dir = (*pack)->GetDirectory();
    MemberList chosen;
    bool ok = true;
    if (a.positional.size() == 1) {
        chosen = MembersInFileOrder(**pack);
    } else {
        for (size_t i = 1; i < a.positional.size(); ++i) {
            const auto it = dir.find(a.positional[i]);
            if (it == dir.end()) {
                ZynTool::Error("%s holds no member \"%s\"", a.positional[0].c_str(),
                               Printable(a.positional[i]).c_str());
                ok = false;
                continue;
            }
            chosen.push_back(*it);
        }
    }
    if (!chosen.empty()) {
        UnpackFolder folder;
        if (!folder.Open(a.Has("--directory") ? a.Value("--directory") : std::string(".")))
            return ZynTool::kExitFailed;
        for (const auto& m : chosen) ok = ExtractOne(**pack, m.first, m.second.size, folder) && ok;
    }
    if (errors.GetCount() > 0) {
        ZynTool::Error("%s is damaged; only its sound members were unpacked (see 'zynpac verify')",
                       a.positional[0].c_str());
        ok = false;
    }
    return ok ? ZynTool::kExitOk : ZynTool::kExitFailed;
}

}  // namespace Zynpac
