// CAudio's capture and mix passes on the scripted sound server and a scripted session: placement of
// runs on the clock, silence, trimming, padding, pause, stop position, frame sizes and volume.
#include <gtest/gtest.h>

#include "engine/audio/audio.h"
#include "platform/testing/fake_audio_system.h"
#include "scripted_session.h"

namespace vexa::engine {
namespace {

using platform::AudioFormat;
using platform::FakeAudioDevice;
using platform::FakeDeviceScript;
using platform::SampleType;
using testing::ScriptedSession;

constexpr AudioFormat kS16Stereo44{SampleType::kPcm, 16, 2, 0x3, 44100};
constexpr AudioFormat kFloatStereo48{SampleType::kFloat, 32, 2, 0x3, 48000};
constexpr AudioFormat kFloatMono48{SampleType::kFloat, 32, 1, 0x4, 48000};
constexpr int64_t Ms(int64_t ms) {
    return ScriptedSession::Ms(ms);
}

FakeDeviceScript Device(platform::AudioDeviceKind kind, const char* id, AudioFormat format,
                        uint32_t buffer = 441) {
    FakeDeviceScript s;
    s.kind = kind;
    s.id = id;
    s.name = id;
    s.accepted = {format};
    s.mix_format = format;
    s.buffer_frames = buffer;
    return s;
}

// Interleaved stereo samples all of one value.
std::vector<int16_t> Stereo(int frames, int16_t value) {
    return std::vector<int16_t>(2 * static_cast<size_t>(frames), value);
}

class Rig {
  public:
    std::shared_ptr<FakeAudioDevice> Add(FakeDeviceScript script) {
        return system_.AddDevice(std::move(script));
    }

    // Opens the entries with the named encoder and attaches a scripted session.
    Error Open(const char* encoder, std::vector<SoundSourceEntry> entries) {
        entries.push_back({});
        setup_.reset();
        Result<CAudio::Setup> setup =
            CAudio::Create(system_, encoder, AudioRateTriple(192000), entries.data(), false);
        if (!setup.ok()) return setup.error();
        setup_ = std::move(setup).value();
        auto session = std::make_unique<ScriptedSession>(AVRational{1, setup_->encoder->sample_rate});
        session_ = session.get();
        setup_->audio->Attach(std::move(session));
        return setup_->audio->BuildMixer(setup_->encoder.get());
    }
    // One capture pass at session time t, then one mix pass at session time mix_t.
    bool Run(int64_t capture_t, int64_t mix_t) {
        session_->now = capture_t;
        (void)audio().CapturePass();
        session_->now = mix_t;
        return audio().MixPass();
    }
    bool Run(int64_t t) { return Run(t, t); }

    CAudio& audio() { return *setup_->audio; }
    ScriptedSession& session() { return *session_; }
    AVCodecContext* encoder() { return setup_->encoder.get(); }
    platform::FakeAudioSystem& system() { return system_; }

  private:
    platform::FakeAudioSystem system_;
    std::optional<CAudio::Setup> setup_;
    ScriptedSession* session_ = nullptr;
};

const int kSpeakerRow = 1, kMicRow = 2;

class PassThroughTest : public ::testing::Test {
  protected:
    void SetUp() override {
        speaker = rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "spk", kS16Stereo44));
        ASSERT_TRUE(rig.Open("pcm_s16le", {{0, 100, "spk", &kSpeakerRow}}).ok());
        ASSERT_FALSE(rig.audio().Mixer().HasResampler());
        ASSERT_FALSE(rig.audio().Mixer().HasGraph());
    }
    std::vector<int16_t> Out() const { return rig.session().Samples<int16_t>(); }
    // Frames of output equal to value in [from, to).
    bool AllEqual(size_t from, size_t to, int16_t value) const {
        const auto out = Out();
        if (out.size() < 2 * to) return false;
        return std::all_of(out.begin() + static_cast<ptrdiff_t>(2 * from),
                           out.begin() + static_cast<ptrdiff_t>(2 * to),
                           [&](int16_t v) { return v == value; });
    }
    mutable Rig rig;
    std::shared_ptr<FakeAudioDevice> speaker;
};

TEST_F(PassThroughTest, FirstRunEndsAtItsCaptureTimeAndFramesWaitForTheClock) {
    speaker->PushSamples(Stereo(882, 7), 882);  // two blocks of 441
    EXPECT_FALSE(rig.Run(Ms(20), Ms(15)));      // clock at 661 samples: only the first block is due
    EXPECT_EQ(Out().size(), 2u * 441);
    EXPECT_EQ(rig.audio().Position(0), 882);
    EXPECT_FALSE(rig.Run(Ms(20)));
    EXPECT_EQ(Out().size(), 2u * 882);
    EXPECT_TRUE(AllEqual(0, 882, 7));
}

TEST_F(PassThroughTest, SilentPacketBecomesZerosOfTheSameLength) {
    speaker->PushSamples(Stereo(441, 9), 441, platform::kPacketSilent);
    EXPECT_FALSE(rig.Run(Ms(10)));
    EXPECT_EQ(Out().size(), 2u * 441);
    EXPECT_TRUE(AllEqual(0, 441, 0));
}

TEST_F(PassThroughTest, HoleBeforeANewRunIsFilledWithSilence) {
    speaker->PushSamples(Stereo(441, 1), 441);
    EXPECT_FALSE(rig.Run(Ms(10)));
    speaker->PushSamples(Stereo(441, 2), 441, platform::kPacketDiscontinuity);
    EXPECT_FALSE(rig.Run(Ms(30)));  // starts at 882: 441 samples of silence first
    EXPECT_TRUE(AllEqual(0, 441, 1));
    EXPECT_TRUE(AllEqual(441, 882, 0));
    EXPECT_TRUE(AllEqual(882, 1323, 2));
}

TEST_F(PassThroughTest, OverlappingStartIsTrimmed) {
    speaker->PushSamples(Stereo(441, 1), 441);
    EXPECT_FALSE(rig.Run(Ms(10)));
    // 541 frames ending at 882 start at 341: the first 100 overlap what is already placed.
    speaker->PushSamples(Stereo(541, 2), 541, platform::kPacketDiscontinuity);
    EXPECT_FALSE(rig.Run(Ms(20)));
    EXPECT_EQ(Out().size(), 2u * 882);
    EXPECT_TRUE(AllEqual(0, 441, 1));
    EXPECT_TRUE(AllEqual(441, 882, 2));
}

TEST_F(PassThroughTest, OverlapLongerThanABlockEatsIntoTheNextBlocks) {
    speaker->PushSamples(Stereo(882, 1), 882);
    EXPECT_FALSE(rig.Run(Ms(20)));
    // 700 frames ending at 982 (blocks of 441 and 259): 600 overlap, so the first block goes whole
    // and the second loses 159.
    speaker->PushSamples(Stereo(700, 2), 700, platform::kPacketDiscontinuity);
    speaker->PushSamples(Stereo(441, 3), 441);
    const int64_t at_982 = 22'267'574;  // session ticks of sample 982, rounded up
    EXPECT_FALSE(rig.Run(at_982, Ms(40)));
    EXPECT_EQ(rig.audio().Position(0), 882 + 100 + 441);
    EXPECT_TRUE(AllEqual(0, 882, 1));
    EXPECT_TRUE(AllEqual(882, 982, 2));
    EXPECT_TRUE(AllEqual(982, 1423, 3));
}

TEST_F(PassThroughTest, SilentSpeakerIsPaddedOnlyOnceItLagsTwoSeconds) {
    EXPECT_FALSE(rig.Run(Ms(1900)));
    EXPECT_EQ(rig.audio().Position(0), 0);
    EXPECT_FALSE(rig.Run(Ms(3000)));
    EXPECT_EQ(rig.audio().Position(0), 44100);
    EXPECT_TRUE(AllEqual(0, 44100, 0));
    // The sound comes back: its run lands at its capture time, the hole before it is silence.
    speaker->PushSamples(Stereo(441, 5), 441, platform::kPacketDiscontinuity);
    EXPECT_FALSE(rig.Run(Ms(3000)));
    EXPECT_EQ(rig.audio().Position(0), 132300);
    EXPECT_TRUE(AllEqual(131859, 132300, 5));
}

TEST_F(PassThroughTest, APauseAddsNoSilence) {
    speaker->PushSamples(Stereo(441, 1), 441);
    EXPECT_FALSE(rig.Run(Ms(10)));
    rig.session().paused = true;  // the session time stands still at 10 ms while paused
    speaker->PushSamples(Stereo(441, 8), 441);
    EXPECT_FALSE(rig.audio().CapturePass());  // dropped
    rig.session().paused = false;
    speaker->PushSamples(Stereo(441, 2), 441);
    EXPECT_FALSE(rig.Run(Ms(20)));
    EXPECT_EQ(Out().size(), 2u * 882);
    EXPECT_TRUE(AllEqual(0, 441, 1));
    EXPECT_TRUE(AllEqual(441, 882, 2));
}

TEST_F(PassThroughTest, BlocksCutFromOnePacketFollowEachOther) {
    speaker->PushSamples(Stereo(1000, 4), 1000);  // 441 + 441 + 118
    EXPECT_FALSE(rig.Run(22'675'737));            // session ticks of sample 1000, rounded up
    EXPECT_EQ(rig.audio().Position(0), 1000);
    EXPECT_EQ(Out().size(), 2u * 1000);
    EXPECT_TRUE(AllEqual(0, 1000, 4));
}

TEST_F(PassThroughTest, StreamEndsExactlyAtTheStopPositionWhateverIsStillQueued) {
    speaker->PushSamples(Stereo(441, 1), 441);
    EXPECT_FALSE(rig.Run(Ms(10)));
    speaker->PushSamples(Stereo(2205, 2), 2205);
    rig.session().now = Ms(60);
    (void)rig.audio().CapturePass();
    rig.session().now = Ms(37);
    rig.session().StopNow();
    EXPECT_TRUE(rig.audio().MixPass());
    EXPECT_EQ(Out().size(), 2u * 1631);  // 37 ms × 44100 / 1000, truncated
}

TEST_F(PassThroughTest, StopWithNothingCapturedIsSilenceUpToTheStop) {
    rig.session().now = Ms(500);
    rig.session().StopNow();
    EXPECT_TRUE(rig.audio().MixPass());
    EXPECT_EQ(Out().size(), 2u * 22050);
    EXPECT_TRUE(AllEqual(0, 22050, 0));
}

TEST_F(PassThroughTest, VolumeScalesTheRowsInput) {
    EXPECT_FALSE(rig.audio().SetRowVolume(&kMicRow, 0.5f));
    EXPECT_TRUE(rig.audio().SetRowVolume(&kSpeakerRow, 0.5f));
    EXPECT_FLOAT_EQ(speaker->Gain(), 0.5f);
    speaker->PushSamples(Stereo(441, 1000), 441);
    EXPECT_FALSE(rig.Run(Ms(10)));
    EXPECT_TRUE(AllEqual(0, 441, 500));
}

TEST(SoundSilence, UnsignedEightBitSilenceIsTheMidValue) {
    Rig rig;
    auto speaker =
        rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "spk", {SampleType::kPcm, 8, 2, 0x3, 44100}));
    ASSERT_TRUE(rig.Open("pcm_u8", {{0, 100, "spk", &kSpeakerRow}}).ok());
    ASSERT_FALSE(rig.audio().Mixer().HasResampler());
    speaker->PushPacket(std::vector<uint8_t>(882, 3), 441, platform::kPacketSilent);
    EXPECT_FALSE(rig.Run(Ms(20)));  // the run ends at 882: a hole of 441, then the silent packet
    const auto out = rig.session().Bytes();
    ASSERT_EQ(out.size(), 2u * 882);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 0x80; }));
}

TEST(SoundDevices, TwentyFourBitDeviceIsReadInThirtyTwoBitWords) {
    Rig rig;
    auto speaker = rig.Add(
        Device(platform::AudioDeviceKind::kSpeaker, "spk", {SampleType::kPcm, 24, 2, 0x3, 48000}, 480));
    ASSERT_TRUE(rig.Open("pcm_s16le", {{0, 100, "spk", &kSpeakerRow}}).ok());
    ASSERT_EQ(speaker->Initialized().size(), 1u);
    EXPECT_EQ(speaker->Initialized()[0], (AudioFormat{SampleType::kPcm, 32, 2, 0x3, 48000}));
    EXPECT_EQ(rig.audio().Input(0).sample_format, AV_SAMPLE_FMT_S32);
    EXPECT_TRUE(rig.audio().Mixer().HasResampler());
}

TEST(SoundVolume, EntryVolumeIsSetAtOpenAndInputsWithoutVolumeAreSkipped) {
    Rig rig;
    auto speaker = rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "spk", kS16Stereo44));
    FakeDeviceScript mic_script = Device(platform::AudioDeviceKind::kMicrophone, "mic", kS16Stereo44);
    mic_script.has_volume = false;
    auto mic = rig.Add(mic_script);
    ASSERT_TRUE(rig.Open("pcm_s16le", {{0, 50, "spk", &kSpeakerRow}, {1, 100, "mic", &kMicRow}}).ok());
    EXPECT_FLOAT_EQ(speaker->Gain(), 0.5f);
    EXPECT_TRUE(rig.audio().SetRowVolume(&kMicRow, 0.25f));
    EXPECT_FLOAT_EQ(mic->Gain(), 1.0f);
}

TEST(SoundMixer, SingleInputInAnotherFormatIsResampledWithoutAGraph) {
    Rig rig;
    auto mic = rig.Add(Device(platform::AudioDeviceKind::kMicrophone, "mic", kFloatMono48, 480));
    ASSERT_TRUE(rig.Open("pcm_s16le", {{1, 100, "mic", &kMicRow}}).ok());
    EXPECT_TRUE(rig.audio().Mixer().HasResampler());
    EXPECT_FALSE(rig.audio().Mixer().HasGraph());
    EXPECT_EQ(rig.encoder()->ch_layout.nb_channels, 2);  // a mono input still gives the encoder's stereo
    mic->PushSamples(std::vector<float>(4800, 0.5f), 4800);
    EXPECT_FALSE(rig.Run(Ms(100)));
    const auto out = rig.session().Samples<int16_t>();
    ASSERT_GT(out.size(), 2u * 4000);
    EXPECT_LE(out.size(), 2u * 4410);
    const size_t mid = out.size() / 2 & ~size_t{1};
    EXPECT_EQ(out[mid], out[mid + 1]);  // both channels carry the microphone
    EXPECT_GT(out[mid], 8000);
}

TEST(SoundMixer, SpeakerAndMicrophoneMixThroughTheTwoInputGraphSpeakerFirst) {
    Rig rig;
    auto speaker = rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "spk", kFloatStereo48, 480));
    auto mic = rig.Add(Device(platform::AudioDeviceKind::kMicrophone, "mic", kFloatMono48, 480));
    ASSERT_TRUE(rig.Open("pcm_s16le", {{1, 100, "mic", &kMicRow}, {0, 100, "spk", &kSpeakerRow}}).ok());
    ASSERT_EQ(rig.audio().InputCount(), 2);
    EXPECT_EQ(rig.audio().Input(0).row, &kSpeakerRow);
    EXPECT_EQ(rig.audio().Input(1).row, &kMicRow);
    EXPECT_EQ(rig.audio().Mixer().GraphText(), "[in0][in1]amix=inputs=2[out]");
    EXPECT_EQ(BufferSourceArgs(rig.audio().Input(0)),
              "time_base=1/48000:sample_rate=48000:sample_fmt=flt:channel_layout=0x3");
    speaker->PushSamples(std::vector<float>(2 * 4800, 0.25f), 4800);
    mic->PushSamples(std::vector<float>(4800, 0.25f), 4800);
    EXPECT_FALSE(rig.Run(Ms(100)));
    rig.session().now = Ms(150);
    rig.session().StopNow();
    EXPECT_TRUE(rig.audio().MixPass());
    EXPECT_EQ(rig.session().Samples<int16_t>().size(), 2u * 6615);  // 150 ms at 44100
}

TEST(SoundMixer, FixedFrameEncoderGetsWholeFramesAndTheLastPartialFrameIsNotSent) {
    Rig rig;
    auto speaker = rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "spk", kFloatStereo48, 480));
    ASSERT_TRUE(rig.Open("ac3", {{0, 100, "spk", &kSpeakerRow}}).ok());
    ASSERT_TRUE(rig.audio().Mixer().HasStaging());
    EXPECT_EQ(rig.encoder()->ch_layout.nb_channels, 2);  // re-chosen from the stereo speaker
    EXPECT_EQ(rig.encoder()->frame_size, 1536);
    speaker->PushSamples(std::vector<float>(2 * 4800, 0.1f), 4800);
    EXPECT_FALSE(rig.Run(Ms(100)));
    EXPECT_EQ(rig.audio().Mixer().OutputPosition(), 3 * 1536);
    rig.session().StopNow();
    EXPECT_TRUE(rig.audio().MixPass());
    EXPECT_EQ(rig.audio().Mixer().OutputPosition(), 3 * 1536);  // 192 samples stay behind
    EXPECT_EQ(rig.audio().Mixer().StagedSamples(), 192);
    ASSERT_EQ(rig.session().packets.size(), 3u);
    for (const auto& p : rig.session().packets) EXPECT_EQ(p.duration, 1536);
}

// Each refusal names the device or the encoder it is about, so the user can act on it.
TEST(SoundDevices, EntryCountAndDeviceLookupFailWithTheDeviceNamed) {
    Rig rig;
    rig.Add(Device(platform::AudioDeviceKind::kSpeaker, "Speaker.A", kS16Stereo44));
    const Error none = rig.Open("pcm_s16le", {});
    EXPECT_EQ(none.code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(none.message(), "no speaker or microphone chosen");
    const Error missing = rig.Open("pcm_s16le", {{0, 100, "nothing", &kSpeakerRow}});
    EXPECT_EQ(missing.code(), ErrorCode::kNotFound);
    EXPECT_EQ(missing.message(), "speaker 'nothing' is not connected");
    // A speaker's ID given as a microphone is not found among the microphones; a name given with
    // the entry names the device, and every missing device is named.
    const Error two = rig.Open("pcm_s16le", {{1, 100, "Speaker.A", &kSpeakerRow, "Desk Mic"},
                                             {0, 100, "Speaker.A", &kSpeakerRow},
                                             {0, 100, "gone", &kSpeakerRow, "USB Headset"}});
    EXPECT_EQ(two.message(),
              "microphone 'Desk Mic' is not connected, speaker 'USB Headset' is not connected");
    const Error encoder = rig.Open("no_such_encoder", {{0, 100, "Speaker.A", &kSpeakerRow}});
    EXPECT_EQ(encoder.code(), ErrorCode::kUnsupported);
    EXPECT_NE(encoder.message().find("'no_such_encoder'"), std::string::npos) << encoder.message();
    EXPECT_TRUE(rig.Open("pcm_s16le", {{0, 100, "speaker.a", &kSpeakerRow}}).ok());  // IDs ignore case
    std::vector<SoundSourceEntry> many(63, SoundSourceEntry{0, 100, "Speaker.A", &kSpeakerRow});
    EXPECT_TRUE(rig.Open("pcm_s16le", many).ok());
    EXPECT_EQ(rig.audio().InputCount(), 63);
    many.push_back(many.front());
    EXPECT_EQ(rig.Open("pcm_s16le", many).message(), "more than 63 speakers and microphones chosen");
    rig.system().RemoveDevice("Speaker.A");  // unplugged between listing and start
    EXPECT_EQ(rig.Open("pcm_s16le", {{0, 100, "Speaker.A", &kSpeakerRow}}).message(),
              "speaker 'Speaker.A' is not connected");
}

TEST(SoundDevices, RefusedInitialisationContinuesTheSearchWithANewClient) {
    Rig rig;
    FakeDeviceScript script = Device(platform::AudioDeviceKind::kSpeaker, "spk", kS16Stereo44);
    script.mix_format = AudioFormat{SampleType::kPcm, 16, 2, 0x3, 22050};
    script.init_results = {Error(ErrorCode::kUnsupported, "format refused")};
    auto speaker = rig.Add(script);
    ASSERT_TRUE(rig.Open("pcm_s16le", {{0, 100, "spk", &kSpeakerRow}}).ok());
    EXPECT_EQ(speaker->ClientsOpened(), 2);
    const auto inits = speaker->Initialized();
    ASSERT_EQ(inits.size(), 2u);
    EXPECT_EQ(inits[0], kS16Stereo44);
    EXPECT_EQ(inits[1], *script.mix_format);  // the accepted format was spent: the last resort
    EXPECT_EQ(rig.audio().Input(0).sample_rate, 22050);

    Rig failing;
    script.init_results = {Error(ErrorCode::kIo, "cannot record from 'spk': Input/output error")};
    auto broken = failing.Add(script);
    const Error io = failing.Open("pcm_s16le", {{0, 100, "spk", &kSpeakerRow}});
    EXPECT_EQ(io.code(), ErrorCode::kIo);
    EXPECT_EQ(io.message(), "cannot open speaker 'spk': cannot record from 'spk': Input/output error");
    EXPECT_EQ(broken->ClientsOpened(), 1);  // a hard failure is not retried
}

// A device another program holds is reported as busy by name; its number is kept for a window.
TEST(SoundDevices, ABusyMicrophoneIsNamedAndNotRetried) {
    Rig rig;
    FakeDeviceScript script = Device(platform::AudioDeviceKind::kMicrophone, "alsa_input.x", kS16Stereo44);
    script.init_results = {Error(ErrorCode::kBusy, "cannot record from 'alsa_input.x': Device busy", 11)};
    auto mic = rig.Add(script);
    const Error busy = rig.Open("pcm_s16le", {{1, 100, "alsa_input.x", &kMicRow}});
    EXPECT_EQ(busy.code(), ErrorCode::kBusy);
    EXPECT_EQ(busy.message(), "microphone 'alsa_input.x' is busy");
    EXPECT_EQ(busy.native_code(), 11u);
    EXPECT_EQ(mic->ClientsOpened(), 1);

    Rig stopped;
    script.init_results.clear();
    script.start_fails = true;
    stopped.Add(script);
    const Error start = stopped.Open("pcm_s16le", {{1, 100, "alsa_input.x", &kMicRow}});
    EXPECT_FALSE(start.ok());
    EXPECT_NE(start.message().find("'alsa_input.x'"), std::string::npos) << start.message();
}

}  // namespace
}  // namespace vexa::engine
