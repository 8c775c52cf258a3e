// WorkerThread: waiting for the end of a thread with a time-out, as the stop sequence does.
#include "platform/sync/worker_thread.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <string>

#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

constexpr int64_t kMs = 10'000;

TEST(WorkerThreadTest, WaitForTimesOutWhileTheBodyRunsAndJoinsOnceItEnds) {
    Event release;
    std::atomic<bool> finished{false};
    WorkerThread worker;
    const Error started = worker.Start([&] {
        (void)release.Wait(kInfinite);
        finished = true;
    });
    ASSERT_TRUE(started.ok()) << started.message();
    EXPECT_TRUE(worker.Running());
    const int64_t start = PerformanceCounter();
    EXPECT_FALSE(worker.WaitFor(20 * kMs));
    EXPECT_GE(PerformanceCounter() - start, 20'000'000);
    const Error second = worker.Start([] {}, "vexa-second");  // one body at a time
    EXPECT_EQ(second.code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(second.message(), "thread vexa-second is already running");

    release.Set();
    EXPECT_TRUE(worker.WaitFor(5000 * kMs));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(worker.WaitFor(0));  // nothing left to wait for
}

TEST(WorkerThreadTest, CanRunAgainAfterTheFirstBodyWasJoined) {
    WorkerThread worker;
    std::atomic<int> runs{0};
    ASSERT_TRUE(worker.Start([&] { ++runs; }).ok());
    ASSERT_TRUE(worker.WaitFor(kInfinite));
    ASSERT_TRUE(worker.Start([&] { ++runs; }).ok());
    worker.Join();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(worker.Running());
}

TEST(WorkerThreadTest, DestructorJoinsARunningBody) {
    std::atomic<bool> finished{false};
    {
        WorkerThread worker;
        const Error started = worker.Start([&] {
            Sleep100ns(20 * kMs);
            finished = true;
        });
        ASSERT_TRUE(started.ok()) << started.message();
    }
    EXPECT_TRUE(finished);
}

// Log lines show the thread's name, so the engine's threads carry readable ones.
TEST(WorkerThreadTest, TheBodyRunsUnderItsNameCutToWhatTheSystemKeeps) {
    auto name_inside = [](const char* name) {
        std::string seen;
        WorkerThread worker;
        auto body = [&] {
            char buffer[32] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof buffer);
            seen = buffer;
        };
        EXPECT_TRUE(worker.Start(body, name).ok());
        worker.Join();
        return seen;
    };
    EXPECT_EQ(name_inside("vexa-scr-cap"), "vexa-scr-cap");
    EXPECT_EQ(name_inside("vexa-a-name-longer-than-fifteen"), "vexa-a-name-lon");
}

}  // namespace
}  // namespace vexa::platform
