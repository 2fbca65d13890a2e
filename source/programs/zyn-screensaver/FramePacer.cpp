#include "FramePacer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace ZynHost {

namespace {

std::atomic<bool> g_bStop(false);
int g_WakePipe[2] = {-1, -1};

// Async-signal-safe only: a lock-free flag and write(2).
void OnStopSignal(int) {
    g_bStop.store(true);
    const int saved = errno;
    const char byte = 1;
    if (g_WakePipe[1] >= 0) (void)!write(g_WakePipe[1], &byte, 1);
    errno = saved;
}

void DrainWakePipe() {
    char buffer[64];
    while (read(g_WakePipe[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

long long MonotonicMicroseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

namespace StopSignals {

bool Install() {
    static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");
    if (g_WakePipe[0] >= 0) return true;
    // Non-blocking both ways: a full pipe must not stall the handler, and
    // draining must not stall the frame loop.
    if (pipe2(g_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa = {};
    sa.sa_handler = &OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    return true;
}

bool IsStopRequested() { return g_bStop.load(); }

void RequestStop() { OnStopSignal(0); }

void ClearStopRequest() {
    g_bStop.store(false);
    if (g_WakePipe[0] >= 0) DrainWakePipe();
}

}  // namespace StopSignals

WakeReason WaitUntil(long long dueUs, int inputFd) {
    for (;;) {
        if (g_bStop.load()) return WakeReason::kStop;
        const long long left = dueUs - MonotonicMicroseconds();
        if (left <= 0) return WakeReason::kDue;
        pollfd fds[2];
        nfds_t count = 0;
        if (g_WakePipe[0] >= 0) fds[count++] = {g_WakePipe[0], POLLIN, 0};
        if (inputFd >= 0) fds[count++] = {inputFd, POLLIN, 0};
        const timespec timeout = {time_t(left / 1000000), long(left % 1000000) * 1000};
        const int n = ppoll(fds, count, &timeout, nullptr);
        if (n < 0 && errno != EINTR) {
            // poll itself failed: sleep the time out plainly rather than
            // return early and have the caller ask again at once.
            timespec rest = timeout;
            while (nanosleep(&rest, &rest) != 0 && errno == EINTR && !g_bStop.load()) {
            }
            continue;
        }
        if (n <= 0) continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == g_WakePipe[0]) {
                DrainWakePipe();
            } else {
                // The connection is readable (or hung up): the caller reads it.
                return WakeReason::kInput;
            }
        }
    }
}

long long FramePacer::NextDue(long long dueUs, long long nowUs) const {
    const long long due = dueUs + m_PeriodUs;
    if (due + m_PeriodUs < nowUs) return nowUs;
    return due;
}

}  // namespace ZynHost
