// The performance counter: a monotonic clock in nanoseconds. Thread-safe, lock-free.
#pragma once

#include <cstdint>

namespace vexa::platform {

// Ticks per second of PerformanceCounter(): the counter counts nanoseconds.
inline constexpr int64_t kCounterFrequency = 1'000'000'000;

// Monotonic counter value (CLOCK_MONOTONIC, nanoseconds). Never goes backwards.
[[nodiscard]] int64_t PerformanceCounter();

// Milliseconds since an arbitrary point, wrapping like a 32-bit tick count.
[[nodiscard]] uint32_t TickCount();

// Gives the processor to another thread: the spin locks' back-off steps.
void YieldNow();      // like Sleep(0)
void SwitchThread();  // like SwitchToThread()

// Sleeps for a relative time in 100-nanosecond units (negative or zero returns at once).
void Sleep100ns(int64_t units);

// The clock a recording reads its times from. The system clock is the performance counter; tests
// use a ManualClock they move themselves. Now() is thread-safe.
class Clock {
  public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual int64_t Now() const = 0;
    [[nodiscard]] int64_t Frequency() const { return kCounterFrequency; }
};

// The process-wide performance counter as a Clock.
[[nodiscard]] Clock& SystemClock();

}  // namespace vexa::platform
