#include "platform/sync/pause_lock.h"

#include "platform/sync/spin_lock.h"

namespace vexa::platform {

void PauseLock::LockWriter() {
    SpinBackoff backoff;
    while (word_.fetch_or(kWriterBit, std::memory_order_acquire) & kWriterBit) {
        while (word_.load(std::memory_order_relaxed) & kWriterBit) backoff.Pause();
    }
    while (word_.load(std::memory_order_acquire) != kWriterBit) backoff.Pause();
}

void PauseLock::LockReader() {
    SpinBackoff backoff;
    while (word_.fetch_add(1, std::memory_order_acquire) + 1 > kReaderLimit) {
        word_.fetch_sub(1, std::memory_order_relaxed);
        while (word_.load(std::memory_order_relaxed) >= kReaderLimit) backoff.Pause();
    }
}

}  // namespace vexa::platform
