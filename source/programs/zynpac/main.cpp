// zynpac: makes, lists, unpacks and checks pack files. This file only picks
// the command; each command lives in its own file.
// Exit status: 0 success, 1 failure or a damaged pack, 2 bad usage.
#include <cstdio>
#include <string>

#include <zyn/core/Root.h>

#include "ToolOutput.h"
#include "ZynpacShared.h"

namespace {

const char* const kMainHelp =
    "Usage: zynpac COMMAND [OPTIONS] ARGS...\n"
    "Makes, lists, unpacks and checks pack (.pac) files.\n"
    "\n"
    "Commands:\n"
    "  create   write a pack from files and folders\n"
    "  list     show the members of a pack\n"
    "  extract  unpack members into a folder\n"
    "  cat      write one member's bytes to standard output\n"
    "  verify   check a pack and report every problem\n"
    "\n"
    "Options of every command:\n"
    "  -v, --verbose   show the framework's information lines\n"
    "  -h, --help      show the help of the command\n"
    "\n"
    "Run 'zynpac COMMAND --help' for a command's options.\n";

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zynpac");
    // Warnings and errors of the framework reach standard error; -v adds the rest.
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogWarning;
    if (argc < 2) return ZynTool::Usage("no command given", kMainHelp);
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kMainHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (command == "create") return Zynpac::Create(argc, argv);
    if (command == "list") return Zynpac::List(argc, argv);
    if (command == "extract") return Zynpac::Extract(argc, argv);
    if (command == "cat") return Zynpac::Cat(argc, argv);
    if (command == "verify") return Zynpac::Verify(argc, argv);
    return ZynTool::Usage("unknown command " + command, kMainHelp);
}
