// RunDrift: keeps one input's run of contiguous sound tied to the session clock. A run is placed by
// counting its samples, so a device whose sample clock is a little fast or slow drifts against the
// picture. For every block placed, the mix thread reports its lateness: where the block's capture
// time puts its end minus where the sample count puts it. The smallest lateness over the last three
// seconds is the estimate (the sound server delivers in bursts, and a capture time can only be late,
// never early). Once the estimate leaves ±20 ms, the run is steered back to it by dropping or
// repeating at most 1 ms of samples per 50 ms of sound; an estimate beyond ±100 ms (a device that
// stalled without saying so) is corrected at once. A single late burst never moves the run: the
// estimate is a minimum over seconds.
//
// Owned by CAudio, one per input; used by the mix thread only. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>

namespace vexa::engine {

class RunDrift {
  public:
    RunDrift() : RunDrift(48000) {}
    explicit RunDrift(int sample_rate);

    // Forgets the history: a new run starts, or the run was moved by padding.
    void StartRun();
    // Records a placed block of samples whose end is late by lateness samples (negative: early), and
    // returns the correction to apply before it: > 0 repeat that many samples, < 0 drop that many,
    // 0 leave it. The correction is taken as done.
    [[nodiscard]] int64_t Observe(int64_t lateness, int64_t samples);

    // The smoothed lateness; false until three seconds of the run have been seen.
    [[nodiscard]] bool Estimate(int64_t* lateness) const;
    [[nodiscard]] int64_t Threshold() const { return threshold_; }

  private:
    static constexpr int kBuckets = 6;  // of half a second each
    static constexpr int64_t kNone = INT64_MAX;

    void Shift(int64_t correction);
    [[nodiscard]] int64_t NextStep(int64_t estimate);

    int64_t bucket_samples_;                // samples of one bucket
    int64_t threshold_;                     // the estimate that starts a correction
    int64_t jump_;                          // the estimate corrected at once
    int64_t max_step_;                      // largest gradual correction
    int64_t step_spacing_;                  // samples between gradual corrections
    std::array<int64_t, kBuckets> done_{};  // minimum lateness of each finished bucket
    int finished_ = 0;                      // buckets finished since the run started
    int64_t current_min_ = kNone;           // the bucket being filled
    int64_t current_samples_ = 0;
    int64_t since_step_ = 0;
    bool correcting_ = false;
};

}  // namespace vexa::engine
