// What ends a screen saver that no daemon stops (the Wayland cover): a key or
// button pressed, or the pointer moved. Fed the input the window sends,
// before the scene sees it.
#pragma once

namespace ZynHost {

class UserActivity {
public:
    /// One event as the arguments of Root::ProcessSystemEvent.
    void Take(int code, int a, int b);
    /// Whether anything so far counts as activity.
    bool IsSeen() const { return m_bSeen; }

private:
    bool m_bSeen = false;
};

}  // namespace ZynHost
