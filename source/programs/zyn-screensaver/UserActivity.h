// What ends a screen saver that no daemon stops (the Wayland cover): a key or
// button pressed, or the pointer moved more than a few pixels from where it
// was first seen (a nudged desk is not a user). Fed the input the window
// sends, before the scene sees it.
#pragma once

namespace ZynHost {

class UserActivity {
public:
    /// One event as the arguments of Root::ProcessSystemEvent.
    void Take(int code, int a, int b);
    /// Whether anything so far counts as activity.
    bool IsSeen() const { return m_bSeen; }

    /// How far, in pixels of the drawing along either axis, the pointer may
    /// wander from its first position before that counts.
    static const int kMotionThreshold = 10;

private:
    bool m_bSeen = false;
    bool m_bHasOrigin = false;
    int m_OriginX = 0;
    int m_OriginY = 0;
};

}  // namespace ZynHost
