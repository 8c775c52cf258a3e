// SpinLock: the short critical section of the engine and the pages. A 32-bit word taken by atomic
// exchange to 1; a waiter yields up to eight times, then gives its time slice away, and tries again.
// Thread-safe; not recursive. Hold it only for a few instructions (list splices, pointer swaps).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread_annotations.h"

namespace vexa::platform {

class CAPABILITY("mutex") SpinLock {
  public:
    void Lock() ACQUIRE();
    void Unlock() RELEASE() { word_.exchange(0, std::memory_order_release); }
    [[nodiscard]] bool TryLock() TRY_ACQUIRE(true) {
        return word_.exchange(1, std::memory_order_acquire) == 0;
    }

  private:
    std::atomic<uint32_t> word_{0};
};

// Spin back-off shared by SpinLock and PauseLock: Sleep(0) eight times, then SwitchToThread.
class SpinBackoff {
  public:
    void Pause();

  private:
    int turns_ = 0;
};

class SCOPED_CAPABILITY SpinGuard {
  public:
    explicit SpinGuard(SpinLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.Lock(); }
    ~SpinGuard() RELEASE() { lock_.Unlock(); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

  private:
    SpinLock& lock_;
};

}  // namespace vexa::platform
