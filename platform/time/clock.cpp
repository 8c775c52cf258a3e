#include "platform/time/clock.h"

#include <sched.h>
#include <time.h>

namespace vexa::platform {

int64_t PerformanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * kCounterFrequency + ts.tv_nsec;
}

namespace {
class PerformanceClock final : public Clock {
  public:
    int64_t Now() const override { return PerformanceCounter(); }
};
}  // namespace

Clock& SystemClock() {
    static PerformanceClock clock;
    return clock;
}

uint32_t TickCount() {
    return static_cast<uint32_t>(PerformanceCounter() / 1'000'000);
}

void YieldNow() {
    sched_yield();
}

void SwitchThread() {
    // A short real sleep lets a lower-priority holder run, where sched_yield may not.
    timespec ts{0, 50'000};
    nanosleep(&ts, nullptr);
}

void Sleep100ns(int64_t units) {
    if (units <= 0) return;
    timespec ts{static_cast<time_t>(units / 10'000'000), static_cast<long>((units % 10'000'000) * 100)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) != 0) {
    }
}

}  // namespace vexa::platform
