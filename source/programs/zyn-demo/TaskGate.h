// Meters the loader's worker: each task waits at the gate until the frame
// thread has let that many tasks through. The demo uses it so that the
// progress bar can be seen at all (its few tasks load in a blink), and so
// that a headless export sees the same number of tasks done in the same
// frame on every run. A game would let its worker run free.
#pragma once

#include <condition_variable>
#include <mutex>

namespace Demo {

class TaskGate {
public:
    /// Worker: waits for the next pass. False once the gate is shut: the
    /// caller must give up its task.
    bool WaitPass();
    /// Frame thread: lets tasks through until `count` have passed in all.
    void AllowUpTo(unsigned count);
    /// Frame thread: every waiting and later task gives up. For teardown.
    void Shut();

    unsigned GetAllowed() const;

private:
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    unsigned m_Allowed = 0;
    unsigned m_Passed = 0;
    bool m_bShut = false;
};

}  // namespace Demo
