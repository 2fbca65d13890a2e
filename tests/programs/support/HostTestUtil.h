// Helpers for running zyn-screensaver as a child process: scratch folders,
// spawning with captured output, a private Xvfb server, PNG reading.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "support/XvfbServer.h"

namespace HostTest {

/// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

std::string ReadFileText(const std::string& path);
std::vector<unsigned char> ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

/// The program under test, started in its own process group and in the
/// scratch folder given to Start, with stdout and stderr going to files
/// there. The environment is the test's own with `env` applied on top (an
/// empty value removes the variable).
class Child {
public:
    Child() = default;
    ~Child();  // kills a child still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const std::string& outputFolder);
    /// Waits up to `timeoutMs`; true when the child ended (then Status()).
    bool Wait(int timeoutMs);
    /// Exit status, or 128 + signal number when a signal ended it.
    int ExitStatus() const { return m_Status; }
    bool Signal(int sig);
    /// Polls stderr for `text` for up to `timeoutMs`; false when the child
    /// ended or the time ran out first.
    bool WaitForStderr(const std::string& text, int timeoutMs);
    pid_t Pid() const { return m_Pid; }
    std::string Stdout() const { return ReadFileText(m_StdoutPath); }
    std::string Stderr() const { return ReadFileText(m_StderrPath); }

private:
    pid_t m_Pid = -1;
    int m_Status = -1;
    std::string m_StdoutPath;
    std::string m_StderrPath;
};

/// Runs the program to its end (at most `timeoutMs`), returning its status;
/// -1 when it had to be killed.
int RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const std::string& outputFolder, std::string* out = nullptr, std::string* err = nullptr,
               int timeoutMs = 60000);

/// The environment every run gets: a private home, config and state folder
/// under `home`, the software rasteriser that works under the sanitizers.
std::map<std::string, std::string> QuietEnvironment(const std::string& home);

/// True when some process still belongs to the process group `pgid`.
bool ProcessGroupAlive(pid_t pgid);

/// Processor time of a process so far in clock ticks (user and system).
long CpuTicks(pid_t pid);

/// The frame count of a screen saver's --stats file; -1 while there is none.
long StatsFrames(const std::string& path);

using ZynTest::XvfbServer;

/// Decodes an 8-bit RGBA PNG as written by the exporter; false otherwise.
bool ReadPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba);

}  // namespace HostTest
