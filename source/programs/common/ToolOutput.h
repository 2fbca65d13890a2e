// What every program says the same way: errors on standard error prefixed by
// the program's name, the usage hint, the exit statuses, and a count of the
// framework's error lines so that a command can fail when the framework
// logged one. Call SetProgramName first thing in main.
#pragma once

#include <string>

#include <zyn/core/Root.h>

namespace ZynTool {

const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

/// The name errors are prefixed with; kept, not copied: pass a literal.
void SetProgramName(const char* name);
const char* GetProgramName();

/// "<program>: <message>" and a newline on standard error.
void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// The same for a message already put together ('%' is printed as it is).
void Error(const std::string& message);

/// Reports a usage problem, then `help` when given, else the line
/// "Run '<program> --help' for the options."; returns kExitUsage.
int Usage(const std::string& problem, const char* help = nullptr);

/// Counts the framework's error lines (level 0) while it is attached to the
/// Root's log outputs. Owned by the Root once inserted.
class ErrorCounter : public Zyn::LogOutput {
public:
    ErrorCounter() : Zyn::LogOutput("tool errors") { m_Threshold = Zyn::kLogError; }
    void Receive(const char*) override { ++m_Count; }
    int GetCount() const { return m_Count; }

private:
    int m_Count = 0;
};

/// Attaches an ErrorCounter for its lifetime.
class ScopedErrorCount {
public:
    ScopedErrorCount();
    ~ScopedErrorCount();
    ScopedErrorCount(const ScopedErrorCount&) = delete;
    ScopedErrorCount& operator=(const ScopedErrorCount&) = delete;

    /// Error lines logged since construction.
    int GetCount() const { return m_pCounter->GetCount(); }

private:
    ErrorCounter* m_pCounter;  // held by the Root's log outputs while attached
};

}  // namespace ZynTool
