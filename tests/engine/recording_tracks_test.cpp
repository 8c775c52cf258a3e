// Whole recordings through Prepare, Start and the stop (the session taken out of the slot and
// deleted), on the scripted screen, camera and sound server and a clock the test moves: which streams
// the file gets, where each track ends, and how the writer lays the tracks out in the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>

#include "engine/camera/camera.h"
#include "engine/recording.h"
#include "platform/testing/fake_audio_system.h"
#include "platform/testing/fake_screen_backend.h"
#include "platform/testing/manual_clock.h"
#include "tests/camera/scripted_camera.h"
#include "tests/engine/screen_test_support.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"

namespace vexa::engine {
namespace {

using screen_test::WaitUntil;

constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kStep = kSecond / 10;  // each step brings a new picture and 100 ms of sound
constexpr int kSteps = 20;
constexpr int64_t kTail = kSecond / 20;  // the stop comes half a step after the last picture
constexpr int kRate = 48000;
constexpr double kMp3Frame = 1152.0 / kRate;
const int kSpeakerRow = 0;

class RecordingTracksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::FakeDeviceScript script;
        script.id = "spk";
        script.name = "Speaker";
        script.accepted = {{platform::SampleType::kFloat, 32, 2, 0x3, kRate}};
        script.mix_format = script.accepted.front();
        speaker_ = sound_.AddDevice(script);
        camera_script_->current = {platform::kFourCcYuyv, 64, 48, platform::FrameTimeOf(30)};
        camera_script_->offered = {camera_script_->current};
        camera_ = CCamera::CreateOnDevice(std::make_unique<test::ScriptedCamera>(camera_script_));
        ASSERT_TRUE(camera_->Start().ok());  // the preview window's camera
    }

    RecordingRequest Request(RecordingMode mode, bool sound) {
        RecordingRequest r;
        r.mode = mode;
        r.output_dir = folder_.Path().string();
        r.frame_rate_text = "10";
        r.show_cursor = false;
        r.clock = &clock_;
        r.sound_system = &sound_;
        if (sound) r.sound_sources = {{0, 100, "spk", &kSpeakerRow}};
        r.screen_backend = [this] {
            auto screen = std::make_unique<platform::FakeScreenBackend>(64, 48);
            screen->SetDamageSupported(false);
            screen_ = screen.get();
            return screen;
        };
        r.acquire_camera = [this] { return CameraRef::Share(camera_.get()).release(); };
        return r;
    }

    // Records kSteps steps of changing pictures (and a tone when asked) and stops half a step after
    // the last. Returns the file's path; stop_ is the stop position in seconds.
    std::string Record(RecordingMode mode, bool sound) {
        Result<std::string> prepared = Prepare(Request(mode, sound), slot_);
        EXPECT_TRUE(prepared.ok()) << prepared.error().message();
        if (!prepared.ok()) return {};
        const Error started = Start(slot_);
        EXPECT_TRUE(started.ok()) << started.message();
        const int64_t start = clock_.Now();
        // Sound read before the gate opened is dropped: wait until the sound capture thread is past
        // the gate, asleep on the speaker's event alone.
        if (sound) {
            EXPECT_TRUE(WaitUntil([] { return test::NamedThreadSleepsInPollOn("vexa-snd-cap", 1); }));
        }
        // The first picture at 0, then one per step.
        if (mode == RecordingMode::kScreen) {
            EXPECT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
        } else {
            EXPECT_TRUE(WaitUntil([&] { return camera_->IsRecording(); }));
            EXPECT_TRUE(camera_script_->Emit(test::YuyvPicture(64, 48, 40, 40)));
        }
        bool going = true;
        for (int step = 1; step <= kSteps && going; ++step)
            going = NextPicture(mode, static_cast<uint8_t>(40 + 8 * step)) && (!sound || DeliverTone(step));
        EXPECT_TRUE(going) << "a picture or the sound was not taken";
        clock_.Advance(kTail);
        stop_ = static_cast<double>(clock_.Now() - start) / kSecond;
        slot_.Take().reset();
        return *prepared;
    }

    // The clock moves one step on, and the screen, changed just before, is grabbed at the new time,
    // or the camera delivers a picture then; false when that did not happen.
    [[nodiscard]] bool NextPicture(RecordingMode mode, uint8_t grey) {
        if (mode == RecordingMode::kCamera) {
            clock_.Advance(kStep);
            return camera_script_->Emit(test::YuyvPicture(64, 48, grey, grey));
        }
        const int grabs = screen_->GrabCount();
        screen_->Fill(0xFF000000u | grey * 0x010101u);
        clock_.Advance(kStep);
        return WaitUntil([&] { return screen_->GrabCount() > grabs; });
    }

    // One step of a 440 Hz tone; true once the capture thread has read it.
    [[nodiscard]] bool DeliverTone(int step) {
        constexpr int kFrames = kRate / 10;
        std::vector<float> samples(2 * kFrames);
        for (int i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>((step - 1) * kFrames + i) / kRate;
            samples[2 * i] = samples[2 * i + 1] =
                static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * t));
        }
        speaker_->PushSamples(samples, kFrames);
        return WaitUntil([&] { return speaker_->Pending() == 0; });
    }

    platform::ManualClock clock_;
    test::TempFolder folder_;
    platform::FakeAudioSystem sound_;
    std::shared_ptr<platform::FakeAudioDevice> speaker_;
    std::shared_ptr<test::CameraScript> camera_script_ = std::make_shared<test::CameraScript>();
    CameraRef camera_;
    platform::FakeScreenBackend* screen_ = nullptr;
    SessionSlot slot_;
    double stop_ = 0;
};

TEST_F(RecordingTracksTest, PictureAndSoundTracksEndAtTheStop) {
    for (RecordingMode mode : {RecordingMode::kScreen, RecordingMode::kCamera}) {
        SCOPED_TRACE(RecordingModeName(mode));
        const std::string path = Record(mode, true);
        const auto file = test::ProbeFile(path);
        ASSERT_TRUE(file) << path;
        ASSERT_EQ(file->streams.size(), 2u);
        const int video = file->FirstStreamOf(true), audio = file->FirstStreamOf(false);
        ASSERT_GE(video, 0);
        ASSERT_GE(audio, 0);
        EXPECT_EQ(file->streams[static_cast<size_t>(video)].codec, "h264");
        EXPECT_EQ(file->streams[static_cast<size_t>(audio)].codec, "mp3");
        EXPECT_EQ(file->PacketsOf(video).size(), static_cast<size_t>(kSteps) + 1);
        // The last picture lasts until the stop; the sound ends in the last whole frame before it.
        EXPECT_NEAR(file->StreamEndSeconds(video), stop_, 1e-3);
        EXPECT_LE(file->StreamEndSeconds(audio), stop_ + 1e-3);
        EXPECT_GT(file->StreamEndSeconds(audio), stop_ - kMp3Frame);
        const auto decoded = test::DecodeSound(path);
        ASSERT_TRUE(decoded);
        EXPECT_NEAR(static_cast<double>(decoded->samples.size()) / decoded->sample_rate, stop_, kMp3Frame);
    }
}

TEST_F(RecordingTracksTest, WithoutASoundRowTheFileHoldsTheVideoAlone) {
    for (RecordingMode mode : {RecordingMode::kScreen, RecordingMode::kCamera}) {
        SCOPED_TRACE(RecordingModeName(mode));
        const auto file = test::ProbeFile(Record(mode, false));
        ASSERT_TRUE(file);
        ASSERT_EQ(file->streams.size(), 1u);
        EXPECT_EQ(file->streams[0].codec, "h264");
        EXPECT_NEAR(file->StreamEndSeconds(0), stop_, 1e-3);
    }
}

}  // namespace
}  // namespace vexa::engine
