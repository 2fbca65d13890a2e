// The worker thread wrapper: one run per start, no second thread while one
// runs, joins on every path, exceptions kept inside the worker.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include <zyn/resources/Thread.h>

#include "support/LogCapture.h"

using namespace Zyn;

namespace {

/// Counts its runs; a run waits for the gate when one is set.
class GatedThread : public Thread {
public:
    ~GatedThread() {
        if (m_pDestroying) m_pDestroying->set_value();
        WaitComplete();
    }
    int ThreadFunction() override {
        const int run = ++m_Runs;
        if (m_pStarted) m_pStarted->set_value();
        if (m_pGate) m_pGate->wait();
        if (m_bThrow) throw std::runtime_error("task failed");
        if (m_bJoinSelf) WaitComplete();
        if (m_pFinished) *m_pFinished = true;
        return run;
    }
    std::atomic<int> m_Runs{0};
    std::promise<void>* m_pStarted = nullptr;
    std::shared_future<void>* m_pGate = nullptr;
    bool m_bThrow = false;
    bool m_bJoinSelf = false;
    std::promise<void>* m_pDestroying = nullptr;
    std::atomic<bool>* m_pFinished = nullptr;
};

}  // namespace

TEST(Thread, RunsOncePerStartAndCanBeStartedAgain) {
    GatedThread t;
    EXPECT_FALSE(t.IsRunning());
    t.WaitComplete();  // nothing started: returns at once
    ASSERT_TRUE(t.StartThread());
    t.WaitComplete();
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.m_Runs, 1);
    ASSERT_TRUE(t.StartThread());
    t.WaitComplete();
    EXPECT_EQ(t.m_Runs, 2);
}

TEST(Thread, StartWhileRunningDoesNothing) {
    GatedThread t;
    std::promise<void> started;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    t.m_pStarted = &started;
    t.m_pGate = &gate;
    ASSERT_TRUE(t.StartThread());
    started.get_future().wait();
    EXPECT_TRUE(t.IsRunning());
    EXPECT_TRUE(t.StartThread());
    open.set_value();
    t.WaitComplete();
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.m_Runs, 1);
}

TEST(Thread, DestructionJoinsARunningWorker) {
    std::promise<void> started;
    std::promise<void> destroying;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::atomic<bool> finished{false};
    // The gate opens only once destruction has begun, so the worker is still
    // inside its function when the owner goes.
    std::thread opener([&] {
        destroying.get_future().wait();
        open.set_value();
    });
    {
        GatedThread t;
        t.m_pStarted = &started;
        t.m_pGate = &gate;
        t.m_pDestroying = &destroying;
        t.m_pFinished = &finished;
        ASSERT_TRUE(t.StartThread());
        started.get_future().wait();
        EXPECT_FALSE(finished);
    }
    EXPECT_TRUE(finished) << "the worker ended before its object did";
    opener.join();
}

TEST(Thread, AnExceptionStaysInTheWorker) {
    ZynTest::ScopedLogCapture log;
    GatedThread t;
    t.m_bThrow = true;
    ASSERT_TRUE(t.StartThread());
    t.WaitComplete();
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(log->Contains("Thread::ExecuteThread -> the thread function failed with an exception"));
    t.m_bThrow = false;
    ASSERT_TRUE(t.StartThread()) << "the wrapper is usable again";
    t.WaitComplete();
    EXPECT_EQ(t.m_Runs, 2);
}

TEST(Thread, WaitingOnTheWorkerItselfReturns) {
    GatedThread t;
    t.m_bJoinSelf = true;
    ASSERT_TRUE(t.StartThread());
    t.WaitComplete();
    EXPECT_EQ(t.m_Runs, 1);
    EXPECT_FALSE(t.IsRunning());
}
