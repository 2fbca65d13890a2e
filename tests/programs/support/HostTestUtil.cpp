#include "HostTestUtil.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <png.h>

extern char** environ;

namespace fs = std::filesystem;

namespace HostTest {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zyn-host-test-XXXXXX";
    if (mkdtemp(pattern.data())) m_Path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_Path.empty()) fs::remove_all(m_Path, ec);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    const std::string text = ReadFileText(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

Child::~Child() {
    if (m_Pid > 0 && m_Status < 0) {
        kill(-m_Pid, SIGKILL);
        int status = 0;
        waitpid(m_Pid, &status, 0);
    }
}

bool Child::Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                  const std::string& outputFolder) {
    static int counter = 0;
    const std::string stem = outputFolder + "/child-" + std::to_string(++counter);
    m_StdoutPath = stem + ".out";
    m_StderrPath = stem + ".err";

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) merged[std::string(*e, size_t(eq - *e))] = eq + 1;
    }
    for (const auto& kv : env) {
        if (kv.second.empty())
            merged.erase(kv.first);
        else
            merged[kv.first] = kv.second;
    }
    std::vector<std::string> envStrings;
    for (const auto& kv : merged) envStrings.push_back(kv.first + "=" + kv.second);
    std::vector<std::string> argStrings = args;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // It starts in the scratch folder: relative paths it writes land there.
    posix_spawn_file_actions_addchdir_np(&actions, outputFolder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_StdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_StderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own process group: whatever it leaves behind can be found.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    std::vector<char*> argv = Pointers(argStrings);
    std::vector<char*> envp = Pointers(envStrings);
    const int rc = posix_spawn(&m_Pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        m_Pid = -1;
        return false;
    }
    m_Status = -1;
    return true;
}

bool Child::Wait(int timeoutMs) {
    if (m_Pid <= 0) return false;
    if (m_Status >= 0) return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(m_Pid, &status, WNOHANG);
        if (r == m_Pid) {
            m_Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (r < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool Child::Signal(int sig) { return m_Pid > 0 && m_Status < 0 && kill(m_Pid, sig) == 0; }

bool Child::WaitForStderr(const std::string& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Stderr().find(text) != std::string::npos) return true;
        if (Wait(0) || std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const std::string& outputFolder, std::string* out, std::string* err, int timeoutMs) {
    Child child;
    if (!child.Start(args, env, outputFolder)) return -1;
    const bool ended = child.Wait(timeoutMs);
    if (out) *out = child.Stdout();
    if (err) *err = child.Stderr();
    return ended ? child.ExitStatus() : -1;
}

std::map<std::string, std::string> QuietEnvironment(const std::string& home) {
    return {
        {"HOME", home},
        {"XDG_CONFIG_HOME", home + "/config"},
        {"XDG_STATE_HOME", home + "/state"},
        {"ZYN_DATA_DIR", ""},
        {"XSCREENSAVER_WINDOW", ""},
        // llvmpipe's LLVM upsets the leak checker at exit; softpipe draws
        // the same frames.
        {"GALLIUM_DRIVER", "softpipe"},
    };
}

bool ProcessGroupAlive(pid_t pgid) { return kill(-pgid, 0) == 0 || errno != ESRCH; }

long StatsFrames(const std::string& path) {
    long frames = -1;
    std::sscanf(ReadFileText(path).c_str(), "frames %ld", &frames);
    return frames;
}

long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The name in parentheses may hold blanks: fields count from its end.
    const std::string::size_type paren = line.rfind(')');
    unsigned long utime = 0, stime = 0;
    if (paren == std::string::npos ||
        std::sscanf(line.c_str() + paren + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                    &stime) != 2)
        return -1;
    return long(utime + stime);
}

bool ReadPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = int(image.width);
    height = int(image.height);
    return true;
}

}  // namespace HostTest
