// SpinLock and PauseLock under contention from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/sync/pause_lock.h"
#include "platform/sync/spin_lock.h"

namespace vexa::platform {
namespace {

constexpr int kThreads = 4;

template <typename Body>
void RunThreads(int count, Body body) {
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
    for (std::thread& t : threads) t.join();
}

TEST(SpinLockTest, KeepsAPlainCounterExactUnderContention) {
    SpinLock lock;
    long counter = 0;  // deliberately not atomic: only the lock protects it
    constexpr int kRounds = 50'000;
    RunThreads(kThreads, [&](int) {
        for (int i = 0; i < kRounds; ++i) {
            SpinGuard guard(lock);
            ++counter;
        }
    });
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

TEST(SpinLockTest, TryLockFailsWhileHeldAndSucceedsAfterRelease) {
    SpinLock lock;
    lock.Lock();
    std::atomic<bool> taken{true};
    std::thread([&] { taken = lock.TryLock(); }).join();
    EXPECT_FALSE(taken);
    lock.Unlock();
    if (lock.TryLock()) {
        lock.Unlock();
    } else {
        ADD_FAILURE() << "the released lock cannot be taken";
    }
}

// Writers move two fields together; a reader inside the lock must never see them apart, and the
// writer never shares the lock with a reader.
TEST(PauseLockTest, WritersExcludeReadersAndEachOther) {
    PauseLock lock;
    long first = 0;
    long second = 0;
    std::atomic<int> torn{0};
    std::atomic<int> readers_inside{0};
    std::atomic<int> overlaps{0};
    constexpr int kRounds = 20'000;
    RunThreads(kThreads, [&](int index) {
        for (int i = 0; i < kRounds; ++i) {
            if (index % 2 == 0) {
                PauseWriterGuard guard(lock);
                if (readers_inside.load() != 0) ++overlaps;
                ++first;
                ++second;
            } else {
                lock.LockReader();
                ++readers_inside;
                if (first != second) ++torn;
                --readers_inside;
                lock.UnlockReader();
            }
        }
    });
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(first, long{kThreads / 2} * kRounds);
    EXPECT_EQ(second, first);
    EXPECT_EQ(lock.Word(), 0u);
}

TEST(PauseLockTest, ReadersShareTheLock) {
    PauseLock lock;
    lock.LockReader();
    std::atomic<bool> entered{false};
    std::thread([&] {
        lock.LockReader();
        entered = true;
        lock.UnlockReader();
    }).join();
    EXPECT_TRUE(entered);
    lock.UnlockReader();
    EXPECT_EQ(lock.Word(), 0u);
}

TEST(PauseLockTest, AWaitingWriterKeepsNewReadersOutUntilItIsDone) {
    PauseLock lock;
    lock.LockReader();
    std::atomic<bool> writer_done{false};
    std::thread writer([&] {
        PauseWriterGuard guard(lock);
        writer_done = true;
    });
    // The writer has announced itself (bit 31) but waits for the reader inside.
    while ((lock.Word() & 0x80000000u) == 0) std::this_thread::yield();
    std::atomic<bool> late_reader_saw_writer_done{false};
    std::thread late_reader([&] {
        lock.LockReader();
        late_reader_saw_writer_done = writer_done.load();
        lock.UnlockReader();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(writer_done);
    lock.UnlockReader();
    writer.join();
    late_reader.join();
    EXPECT_TRUE(late_reader_saw_writer_done);
}

}  // namespace
}  // namespace vexa::platform
