// Plays the screen saver engine: creates a view on a surface and makes the
// engine's calls in its order (create, start, frames, stop, release). Used by
// the zyn-screensaver program and by tests. Frame thread only.
#pragma once

#include <functional>

namespace Zyn {

class GLSurface;
class ScreenSaverView;

class HostDriver {
public:
    /// Makes a new, uninitialised view on the surface; the driver owns it.
    typedef std::function<ScreenSaverView*(GLSurface*)> ViewFactory;

    /// Views of the screen saver (ZYN_ScreenSaver_ZYN) by default.
    explicit HostDriver(ViewFactory factory = ViewFactory());
    /// Releases a view still held.
    ~HostDriver();
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    /// Runs on a manual clock from now on: every Frame first advances it by
    /// `stepMicroseconds`, so frames are reproducible. Call before Create;
    /// the real clock comes back when the driver is destroyed.
    void UseFixedStep(long stepMicroseconds);

    /// Creates the view on `surface` (borrowed, kept alive by the caller
    /// while the view lives) and initialises it with the frame. False when
    /// a view is already held or the view refused the frame (then deleted).
    [[nodiscard]] bool Create(GLSurface* surface, float width, float height, bool isPreview);
    void Start();
    /// One frame request; false without a view.
    bool Frame();
    /// Gives the view a new frame size and re-initialises Root with it, as
    /// a host does when its window is resized. False without a view or
    /// when the size is refused.
    bool Resize(int width, int height);
    void Stop();
    /// Dealloc, then delete; nothing without a view.
    void Release();

    /// Borrowed; null when no view is held.
    ScreenSaverView* GetView() const { return m_pView; }

private:
    ViewFactory m_Factory;
    ScreenSaverView* m_pView = nullptr;  // owned
    long m_FixedStep = 0;                // microseconds; 0 = the installed clock
};

}  // namespace Zyn
