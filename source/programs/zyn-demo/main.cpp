// zyn-demo: a tour of the Zyn framework for game programmers. See --help,
// and DemoApp.h for the flow of the screens.
#include <cstdio>

#include <zyn/core/Root.h>

#include "DemoOptions.h"
#include "DemoRun.h"
#include "ToolOutput.h"

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-demo");
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    // Warnings and errors of the framework reach standard error; -v adds the rest.
    root->m_LogLevel = Zyn::kLogWarning;
    Demo::DemoOptions options;
    const std::string problem = Demo::ParseDemoOptions(argc, argv, options);
    if (options.help) {
        std::fputs(Demo::kHelp, stdout);
        return ZynTool::kExitOk;
    }
    if (!problem.empty()) return ZynTool::Usage(problem);
    if (options.verbose) root->m_LogLevel = Zyn::kLogInfo;
    return options.mode == Demo::DemoOptions::kWindow ? Demo::RunWindow(options) : Demo::RunHeadless(options);
}
