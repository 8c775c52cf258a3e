// Semaphores, auto-reset events and WaitAny: counts, consumption, time-outs and wake-ups across
// threads.
#include "platform/sync/waitable.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

constexpr int64_t kMs = 10'000;  // 100-ns units per millisecond

int64_t ElapsedMs(int64_t since) {
    return (PerformanceCounter() - since) / 1'000'000;
}

TEST(SemaphoreTest, EachWaitTakesOneCountUntilNoneIsLeft) {
    Semaphore semaphore(2);
    ASSERT_TRUE(semaphore.Valid());
    EXPECT_EQ(semaphore.Wait(0), WaitResult::kSignaled);
    EXPECT_EQ(semaphore.Wait(0), WaitResult::kSignaled);
    EXPECT_EQ(semaphore.Wait(0), WaitResult::kTimeout);

    ASSERT_TRUE(semaphore.Release(3));
    EXPECT_TRUE(semaphore.TryConsume());
    EXPECT_TRUE(semaphore.TryConsume());
    EXPECT_TRUE(semaphore.TryConsume());
    EXPECT_FALSE(semaphore.TryConsume());
}

TEST(SemaphoreTest, ReleaseRefusesCountsBeyondTheMaximum) {
    Semaphore semaphore;
    EXPECT_TRUE(semaphore.Release(0));
    EXPECT_FALSE(semaphore.TryConsume());
    EXPECT_FALSE(semaphore.Release(0x80000000u));
    EXPECT_FALSE(semaphore.TryConsume());
    EXPECT_TRUE(semaphore.Release(0x7FFFFFFFu));
    EXPECT_TRUE(semaphore.TryConsume());
}

TEST(SemaphoreTest, TimedWaitLastsAtLeastItsTimeOut) {
    Semaphore semaphore;
    const int64_t start = PerformanceCounter();
    EXPECT_EQ(semaphore.Wait(30 * kMs), WaitResult::kTimeout);
    EXPECT_GE(ElapsedMs(start), 30);
}

TEST(SemaphoreTest, EveryReleaseFromAnotherThreadWakesOneWait) {
    Semaphore semaphore;
    constexpr int kCount = 2000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) ASSERT_TRUE(semaphore.Release());
    });
    int taken = 0;
    while (taken < kCount && semaphore.Wait(5000 * kMs) == WaitResult::kSignaled) ++taken;
    producer.join();
    EXPECT_EQ(taken, kCount);
    EXPECT_FALSE(semaphore.TryConsume());
}

TEST(EventTest, SettingTwiceSignalsOnceAndTheWaitResetsIt) {
    Event event;
    event.Set();
    event.Set();
    EXPECT_EQ(event.Wait(0), WaitResult::kSignaled);
    EXPECT_EQ(event.Wait(10 * kMs), WaitResult::kTimeout);
}

TEST(EventTest, SetWakesAThreadAlreadyWaiting) {
    Event event;
    std::atomic<WaitResult> result{WaitResult::kFailed};
    std::thread waiter([&] { result = event.Wait(kInfinite); });
    Sleep100ns(20 * kMs);
    event.Set();
    waiter.join();
    EXPECT_EQ(result, WaitResult::kSignaled);
    EXPECT_FALSE(event.TryConsume());
}

TEST(EventTest, OneSetWakesOnlyOneOfTwoWaiters) {
    Event event;
    std::atomic<int> woken{0};
    auto wait = [&] {
        if (event.Wait(300 * kMs) == WaitResult::kSignaled) ++woken;
    };
    std::thread a(wait);
    std::thread b(wait);
    Sleep100ns(20 * kMs);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken, 1);
}

TEST(WaitAnyTest, ReportsAndConsumesOnlyTheSignalledObject) {
    Event first;
    Semaphore second;
    Event third;
    std::array<Waitable*, 3> objects{&first, &second, &third};
    ASSERT_TRUE(second.Release(2));
    size_t index = 99;
    ASSERT_EQ(WaitAny(objects, 0, &index), WaitResult::kSignaled);
    EXPECT_EQ(index, 1u);
    ASSERT_EQ(WaitAny(objects, 0, &index), WaitResult::kSignaled);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(WaitAny(objects, 10 * kMs, &index), WaitResult::kTimeout);

    third.Set();
    first.Set();
    std::vector<size_t> seen;
    while (WaitAny(objects, 0, &index) == WaitResult::kSignaled) seen.push_back(index);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<size_t>{0, 2}));
}

TEST(WaitAnyTest, WakesWhenAnotherThreadSignalsTheLastObject) {
    Event first;
    Event last;
    std::array<Waitable*, 2> objects{&first, &last};
    std::thread setter([&] {
        Sleep100ns(20 * kMs);
        last.Set();
    });
    size_t index = 99;
    EXPECT_EQ(WaitAny(objects, 5000 * kMs, &index), WaitResult::kSignaled);
    setter.join();
    EXPECT_EQ(index, 1u);
}

TEST(WaitAnyTest, WithoutObjectsItOnlySleepsAndCannotWaitForEver) {
    const int64_t start = PerformanceCounter();
    EXPECT_EQ(WaitAny({}, 20 * kMs, nullptr), WaitResult::kTimeout);
    EXPECT_GE(ElapsedMs(start), 20);
    EXPECT_EQ(WaitAny({}, kInfinite, nullptr), WaitResult::kFailed);
}

}  // namespace
}  // namespace vexa::platform
