#include <zyn/resources/Thread.h>

#include <boost/thread/thread.hpp>

#include <zyn/core/Log.h>

namespace Zyn {

namespace {
// The Thread whose function runs on this thread. The worker must not look at
// m_pThread to find out: the owner is still storing it when the worker starts.
thread_local const Thread* t_pExecuting = nullptr;
}  // namespace

Thread::~Thread() {
    Join();
    delete m_pThread;
    m_pThread = nullptr;
}

bool Thread::StartThread() {
    if (m_bRunning.load(std::memory_order_acquire)) return true;
    m_bRunning.store(true, std::memory_order_release);
    // A worker that has cleared its flag may still be unwinding: reap it before
    // its handle goes, or it would be left detached.
    Join();
    delete m_pThread;
    m_pThread = nullptr;
    try {
        m_pThread = new boost::thread(&Thread::ExecuteThread, this);
    } catch (...) {
        m_bRunning.store(false, std::memory_order_release);
        LogSend(kLogError, "Thread::StartThread -> could not start a thread");
        return false;
    }
    return true;
}

void Thread::WaitComplete() { Join(); }

void Thread::Join() {
    if (t_pExecuting == this) return;
    if (!m_pThread || !m_pThread->joinable()) return;
    try {
        m_pThread->join();
    } catch (...) {
        LogSend(kLogError, "Thread::WaitComplete -> could not join the thread");
    }
}

int Thread::ExecuteThread() {
    t_pExecuting = this;
    int result = -1;
    // Nothing may leave a Boost thread function: it would end the process.
    try {
        result = ThreadFunction();
    } catch (...) {
        LogSend(kLogError, "Thread::ExecuteThread -> the thread function failed with an exception");
    }
    t_pExecuting = nullptr;
    m_bRunning.store(false, std::memory_order_release);
    return result;
}

}  // namespace Zyn
