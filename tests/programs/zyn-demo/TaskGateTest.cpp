// The gate that meters the loader's worker: a task passes only when the
// frame thread has let that many through, and shutting the gate frees a
// waiting worker with a refusal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TaskGate.h"

using Demo::TaskGate;

namespace {

// Waits up to a second for the count to reach n.
bool Reaches(const std::atomic<int>& count, int n) {
    for (int i = 0; i < 1000 && count.load() < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return count.load() >= n;
}

}  // namespace

TEST(TaskGate, LetsThroughOnlyAsManyTasksAsAllowed) {
    TaskGate gate;
    std::atomic<int> passed{0};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            if (gate.WaitPass()) ++passed;
    });
    gate.AllowUpTo(2);
    EXPECT_TRUE(Reaches(passed, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(passed.load(), 2);
    gate.AllowUpTo(3);
    worker.join();
    EXPECT_EQ(passed.load(), 3);
}

TEST(TaskGate, NeverTakesBackWhatItAllowed) {
    TaskGate gate;
    gate.AllowUpTo(4);
    gate.AllowUpTo(1);
    EXPECT_EQ(gate.GetAllowed(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(gate.WaitPass());
}

TEST(TaskGate, ShuttingFreesAWaitingWorkerWithARefusal) {
    TaskGate gate;
    std::atomic<int> answers{0};
    std::atomic<bool> refused{false};
    std::thread worker([&] {
        refused = !gate.WaitPass();
        ++answers;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(answers.load(), 0);
    gate.Shut();
    worker.join();
    EXPECT_TRUE(refused.load());
    // Also later tasks, even ones that had been allowed.
    gate.AllowUpTo(5);
    EXPECT_FALSE(gate.WaitPass());
}
