// WorkerThread: waiting for the end of a thread with a time-out, as the stop sequence does.
#include "platform/sync/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

constexpr int64_t kMs = 10'000;

TEST(WorkerThreadTest, WaitForTimesOutWhileTheBodyRunsAndJoinsOnceItEnds) {
    Event release;
    std::atomic<bool> finished{false};
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&] {
        (void)release.Wait(kInfinite);
        finished = true;
    }));
    EXPECT_TRUE(worker.Running());
    const int64_t start = PerformanceCounter();
    EXPECT_FALSE(worker.WaitFor(20 * kMs));
    EXPECT_GE(PerformanceCounter() - start, 20'000'000);
    EXPECT_FALSE(worker.Start([] {}));  // one body at a time

    release.Set();
    EXPECT_TRUE(worker.WaitFor(5000 * kMs));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(worker.WaitFor(0));  // nothing left to wait for
}

TEST(WorkerThreadTest, CanRunAgainAfterTheFirstBodyWasJoined) {
    WorkerThread worker;
    std::atomic<int> runs{0};
    ASSERT_TRUE(worker.Start([&] { ++runs; }));
    ASSERT_TRUE(worker.WaitFor(kInfinite));
    ASSERT_TRUE(worker.Start([&] { ++runs; }));
    worker.Join();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(worker.Running());
}

TEST(WorkerThreadTest, DestructorJoinsARunningBody) {
    std::atomic<bool> finished{false};
    {
        WorkerThread worker;
        ASSERT_TRUE(worker.Start([&] {
            Sleep100ns(20 * kMs);
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace vexa::platform
