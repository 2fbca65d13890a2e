// Frame pacing and the stop signals of the live modes.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <unistd.h>

#include "FramePacer.h"

using namespace ZynHost;

TEST(FramePacer, FramesAreDueOnePeriodApart) {
    const FramePacer pacer(33333);
    // Drawn in 5 ms: the next frame is due one period after this one was.
    EXPECT_EQ(pacer.NextDue(1000000, 1005000), 1033333);
    // Late by less than a period: the schedule holds and the next frame
    // comes at once, keeping the average rate.
    EXPECT_EQ(pacer.NextDue(1000000, 1050000), 1033333);
    // Thirty frames each woken a little late still take one second.
    long long due = 0;
    for (int i = 0; i < 30; ++i) due = pacer.NextDue(due, due + 900);
    EXPECT_EQ(due, 30 * 33333);
}

TEST(FramePacer, ALongStallRestartsTheScheduleInsteadOfABurst) {
    const FramePacer pacer(33333);
    EXPECT_EQ(pacer.NextDue(1000000, 1500000), 1500000);
    // Back to back when asked for no delay.
    const FramePacer unpaced(0);
    EXPECT_EQ(unpaced.GetPeriod(), 0);
    EXPECT_EQ(unpaced.NextDue(1000000, 1004000), 1004000);
    EXPECT_EQ(FramePacer(-5).GetPeriod(), 0);
}

class StopSignalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StopSignals::Install());
        StopSignals::ClearStopRequest();
    }
    void TearDown() override { StopSignals::ClearStopRequest(); }
};

TEST_F(StopSignalsTest, WaitEndsAtTheDueTimeAndNotBefore) {
    const long long due = MonotonicMicroseconds() + 20000;
    EXPECT_EQ(WaitUntil(due, -1), WakeReason::kDue);
    EXPECT_GE(MonotonicMicroseconds(), due);
    // A due time in the past returns at once.
    EXPECT_EQ(WaitUntil(MonotonicMicroseconds() - 1, -1), WakeReason::kDue);
}

TEST_F(StopSignalsTest, ReadableInputWakesTheWait) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    const long long due = MonotonicMicroseconds() + 10000000;
    EXPECT_EQ(WaitUntil(due, fds[0]), WakeReason::kInput);
    EXPECT_LT(MonotonicMicroseconds(), due);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(StopSignalsTest, TermAndIntStopAWaitFromAnotherThread) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        StopSignals::ClearStopRequest();
        EXPECT_FALSE(StopSignals::IsStopRequested());
        const long long due = MonotonicMicroseconds() + 10000000;
        std::thread sender([sig] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            kill(getpid(), sig);
        });
        EXPECT_EQ(WaitUntil(due, -1), WakeReason::kStop) << sig;
        sender.join();
        EXPECT_TRUE(StopSignals::IsStopRequested());
        EXPECT_LT(MonotonicMicroseconds(), due);
    }
}

TEST_F(StopSignalsTest, AStopAskedBeforeTheWaitIsNotLost) {
    StopSignals::RequestStop();
    EXPECT_EQ(WaitUntil(MonotonicMicroseconds() + 10000000, -1), WakeReason::kStop);
    StopSignals::ClearStopRequest();
    EXPECT_EQ(WaitUntil(MonotonicMicroseconds() + 1000, -1), WakeReason::kDue);
}
