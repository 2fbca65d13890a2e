// A private Xvfb server for the tests that need an X display.
#pragma once

#include <sys/types.h>

#include <string>

namespace ZynTest {

/// Runs Xvfb on a display it picks itself; Start fails where Xvfb is not
/// installed, and the tests skip.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Start(int width, int height);
    void Stop();
    /// The display name, such as ":3".
    const std::string& Name() const { return m_Name; }

private:
    pid_t m_Pid = -1;
    std::string m_Name;
};

/// The full path of a program found on PATH, or "" when there is none.
std::string FindOnPath(const std::string& program);

}  // namespace ZynTest
