// Runs of sound kept on the session clock: RunDrift's estimate and steps, and CAudio on the scripted
// sound server with a device whose sample clock is fast, slow, or right but bursty, over simulated
// minutes of the session clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

#include "engine/audio/audio.h"
#include "engine/audio/run_drift.h"
#include "platform/testing/fake_audio_system.h"
#include "scripted_session.h"

namespace vexa::engine {
namespace {

using platform::AudioFormat;
using platform::SampleType;
using testing::ScriptedSession;

constexpr int kRate = 44100;
constexpr AudioFormat kS16Stereo44{SampleType::kPcm, 16, 2, 0x3, kRate};
constexpr int64_t kMs = 1'000'000;  // session ticks
constexpr int64_t kTickHz = ScriptedSession::kFrequency;
const int kRow = 1;

// --- RunDrift alone (rate 1000: one sample is a millisecond) ---

// Feeds blocks of 10 samples with the lateness of late(i) for block i, correcting the lateness by
// every correction made so far; returns the corrections in order.
template <typename Late>
std::vector<int64_t> Feed(RunDrift& drift, int blocks, Late late) {
    std::vector<int64_t> steps;
    int64_t moved = 0;
    for (int i = 0; i < blocks; ++i) {
        const int64_t step = drift.Observe(late(i) - moved, 10);
        moved += step;
        if (step != 0) steps.push_back(step);
    }
    return steps;
}

TEST(RunDrift, NothingIsCorrectedBeforeThreeSecondsOfTheRun) {
    RunDrift drift(1000);
    EXPECT_TRUE(Feed(drift, 299, [](int) { return 50; }).empty());
    int64_t estimate = 0;
    EXPECT_FALSE(drift.Estimate(&estimate));
    // The window is full with the next block: 50 ms late is beyond the threshold, so a first step.
    EXPECT_EQ(Feed(drift, 1, [](int) { return 50; }), std::vector<int64_t>{1});
}

TEST(RunDrift, LateRunIsRepeatedBackInSmallSpacedSteps) {
    RunDrift drift(1000);
    const std::vector<int64_t> steps = Feed(drift, 1000, [](int) { return 30; });
    // 30 ms late: 1 ms every 50 ms once the window is full, until the run sits on the clock.
    ASSERT_EQ(steps.size(), 30u);
    for (int64_t s : steps) EXPECT_EQ(s, 1);
    int64_t estimate = -1;
    ASSERT_TRUE(drift.Estimate(&estimate));
    EXPECT_EQ(estimate, 0);
}

TEST(RunDrift, EarlyRunIsDroppedAndSmallOffsetsAreLeftAlone) {
    RunDrift early(1000);
    const std::vector<int64_t> steps = Feed(early, 1000, [](int) { return -25; });
    EXPECT_EQ(steps, std::vector<int64_t>(25, -1));
    RunDrift within(1000);
    EXPECT_TRUE(Feed(within, 2000, [](int i) { return i % 2 ? 19 : -19; }).empty());
}

TEST(RunDrift, SingleLateBurstsNeverMoveTheRun) {
    RunDrift drift(1000);
    // Every block but one in twenty arrives very late; the on-time ones keep the minimum at 0.
    EXPECT_TRUE(Feed(drift, 5000, [](int i) { return i % 20 == 0 ? 0 : 90; }).empty());
}

TEST(RunDrift, StalledRunIsMovedAtOnceAndANewRunForgetsTheHistory) {
    RunDrift drift(1000);
    std::vector<int64_t> steps = Feed(drift, 300, [](int) { return 400; });
    EXPECT_EQ(steps, std::vector<int64_t>{400});
    drift.StartRun();
    int64_t estimate = 0;
    EXPECT_FALSE(drift.Estimate(&estimate));
    steps = Feed(drift, 300, [](int) { return -150; });
    EXPECT_EQ(steps, std::vector<int64_t>{-150});
}

// --- CAudio with a scripted device over minutes ---

class DriftRig {
  public:
    DriftRig() {
        platform::FakeDeviceScript s;
        s.id = s.name = "spk";
        s.accepted = {kS16Stereo44};
        s.mix_format = kS16Stereo44;
        s.buffer_frames = 441;
        device_ = system_.AddDevice(s);
        const SoundSourceEntry entries[] = {{0, 100, "spk", &kRow}, {}};
        Result<CAudio::Setup> setup =
            CAudio::Create(system_, "pcm_s16le", AudioRateTriple(192000), entries, false);
        if (!setup.ok()) return;
        setup_ = std::move(setup).value();
        auto session = std::make_unique<ScriptedSession>(AVRational{1, kRate});
        session_ = session.get();
        setup_->audio->Attach(std::move(session));
        ok_ = setup_->audio->BuildMixer(setup_->encoder.get()).ok();
    }
    [[nodiscard]] bool Ok() const { return ok_; }
    CAudio& audio() { return *setup_->audio; }

    // Every 10 ms of session time for the given seconds, the device delivers what its sample clock
    // (rate × (1 + ppm / 10⁶)) has recorded up to `jitter` before now, except while stalled; then one
    // capture and one mix pass run. Returns the largest distance between the input position and the
    // clock, in samples, once the first three seconds are past.
    template <typename Stalled, typename Jitter>
    int64_t Simulate(int seconds, double ppm, Stalled stalled, Jitter jitter) {
        int64_t worst = 0;
        for (int64_t t = 10 * kMs; t <= seconds * 1000 * kMs; t += 10 * kMs) {
            if (!stalled(t)) Deliver(t - jitter(), ppm);
            session_->now = t;
            (void)audio().CapturePass();
            (void)audio().MixPass();
            session_->packets.clear();
            const int64_t clock = t * kRate / kTickHz;
            if (t > 3000 * kMs) worst = std::max(worst, std::abs(audio().Position(0) - clock));
        }
        return worst;
    }

  private:
    void Deliver(int64_t until, double ppm) {
        const auto recorded =
            static_cast<int64_t>(static_cast<double>(until) * kRate / kTickHz * (1 + ppm / 1e6));
        const int64_t n = recorded - delivered_;
        if (n <= 0) return;
        device_->PushSamples(std::vector<int16_t>(2 * static_cast<size_t>(n), 100), static_cast<uint32_t>(n));
        delivered_ = recorded;
    }

    platform::FakeAudioSystem system_;
    std::shared_ptr<platform::FakeAudioDevice> device_;
    std::optional<CAudio::Setup> setup_;
    ScriptedSession* session_ = nullptr;
    int64_t delivered_ = 0;
    bool ok_ = false;
};

constexpr int64_t kThreshold = kRate / 50;  // 20 ms
constexpr int64_t kFiveMs = kRate / 200;

TEST(SoundDrift, FastAndSlowDevicesStayOnTheClockForMinutes) {
    for (double ppm : {1000.0, -1000.0}) {
        SCOPED_TRACE(ppm);
        DriftRig rig;
        ASSERT_TRUE(rig.Ok());
        std::mt19937 random(3);
        std::uniform_int_distribution<int64_t> jitter(0, 3 * kMs);
        const int64_t worst = rig.Simulate(
            300, ppm, [](int64_t) { return false; }, [&] { return jitter(random); });
        // Within the threshold, plus the jitter of delivery and the three-second window's lag.
        EXPECT_LE(worst, kThreshold + 2 * kFiveMs);
        // Five minutes at 0.1 % is 300 ms of samples to take out or put in.
        const int64_t expected = -static_cast<int64_t>(ppm * 300 * kRate / 1e6);
        EXPECT_NEAR(static_cast<double>(rig.audio().DriftCorrection(0)), static_cast<double>(expected),
                    static_cast<double>(kThreshold + kFiveMs));
    }
}

TEST(SoundDrift, BurstyDeliveryAtTheRightRateIsNeverCorrected) {
    DriftRig rig;
    ASSERT_TRUE(rig.Ok());
    std::mt19937 random(11);
    std::uniform_int_distribution<int64_t> jitter(0, 15 * kMs);
    std::bernoulli_distribution starts_stall(0.03);
    std::uniform_int_distribution<int64_t> stall_length(30 * kMs, 400 * kMs);
    int64_t stalled_until = 0;
    auto stalled = [&](int64_t t) {
        if (t >= 120'000 * kMs && t < 121'500 * kMs) return true;  // one burst held back 1.5 s
        if (t >= stalled_until && starts_stall(random)) stalled_until = t + stall_length(random);
        return t < stalled_until;
    };
    const int64_t worst = rig.Simulate(300, 0.0, stalled, [&] { return jitter(random); });
    EXPECT_EQ(rig.audio().DriftCorrection(0), 0);
    // The position lags the clock only by what is still held back: at most the 1.5 s burst and a
    // random stall right after it.
    EXPECT_LE(worst, 1900 * kRate / 1000 + kThreshold);
}

}  // namespace
}  // namespace vexa::engine
