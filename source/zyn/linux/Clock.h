// The frame clock: microseconds from CLOCK_MONOTONIC, low 32 bits. Tests and
// exports inject their own source to run on a fixed step.
#pragma once

namespace Zyn {

/// Low 32 bits of a monotonic microsecond count; wraps harmlessly when
/// differences are taken as 32-bit signed values.
long getTimeMicroseconds();

typedef long (*ClockSource)();
/// Replaces the clock; null restores the monotonic one.
void SetClockSource(ClockSource source);

}  // namespace Zyn
