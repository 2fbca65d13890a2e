#include "WaylandCompositor.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace ZynTest {

namespace {

typedef std::chrono::steady_clock Clock;

std::string ProgramPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + program;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::string();
}

// This process's environment without what would point a child at another
// display, plus `extra` ("NAME=value").
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    static const char* const dropped[] = {"WAYLAND_DISPLAY=", "WAYLAND_SOCKET=", "DISPLAY=", "SWAYSOCK=",
                                          "XDG_RUNTIME_DIR="};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        bool keep = true;
        for (const char* d : dropped)
            if (std::strncmp(*e, d, std::strlen(d)) == 0) keep = false;
        for (const std::string& x : extra)
            if (std::strncmp(*e, x.c_str(), x.find('=') + 1) == 0) keep = false;
        if (keep) env.emplace_back(*e);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, const std::string& logPath,
            const std::string& folder) {
    const std::string program = argv[0][0] == '/' ? argv[0] : ProgramPath(argv[0]);
    if (program.empty()) return -1;
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, logPath.empty() ? "/dev/null" : logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.empty() ? "/dev/null" : logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits for the child until the deadline; its exit status, or -1 (then it
// has been killed).
int WaitFor(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0) return -1;
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        poll(nullptr, 0, 5);
    }
}

bool CanConnect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

std::string FindEntry(const std::string& dir, const std::string& prefix, const std::string& suffix) {
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            const bool suffixOk = suffix.empty() ? name.find('.') == std::string::npos
                                                 : name.size() > suffix.size() &&
                                                       name.compare(name.size() - suffix.size(), suffix.size(),
                                                                    suffix) == 0;
            if (name.compare(0, prefix.size(), prefix) == 0 && suffixOk) found = dir + "/" + name;
        }
        closedir(d);
    }
    return found;
}

std::string Tail(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

int FindDriver(dl_phdr_info* info, size_t, void* data) {
    if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
        *static_cast<std::string*>(data) = info->dlpi_name;
    return 0;
}

}  // namespace

void KeepEglDriverLoaded() {
    std::string driver;
    dl_iterate_phdr(FindDriver, &driver);
    if (!driver.empty()) dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutMs,
               std::string* output, const std::string& folder) {
    int fds[2] = {-1, -1};
    if (output && pipe2(fds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = Spawn(argv, ChildEnvironment(env), output ? fds[1] : -1, std::string(), folder);
    if (output) close(fds[1]);
    if (pid < 0) {
        if (output) close(fds[0]);
        return -1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (output) {
        output->clear();
        char buffer[4096];
        for (;;) {
            const long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd pfd = {fds[0], POLLIN, 0};
            if (left <= 0 || poll(&pfd, 1, int(left)) <= 0) break;
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            output->append(buffer, size_t(n));
        }
        close(fds[0]);
    }
    return WaitFor(pid, deadline);
}

WaylandCompositor::~WaylandCompositor() {
    Stop();
    if (!m_RuntimeDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_RuntimeDir, ignored);
    }
}

bool WaylandCompositor::Start(Kind kind, const std::vector<std::string>& extraArgs) {
    return Launch(kind, extraArgs, std::string());
}

bool WaylandCompositor::StartNested(const WaylandCompositor& parent) {
    return Launch(Kind::kSway, {}, parent.SocketPath());
}

bool WaylandCompositor::Launch(Kind kind, const std::vector<std::string>& extraArgs,
                               const std::string& parentSocket) {
    const std::string program = kind == Kind::kSway ? "sway" : "weston";
    if (ProgramPath(program).empty()) {
        m_Why = program + " is not installed";
        return false;
    }
    char folder[] = "/tmp/zyn-wayland.XXXXXX";
    if (!mkdtemp(folder)) {
        m_Why = "cannot make a runtime folder";
        return false;
    }
    m_RuntimeDir = folder;
    chmod(folder, 0700);
    std::vector<std::string> argv;
    if (geteuid() == 0) {
        // Both compositors refuse root, or should: run as nobody in a
        // runtime folder of its own.
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || ProgramPath("setpriv").empty()) {
            m_Why = "running as root without setpriv or a nobody user";
            return false;
        }
        if (chown(folder, nobody->pw_uid, nobody->pw_gid) != 0) {
            m_Why = "cannot hand the runtime folder to nobody";
            return false;
        }
        argv = {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", ProgramPath(program)};
    } else {
        argv = {ProgramPath(program)};
    }
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + m_RuntimeDir, "HOME=" + m_RuntimeDir};
    if (kind == Kind::kSway) {
        const std::string config = m_RuntimeDir + "/config";
        std::ofstream(config).close();
        chmod(config.c_str(), 0644);
        argv.insert(argv.end(), {"-c", config});
        // pixman needs no GPU; with no input devices the seat has none
        // until a test makes virtual ones.
        env.insert(env.end(), {"WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"});
        if (parentSocket.empty())
            env.push_back("WLR_BACKENDS=headless");
        else
            env.insert(env.end(), {"WLR_BACKENDS=wayland", "WAYLAND_DISPLAY=" + parentSocket});
    } else {
        argv.insert(argv.end(), {"--backend=headless-backend.so", "--socket=zyn-test", "--idle-time=0",
                                 "--no-config"});
    }
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    m_Pid = Spawn(argv, ChildEnvironment(env), -1, m_RuntimeDir + "/compositor.log", std::string());
    if (m_Pid < 0) {
        m_Why = "cannot start " + program;
        return false;
    }
    if (!WaitUntilReady(kind)) {
        Stop();
        return false;
    }
    // Root reaches nobody's socket anyway; an ordinary user would not.
    chmod(m_RuntimeDir.c_str(), 0711);
    chmod(m_SocketPath.c_str(), 0777);
    if (!m_IpcPath.empty()) chmod(m_IpcPath.c_str(), 0777);
    return true;
}

bool WaylandCompositor::WaitUntilReady(Kind kind) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Pid = -1;
            m_Why = "the compositor exited: " + Tail(m_RuntimeDir + "/compositor.log");
            return false;
        }
        m_SocketPath = kind == Kind::kSway ? FindEntry(m_RuntimeDir, "wayland-", "") : m_RuntimeDir + "/zyn-test";
        if (kind == Kind::kSway) m_IpcPath = FindEntry(m_RuntimeDir, "sway-ipc.", ".sock");
        const bool ipcUp = kind != Kind::kSway || (!m_IpcPath.empty() && SwayMsg({"-t", "get_version"}));
        if (!m_SocketPath.empty() && CanConnect(m_SocketPath) && ipcUp) return true;
        poll(nullptr, 0, 10);
    }
    m_Why = "the compositor did not come up in 30 s";
    return false;
}

void WaylandCompositor::Stop() {
    if (m_Pid <= 0) return;
    kill(m_Pid, SIGTERM);
    WaitFor(m_Pid, Clock::now() + std::chrono::seconds(10));
    m_Pid = -1;
}

void WaylandCompositor::Kill() {
    if (m_Pid <= 0) return;
    kill(m_Pid, SIGKILL);
    WaitFor(m_Pid, Clock::now() + std::chrono::seconds(10));
    m_Pid = -1;
}

bool WaylandCompositor::SwayMsg(const std::vector<std::string>& args, std::string* output) const {
    std::vector<std::string> argv = {"swaymsg", "-s", m_IpcPath};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string ignored;
    return RunProgram(argv, {}, 10000, output ? output : &ignored) == 0;
}

int WaylandCompositor::RunClient(const std::vector<std::string>& argv, const std::string& folder) const {
    return RunProgram(argv, {"WAYLAND_DISPLAY=" + m_SocketPath, "XDG_RUNTIME_DIR=" + m_RuntimeDir}, 30000, nullptr,
                      folder);
}

}  // namespace ZynTest
