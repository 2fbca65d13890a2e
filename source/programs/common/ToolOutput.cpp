#include "ToolOutput.h"

#include <cstdarg>
#include <cstdio>

#include <zyn/core/Root.h>

namespace ZynTool {

namespace {
const char* g_ProgramName = "zyn";
}  // namespace

void SetProgramName(const char* name) { g_ProgramName = name ? name : "zyn"; }

const char* GetProgramName() { return g_ProgramName; }

void Error(const char* format, ...) {
    std::fprintf(stderr, "%s: ", g_ProgramName);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

void Error(const std::string& message) { Error("%s", message.c_str()); }

int Usage(const std::string& problem, const char* help) {
    Error("%s", problem.c_str());
    if (help)
        std::fputs(help, stderr);
    else
        std::fprintf(stderr, "Run '%s --help' for the options.\n", g_ProgramName);
    return kExitUsage;
}

ScopedErrorCount::ScopedErrorCount() : m_pCounter(new ErrorCounter) {
    // The extra reference keeps the count readable after the Root lets go.
    m_pCounter->AddRef();
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(m_pCounter, Zyn::Root::kLogOutputs, 1, nullptr);
}

ScopedErrorCount::~ScopedErrorCount() {
    Zyn::Singleton<Zyn::Root>::Get()->RemoveObject(m_pCounter, Zyn::Root::kLogOutputs);
    m_pCounter->Release();
}

}  // namespace ZynTool
