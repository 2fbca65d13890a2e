// One worker thread over Boost threads. A derived class supplies
// ThreadFunction and must stop and join its thread in its own destructor:
// by the time ~Thread runs, the derived object the worker uses is gone.
// StartThread, WaitComplete and destruction belong to the owning thread;
// IsRunning may be asked from any thread.
#pragma once

#include <atomic>

namespace boost {
class thread;
}

namespace Zyn {

class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    /// Runs ThreadFunction on a new thread. Does nothing and returns true
    /// while a run is in progress; false when no thread could be started (logged).
    bool StartThread();
    /// True from StartThread until ThreadFunction has returned.
    bool IsRunning() const { return m_bRunning.load(std::memory_order_acquire); }
    /// Blocks until the worker has ended; returns at once when there is none,
    /// and when called on the worker itself (a thread cannot join itself).
    void WaitComplete();

    /// The work of the thread; its result is what ExecuteThread returns.
    virtual int ThreadFunction() = 0;

protected:
    /// Joins a worker that is still there. Not virtual: never delete through Thread*.
    ~Thread();

private:
    // Runs on the worker: ThreadFunction, then clears the running flag.
    int ExecuteThread();
    void Join();

    boost::thread* m_pThread = nullptr;  // owned; null before the first start
    std::atomic<bool> m_bRunning{false};
};

}  // namespace Zyn
