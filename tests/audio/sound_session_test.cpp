// The sound stream inside a real recording session, on the scripted sound server and a clock the
// test moves: the start gate, the capture and mix threads, pause, a device that stops delivering, and
// the exact end of the stream.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "decoded_audio.h"
#include "engine/capture.h"
#include "platform/testing/fake_audio_system.h"
#include "platform/testing/manual_clock.h"
#include "tests/net/captured_log.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"
#include "tests/support/wait_until.h"

namespace vexa::engine {
namespace {

using platform::AudioFormat;
using platform::SampleType;
using testing::DecodeAudioTrack;
using testing::ToneAmplitude;

constexpr AudioFormat kFloatStereo48{SampleType::kFloat, 32, 2, 0x3, 48000};
constexpr int64_t kSecond = 1'000'000'000;
// Samples the file gives back for n whole AC-3 frames: the player drops the encoder's 256 samples of
// priming, which the container's edit list marks.
constexpr size_t Ac3Samples(size_t frames) {
    return frames * 1536 - 256;
}
const int kRow = 1;

std::vector<float> Tone(int frames, double frequency, float amplitude) {
    std::vector<float> s(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / 48000));
        s[2 * static_cast<size_t>(i)] = s[2 * static_cast<size_t>(i) + 1] = v;
    }
    return s;
}

class SoundSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = folder.File("sound.m4a");
        platform::FakeDeviceScript script;
        script.id = "spk";
        script.name = "Speaker";
        script.accepted = {kFloatStereo48};
        script.mix_format = kFloatStereo48;
        script.buffer_frames = 480;
        speaker = system.AddDevice(script);
        auto created = CCapture::Create(path, clock);
        ASSERT_TRUE(created.ok()) << created.error().message();
        session = std::move(created).value();
        const SoundSourceEntry entries[] = {{0, 100, "spk", &kRow}, {}};
        ASSERT_TRUE(session->AddAudioStream("ac3", AudioRateTriple(AudioBitRateB(50)), entries, system).ok());
    }

    // Queues the samples when the session clock has reached now, and waits until the capture thread
    // has read them.
    void Deliver(const std::vector<float>& samples) {
        speaker->PushSamples(samples, static_cast<uint32_t>(samples.size() / 2));
        ASSERT_TRUE(test::WaitUntil([&] { return speaker->Pending() == 0; }));
    }
    void StartAndSettle() {
        ASSERT_TRUE(session->Start().ok());
        // Until the capture thread is past the start gate it empties the devices, which could take
        // the first test packet; past it, it sleeps on the speaker's event alone.
        ASSERT_TRUE(test::WaitUntil([] { return test::NamedThreadSleepsInPollOn("vexa-snd-cap", 1); }));
    }

    vexa::test::TempFolder folder;
    std::string path;
    platform::ManualClock clock;
    platform::FakeAudioSystem system;
    std::shared_ptr<platform::FakeAudioDevice> speaker;
    std::unique_ptr<CCapture> session;
};

TEST_F(SoundSessionTest, StreamEndsAtTheStopPositionInWholeEncoderFrames) {
    StartAndSettle();
    clock.Advance(kSecond);
    Deliver(Tone(48000, 440, 0.5f));
    session.reset();  // stops at exactly one second of session time
    const auto decoded = DecodeAudioTrack(path);
    ASSERT_EQ(decoded.codec, AV_CODEC_ID_AC3);
    EXPECT_EQ(decoded.sample_rate, 48000);
    EXPECT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.samples.size(), Ac3Samples(31));  // 48000 samples: 31 whole frames, the rest not sent
    EXPECT_NEAR(ToneAmplitude(decoded.samples, 12000, 24000, 440, 48000), 0.5, 0.05);
}

// The device removed: its track goes on in silence, and the log says once which source ended and why.
TEST_F(SoundSessionTest, DeviceThatStopsDeliveringIsPaddedLoggedOnceAndTheRecordingGoesOn) {
    net::testing::CapturedLog log;
    StartAndSettle();
    clock.Advance(kSecond / 2);
    Deliver(Tone(24000, 440, 0.5f));
    speaker->Unplug();
    const std::string lost =
        "stopped during the recording; the rest of its track is silent: 'spk' was removed";
    ASSERT_TRUE(test::WaitUntil([&] { return log.Text().find(lost) != std::string::npos; })) << log.Text();
    clock.Advance(5 * kSecond / 2);
    session.reset();
    const std::string text = log.Text();
    EXPECT_EQ(text.find(lost), text.rfind(lost)) << text;
    const auto decoded = DecodeAudioTrack(path);
    EXPECT_EQ(decoded.samples.size(), Ac3Samples(93));  // 3 s = 144000 samples
    EXPECT_NEAR(ToneAmplitude(decoded.samples, 4000, 16000, 440, 48000), 0.5, 0.05);
    EXPECT_LT(ToneAmplitude(decoded.samples, 48000, 48000, 440, 48000), 0.01);
}

TEST_F(SoundSessionTest, AMinuteOfPauseAddsNoMinuteOfSound) {
    StartAndSettle();
    clock.Advance(kSecond / 2);
    Deliver(Tone(24000, 440, 0.5f));
    session->Pause();
    clock.Advance(60 * kSecond);
    session->Resume();
    clock.Advance(kSecond / 2);
    Deliver(Tone(24000, 440, 0.5f));
    session.reset();
    const auto decoded = DecodeAudioTrack(path);
    EXPECT_EQ(decoded.samples.size(), Ac3Samples(31));
}

TEST_F(SoundSessionTest, SessionDeletedBeforeItsStartEndsBothThreadsWithoutSound) {
    session.reset();  // must not hang
    EXPECT_EQ(DecodeAudioTrack(path).codec, AV_CODEC_ID_NONE);
}

}  // namespace
}  // namespace vexa::engine
