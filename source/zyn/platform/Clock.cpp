#include <zyn/platform/Clock.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace Zyn {

namespace {

long MonotonicMicroseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t us = uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
    return long(uint32_t(us));
}

void RealSleep(long us) {
    if (us <= 0) return;
    timespec left;
    left.tv_sec = time_t(us / 1000000);
    left.tv_nsec = long(us % 1000000) * 1000;
    // A signal cuts nanosleep short; sleep on for what remains.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

ClockSource g_ClockSource = &MonotonicMicroseconds;
SleepFunction g_SleepFunction = &RealSleep;

uint32_t g_ManualNow = 0;
long g_ManualSlept = 0;

long ManualNowSource() { return long(g_ManualNow); }

void ManualSleep(long us) {
    if (us <= 0) return;
    g_ManualNow += uint32_t(us);
    g_ManualSlept += us;
}

}  // namespace

long getTimeMicroseconds() { return g_ClockSource(); }

void SetClockSource(ClockSource source) { g_ClockSource = source ? source : &MonotonicMicroseconds; }

void SleepMicroseconds(long us) { g_SleepFunction(us); }

void SetSleepFunction(SleepFunction sleep) { g_SleepFunction = sleep ? sleep : &RealSleep; }

namespace ManualClock {

void Install(long startUs) {
    g_ManualNow = uint32_t(startUs);
    g_ManualSlept = 0;
    SetClockSource(&ManualNowSource);
    SetSleepFunction(&ManualSleep);
}

void Uninstall() {
    SetClockSource(nullptr);
    SetSleepFunction(nullptr);
}

void Advance(long us) { g_ManualNow += uint32_t(us); }

long Now() { return long(g_ManualNow); }

long SleptMicroseconds() { return g_ManualSlept; }

}  // namespace ManualClock

}  // namespace Zyn
