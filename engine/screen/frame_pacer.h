// The polling method's schedule: grabs are due on deadlines one frame period apart. A grab that comes
// late is not made up for: the next deadline is the first one of the schedule after it, so grabs
// never come in bursts and never closer than one period. Times are session times (counter ticks);
// the schedule stands still while the session is paused, as session time does.
//
// A plain value owned and used by the capture thread alone.
#pragma once

#include <cstdint>

namespace vexa::engine {

class FramePacer {
  public:
    // period: ticks per frame, at least 1.
    explicit FramePacer(int64_t period);

    // Ticks from now until the next grab is due; 0 when it is due (the first grab is due at once).
    [[nodiscard]] int64_t WaitFrom(int64_t now) const;
    // Records a grab made at now: the next deadline is the first of the schedule later than now.
    void Grabbed(int64_t now);

  private:
    int64_t period_;
    int64_t next_ = 0;
    bool started_ = false;  // false until the first grab fixes the schedule
};

}  // namespace vexa::engine
