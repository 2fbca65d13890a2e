// The frame clock: microseconds from CLOCK_MONOTONIC, low 32 bits, and the
// sleep that paces frames. Tests and exports inject their own pair to run on
// a fixed step; both hooks are process-wide and belong to the frame thread.
#pragma once

namespace Zyn {

/// Low 32 bits of a monotonic microsecond count; wraps harmlessly when
/// differences are taken as 32-bit signed values.
long getTimeMicroseconds();

typedef long (*ClockSource)();
/// Replaces the clock; null restores the monotonic one.
void SetClockSource(ClockSource source);

/// Sleeps at least `us` microseconds (nothing for us <= 0), resuming after
/// signals.
void SleepMicroseconds(long us);

typedef void (*SleepFunction)(long us);
/// Replaces the sleep; null restores the real one. A fake clock's sleep
/// advances its own time.
void SetSleepFunction(SleepFunction sleep);

/// A clock that moves only when told to or slept on: installs itself as
/// clock source and sleep function. For fixed-step exports and tests.
namespace ManualClock {
/// Starts at `startUs` (kept to its low 32 bits) and installs the hooks.
void Install(long startUs);
/// Restores the monotonic clock and the real sleep.
void Uninstall();
void Advance(long us);
long Now();
/// Microseconds slept through the manual sleep since Install.
long SleptMicroseconds();
}  // namespace ManualClock

}  // namespace Zyn
