// A private headless Wayland compositor (sway or weston) for the tests that
// need one, in a runtime folder of its own. Both refuse to run as root, or
// should not: under root the compositor runs as the user nobody and the
// test reaches its socket as root. Start fails where the compositor is not
// installed, and the tests skip.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ZynTest {

class WaylandCompositor {
public:
    enum class Kind { kSway, kWeston };

    WaylandCompositor() = default;
    /// Stops the compositor and removes its folder.
    ~WaylandCompositor();
    WaylandCompositor(const WaylandCompositor&) = delete;
    WaylandCompositor& operator=(const WaylandCompositor&) = delete;

    /// Starts it and waits until its socket answers. sway gets an empty
    /// configuration, weston the extra arguments (such as --scale=2). False
    /// when it is missing or does not come up; Why() says which.
    bool Start(Kind kind, const std::vector<std::string>& extraArgs = {});
    /// Starts sway as a client of `parent` (its outputs are windows there,
    /// which the parent can close or hide), with one output, WL-1.
    bool StartNested(const WaylandCompositor& parent);
    /// Asks it to quit and waits for it.
    void Stop();
    /// Kills it at once, as a crash would.
    void Kill();

    /// The Wayland socket's full path, for WindowRequest::displayName.
    const std::string& SocketPath() const { return m_SocketPath; }
    /// Why Start failed.
    const std::string& Why() const { return m_Why; }

    /// sway only: runs swaymsg with the arguments against this sway; true
    /// when it exits with 0. Its standard output goes to `output`.
    bool SwayMsg(const std::vector<std::string>& args, std::string* output = nullptr) const;
    /// Runs a client program (grim, weston-screenshooter) against the
    /// compositor in `folder` and returns its exit status (-1 when it could
    /// not be started). Bounded: a client that hangs is killed after 30 s.
    int RunClient(const std::vector<std::string>& argv, const std::string& folder) const;

private:
    bool Launch(Kind kind, const std::vector<std::string>& extraArgs, const std::string& parentSocket);
    bool WaitUntilReady(Kind kind);

    pid_t m_Pid = -1;
    std::string m_RuntimeDir;
    std::string m_SocketPath;
    std::string m_IpcPath;
    std::string m_Why;
};

/// Mesa unloads its GL driver when the last EGL display using it is
/// terminated, which every Wayland surface does; the blocks the driver's
/// globals still point to would then look leaked. Keeps the driver this
/// process has loaded until exit, so that the leak checker scans them.
void KeepEglDriverLoaded();

/// Runs `argv` with `env` added to this process's environment, waits at
/// most `timeoutMs` and returns its exit status, or -1; standard output goes
/// to `output` when given.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutMs,
               std::string* output = nullptr, const std::string& folder = std::string());

}  // namespace ZynTest
