#include <zyn/linux/Clock.h>

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

ClockSource g_ClockSource = &MonotonicMicroseconds;

}  // namespace

long getTimeMicroseconds() { return g_ClockSource(); }

void SetClockSource(ClockSource source) { g_ClockSource = source ? source : &MonotonicMicroseconds; }

}  // namespace Zyn
