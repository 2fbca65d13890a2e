// Frame pacing for the live modes: frames start one period apart and the
// time between them is slept in poll(), which also wakes for window events
// and for a stop signal. Nothing here spins.
#pragma once

namespace ZynHost {

/// Microseconds of CLOCK_MONOTONIC, full width (the view's clock keeps only
/// the low 32 bits; the pacer needs no wrap handling).
long long MonotonicMicroseconds();

/// SIGTERM, SIGINT and SIGHUP ask the program to stop: the handler only
/// sets a flag and writes one byte to a pipe that WaitUntil watches.
namespace StopSignals {
/// Installs the handlers and the pipe once per process; false, with errno
/// left set, when the pipe cannot be made.
[[nodiscard]] bool Install();
bool IsStopRequested();
/// Sets the flag and wakes a waiter as a signal would (tests).
void RequestStop();
/// Forgets a stop request (tests that run several cases in one process).
void ClearStopRequest();
}  // namespace StopSignals

enum class WakeReason { kDue, kStop, kInput };

/// Sleeps until MonotonicMicroseconds() reaches `dueUs`, a stop is asked for
/// or `inputFd` (negative: none) becomes readable, whichever comes first.
WakeReason WaitUntil(long long dueUs, int inputFd);

class FramePacer {
public:
    /// `periodUs` of 0 or less draws frames back to back.
    explicit FramePacer(long periodUs) : m_PeriodUs(periodUs > 0 ? periodUs : 0) {}

    /// When the frame after the one due at `dueUs` is due, given that it is
    /// `nowUs` now. Counting from the due time rather than from the actual
    /// start keeps wake-up latency from slowing the rate. A late frame does
    /// not make the next ones hurry: once more than a whole period behind,
    /// the schedule restarts from now instead of drawing the missed frames
    /// in a burst.
    long long NextDue(long long dueUs, long long nowUs) const;

    long GetPeriod() const { return m_PeriodUs; }

private:
    long m_PeriodUs;
};

}  // namespace ZynHost
