// PauseLock: a reader/writer spin lock in one 32-bit word. Bit 31 is the writer bit; the low bits
// count readers. Readers never block each other; a writer first claims bit 31 (new readers then back
// off), then waits for the readers already inside to leave. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread_annotations.h"

namespace vexa::platform {

class CAPABILITY("mutex") PauseLock {
  public:
    void LockWriter() ACQUIRE();
    void UnlockWriter() RELEASE() { word_.fetch_and(~kWriterBit, std::memory_order_release); }
    void LockReader() ACQUIRE_SHARED();
    void UnlockReader() RELEASE_SHARED() { word_.fetch_sub(1, std::memory_order_release); }

    [[nodiscard]] uint32_t Word() const { return word_.load(std::memory_order_relaxed); }

  private:
    static constexpr uint32_t kWriterBit = 0x80000000u;
    static constexpr uint32_t kReaderLimit = 0x60000000u;
    std::atomic<uint32_t> word_{0};
};

class SCOPED_CAPABILITY PauseWriterGuard {
  public:
    explicit PauseWriterGuard(PauseLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.LockWriter(); }
    ~PauseWriterGuard() RELEASE() { lock_.UnlockWriter(); }
    PauseWriterGuard(const PauseWriterGuard&) = delete;
    PauseWriterGuard& operator=(const PauseWriterGuard&) = delete;

  private:
    PauseLock& lock_;
};

}  // namespace vexa::platform
