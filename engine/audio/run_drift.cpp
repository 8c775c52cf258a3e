#include "engine/audio/run_drift.h"

#include <algorithm>

namespace vexa::engine {

RunDrift::RunDrift(int sample_rate)
    : bucket_samples_(std::max(1, sample_rate / 2)),
      threshold_(sample_rate / 50),
      jump_(sample_rate / 10),
      max_step_(std::max(1, sample_rate / 1000)),
      step_spacing_(sample_rate / 20) {}

void RunDrift::StartRun() {
    finished_ = 0;
    current_min_ = kNone;
    current_samples_ = 0;
    since_step_ = 0;
    correcting_ = false;
}

bool RunDrift::Estimate(int64_t* lateness) const {
    if (finished_ < kBuckets) return false;
    int64_t least = current_min_;
    for (int64_t m : done_) least = std::min(least, m);
    *lateness = least;
    return true;
}

int64_t RunDrift::Observe(int64_t lateness, int64_t samples) {
    current_min_ = std::min(current_min_, lateness);
    current_samples_ += samples;
    since_step_ += samples;
    if (current_samples_ >= bucket_samples_) {
        done_[static_cast<size_t>(finished_ % kBuckets)] = current_min_;
        ++finished_;
        if (finished_ >= 2 * kBuckets) finished_ -= kBuckets;  // keeps the slot order, never overflows
        current_min_ = kNone;
        current_samples_ = 0;
    }
    int64_t estimate = 0;
    if (!Estimate(&estimate)) return 0;
    const int64_t step = NextStep(estimate);
    if (step != 0) Shift(step);
    return step;
}

// Starts correcting beyond the threshold and goes on until the run sits on the estimate again, so
// that the sound does not hover at the threshold.
int64_t RunDrift::NextStep(int64_t estimate) {
    if (estimate == kNone) return 0;
    const int64_t size = estimate < 0 ? -estimate : estimate;
    if (size > jump_) return estimate;
    if (!correcting_ && size > threshold_) correcting_ = true;
    if (correcting_ && size < max_step_ / 2 + 1) correcting_ = false;
    if (!correcting_ || since_step_ < step_spacing_) return 0;
    since_step_ = 0;
    return std::clamp(estimate, -max_step_, max_step_);
}

// A correction moves every later block by its size: what was measured before is moved alike.
void RunDrift::Shift(int64_t correction) {
    for (int64_t& m : done_) m -= correction;
    if (current_min_ != kNone) current_min_ -= correction;
}

}  // namespace vexa::engine
