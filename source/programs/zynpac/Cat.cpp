// zynpac cat: one member's bytes on standard output, nothing else there.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolOutput.h"
#include "ZynpacShared.h"

namespace Zynpac {

namespace {

const char* const kCatHelp =
    "Usage: zynpac cat PACK MEMBER\n"
    "Writes the member's bytes to standard output.\n";

}  // namespace

int Cat(int argc, char** argv) {
    const ZynTool::Args a = ZynTool::ParseArgs(argc, argv, 2, {});
    if (a.help) {
        std::fputs(kCatHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!a.problem.empty()) return ZynTool::Usage(a.problem, kCatHelp);
    if (a.positional.size() != 2) return ZynTool::Usage("cat needs PACK and MEMBER", kCatHelp);
    ApplyVerbose(a);
    const std::unique_ptr<OpenedPack> pack = OpenPack(a.positional[0]);
    if (!pack) return ZynTool::kExitFailed;
    const std::string& name = a.positional[1];
    const auto it = (*pack)->GetDirectory().find(name);
    if (it == (*pack)->GetDirectory().end()) {
        ZynTool::Error("%s holds no member \"%s\"", a.positional[0].c_str(), Printable(name).c_str());
        return ZynTool::kExitFailed;
    }
    // Written unbuffered, straight to the descriptor, so that a failed write
    // keeps its errno for the message.
    switch (CopyMember(**pack, name, it->second.size, STDOUT_FILENO)) {
        case CopyResult::kOk:
            return ZynTool::kExitOk;
        case CopyResult::kWriteFailed:
            ZynTool::Error("cannot write \"%s\" to standard output: %s", Printable(name).c_str(),
                           std::strerror(errno));
            return ZynTool::kExitFailed;
        case CopyResult::kReadFailed:
            break;
    }
    ZynTool::Error("could not read all of \"%s\"", Printable(name).c_str());
    return ZynTool::kExitFailed;
}

}  // namespace Zynpac
