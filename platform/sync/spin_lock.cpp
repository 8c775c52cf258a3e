#include "platform/sync/spin_lock.h"

#include "platform/time/clock.h"

namespace vexa::platform {

void SpinBackoff::Pause() {
    if (turns_ < 8) {
        ++turns_;
        YieldNow();
    } else {
        turns_ = 0;
        SwitchThread();
    }
}

void SpinLock::Lock() {
    SpinBackoff backoff;
    while (word_.exchange(1, std::memory_order_acquire) != 0) {
        while (word_.load(std::memory_order_relaxed) != 0) backoff.Pause();
    }
}

}  // namespace vexa::platform
