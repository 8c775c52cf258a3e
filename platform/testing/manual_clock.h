// A clock that moves only when told: deterministic session times for tests. Thread-safe.
#pragma once

#include <atomic>

#include "platform/time/clock.h"

namespace vexa::platform {

class ManualClock final : public Clock {
  public:
    explicit ManualClock(int64_t start = 1'000'000'000) : now_(start) {}
    int64_t Now() const override { return now_.load(std::memory_order_acquire); }
    void Set(int64_t value) { now_.store(value, std::memory_order_release); }
    void Advance(int64_t ticks) { now_.fetch_add(ticks, std::memory_order_acq_rel); }

  private:
    std::atomic<int64_t> now_;
};

}  // namespace vexa::platform
