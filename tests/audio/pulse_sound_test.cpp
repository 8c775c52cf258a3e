// The PulseAudio backend and whole recordings against the private test server of
// tools/with-test-env.sh: null sinks vexa_speaker (48 kHz, default) and vexa_speaker2 (44.1 kHz), and
// the microphone vexa_mic playing a 440 Hz sine.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <thread>

#include "decoded_audio.h"
#include "engine/capture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"
#include "platform/audio/audio_system.h"

namespace vexa::engine {
namespace {

using platform::AudioDeviceKind;
using platform::AudioFormat;
using platform::SampleType;
using testing::DecodeAudioTrack;
using testing::ToneAmplitude;

bool HaveTestServer() {
    return std::getenv("VEXA_TEST_ENV") != nullptr;
}

// Plays a stereo 16-bit tone into a sink for the given seconds, on a thread of its own.
class TonePlayer {
  public:
    TonePlayer(const std::string& sink, int rate, double frequency, double amplitude, double seconds) {
        thread_ = std::thread([=] {
            const std::string command = "pacat --playback --raw --device=" + sink +
                                        " --format=s16le --channels=2 --rate=" + std::to_string(rate);
            FILE* pipe = popen(command.c_str(), "w");
            if (!pipe) return;
            const auto frames = static_cast<size_t>(seconds * rate);
            std::vector<int16_t> pcm(2 * frames);
            for (size_t i = 0; i < frames; ++i) {
                const double v =
                    amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
                pcm[2 * i] = pcm[2 * i + 1] = static_cast<int16_t>(std::lround(v * 32767));
            }
            (void)std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), pipe);
            pclose(pipe);
        });
    }
    ~TonePlayer() { thread_.join(); }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

  private:
    std::thread thread_;
};

class PulseSoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTestServer()) GTEST_SKIP() << "needs tools/with-test-env.sh";
    }
    std::string TempPath(const char* extension) {
        path_ = folder_.File(std::string("sound") + extension);
        return path_;
    }
    // Records the entries for at least `seconds` while `play` runs, and reads the file back; longest_
    // is then the most the recording can have lasted (from before its start to after its stop).
    testing::DecodedAudio Record(const char* extension, const char* encoder, int64_t bit_rate,
                                 std::vector<SoundSourceEntry> entries, double seconds,
                                 const std::function<void()>& play) {
        entries.push_back({});
        auto created = CCapture::Create(TempPath(extension));
        EXPECT_TRUE(created.ok());
        if (!created.ok()) return {};
        std::unique_ptr<CCapture> session = std::move(created).value();
        const Error added = session->AddAudioStream(encoder, AudioRateTriple(bit_rate), entries.data());
        EXPECT_TRUE(added.ok()) << added.message();
        const auto before = std::chrono::steady_clock::now();
        const Error started = session->Start();
        EXPECT_TRUE(started.ok()) << started.message();
        play();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));  // the recording's length
        session.reset();
        longest_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        return DecodeAudioTrack(path_);
    }
    // Recorded for `seconds` at least, the file is that long, give or take an encoder frame.
    void ExpectLength(double duration, double seconds) const {
        EXPECT_GE(duration, seconds - 0.1);
        EXPECT_LE(duration, longest_ + 0.1);
    }
    double longest_ = 0;

  private:
    vexa::test::TempFolder folder_;
    std::string path_;
};

TEST_F(PulseSoundTest, ListsSpeakersAndMicrophonesDefaultFirstWithoutMonitors) {
    auto connected = platform::ConnectSoundServer();
    ASSERT_TRUE(connected.ok()) << connected.error().message();
    auto& system = *connected;
    const auto speakers = system->ListDevices(AudioDeviceKind::kSpeaker);
    ASSERT_EQ(speakers.size(), 2u);
    EXPECT_EQ(speakers[0].id, "vexa_speaker");
    EXPECT_EQ(speakers[0].name, "Test_Speaker");
    EXPECT_EQ(speakers[1].id, "vexa_speaker2");
    const auto mics = system->ListDevices(AudioDeviceKind::kMicrophone);
    ASSERT_EQ(mics.size(), 1u);
    EXPECT_EQ(mics[0].id, "vexa_mic");
    EXPECT_EQ(mics[0].name, "Test_Microphone");
    const Error monitor = system->OpenClient(AudioDeviceKind::kMicrophone, "vexa_speaker.monitor").error();
    EXPECT_EQ(monitor.code(), ErrorCode::kNotFound);
    EXPECT_EQ(monitor.message(), "microphone 'vexa_speaker.monitor' is not there");
}

TEST_F(PulseSoundTest, ClientAcceptsOnlyTheDevicesOwnFormatAndDeliversItsSound) {
    auto system = platform::ConnectSoundServer();
    ASSERT_TRUE(system.ok());
    auto opened = (*system)->OpenClient(AudioDeviceKind::kMicrophone, "vexa_mic");
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    auto& client = *opened;
    const AudioFormat own{SampleType::kFloat, 32, 1, 0x4, 48000};
    EXPECT_EQ(client->MixFormat(), own);
    EXPECT_EQ(client->IsFormatSupported(own), platform::FormatAnswer::kAccepted);
    EXPECT_EQ(client->IsFormatSupported({SampleType::kPcm, 16, 1, 0x4, 48000}),
              platform::FormatAnswer::kRefused);
    platform::Event event;
    ASSERT_TRUE(client->Initialize(own, 100'000, &event).ok());
    EXPECT_EQ(client->Initialize(own, 100'000, &event).code(), ErrorCode::kInvalidArgument);  // only once
    EXPECT_GT(client->BufferFrames(), 0u);
    ASSERT_TRUE(client->Start().ok());
    std::vector<float> got;
    for (int i = 0; i < 200 && got.size() < 9600; ++i) {
        (void)event.Wait(100'000);
        platform::AudioPacket p;
        while (client->ReadPacket(&p)) {
            if (p.data) {
                const auto* f = reinterpret_cast<const float*>(p.data);
                got.insert(got.end(), f, f + p.frames);
            }
            client->ReleasePacket();
        }
    }
    ASSERT_GE(got.size(), 9600u);
    EXPECT_GT(ToneAmplitude(got, 0, 9600, 440, 48000), 0.1);
}

// A speaker unplugged while its stream runs (its sink module unloaded): the stream says it is over
// and why, where before it said nothing.
TEST_F(PulseSoundTest, AStreamWhoseDeviceIsRemovedSaysSo) {
    FILE* loaded = popen("pactl load-module module-null-sink sink_name=vexa_gone", "r");
    ASSERT_TRUE(loaded);
    char index[32] = {};
    const bool read = std::fgets(index, sizeof index, loaded) != nullptr;
    ASSERT_EQ(pclose(loaded), 0);
    ASSERT_TRUE(read);
    auto system = platform::ConnectSoundServer();
    ASSERT_TRUE(system.ok());
    auto opened = (*system)->OpenClient(AudioDeviceKind::kSpeaker, "vexa_gone");
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    auto& client = *opened;
    platform::Event event;
    ASSERT_TRUE(client->Initialize(*client->MixFormat(), 100'000, &event).ok());
    ASSERT_TRUE(client->Start().ok());
    EXPECT_TRUE(client->Failure().ok());
    ASSERT_EQ(std::system(("pactl unload-module " + std::string(index)).c_str()), 0);
    ASSERT_TRUE(vexa::test::WaitUntil([&] { return !client->Failure().ok(); }));
    EXPECT_EQ(client->Failure().message(), "'vexa_gone.monitor' was removed or stopped by the sound server");
    platform::AudioPacket packet;
    EXPECT_FALSE(client->ReadPacket(&packet));
}

TEST_F(PulseSoundTest, NoServerIsAnErrorThatSaysSoAndFailsTheSoundStream) {
    const char* saved = std::getenv("PULSE_SERVER");
    const std::string restore = saved ? saved : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/vexa-no-server", 1);
    const Error none = platform::ConnectSoundServer().error();
    auto session = CCapture::Create(TempPath(".mp4"));
    ASSERT_TRUE(session.ok());
    const int row = 1;
    const SoundSourceEntry entries[] = {{0, 100, "vexa_speaker", &row}, {}};
    const Error added = (*session)->AddAudioStream("libmp3lame", AudioRateTriple(AudioBitRateA(50)), entries);
    setenv("PULSE_SERVER", restore.c_str(), 1);
    EXPECT_EQ(none.code(), ErrorCode::kUnavailable);
    EXPECT_EQ(none.message().rfind("cannot connect to the sound server: ", 0), 0u) << none.message();
    EXPECT_EQ(added, none);
}

const int kSpeakerRow = 1, kMicRow = 2;

// Where the tone begins: the first quarter second in which it is clearly present. The sound server
// decides when a newly played stream is heard, so the tests look for the tone rather than expect it
// at a fixed time.
std::optional<size_t> ToneOnset(const testing::DecodedAudio& d, double frequency) {
    const auto window = static_cast<size_t>(d.sample_rate / 4);
    for (size_t at = 0; at + window <= d.samples.size(); at += window / 4) {
        if (ToneAmplitude(d.samples, at, window, frequency, d.sample_rate) > 0.2) return at;
    }
    return std::nullopt;
}

TEST_F(PulseSoundTest, ToneIntoTheSpeakerIsInTheMp3TrackOfAnMp4) {
    std::unique_ptr<TonePlayer> player;
    const auto decoded =
        Record(".mp4", "libmp3lame", AudioBitRateA(70), {{0, 100, "vexa_speaker", &kSpeakerRow}}, 3.0,
               [&] { player = std::make_unique<TonePlayer>("vexa_speaker", 48000, 440, 0.5, 2.5); });
    player.reset();
    ASSERT_EQ(decoded.codec, AV_CODEC_ID_MP3);
    EXPECT_EQ(decoded.sample_rate, 48000);
    EXPECT_EQ(decoded.channels, 2);
    ExpectLength(decoded.duration, 3.0);
    // The tone plays at its level and pitch for at least half a second (a neighbouring pitch is absent).
    const auto onset = ToneOnset(decoded, 440);
    ASSERT_TRUE(onset);
    const size_t from = *onset + 12000, count = 24000;
    EXPECT_NEAR(ToneAmplitude(decoded.samples, from, count, 440, 48000), 0.5, 0.1);
    EXPECT_LT(ToneAmplitude(decoded.samples, from, count, 520, 48000), 0.05);
}

TEST_F(PulseSoundTest, ToneIntoThe44kSpeakerIsInTheAc3TrackOfAnM4a) {
    std::unique_ptr<TonePlayer> player;
    const auto decoded =
        Record(".m4a", "ac3", AudioBitRateB(70), {{0, 100, "vexa_speaker2", &kSpeakerRow}}, 3.0,
               [&] { player = std::make_unique<TonePlayer>("vexa_speaker2", 44100, 440, 0.5, 2.5); });
    player.reset();
    ASSERT_EQ(decoded.codec, AV_CODEC_ID_AC3);
    EXPECT_EQ(decoded.sample_rate, 48000);
    ExpectLength(decoded.duration, 3.0);
    const auto onset = ToneOnset(decoded, 440);
    ASSERT_TRUE(onset);
    EXPECT_NEAR(ToneAmplitude(decoded.samples, *onset + 12000, 24000, 440, 48000), 0.5, 0.1);
}

TEST_F(PulseSoundTest, SpeakerAndMicrophoneAreMixedTogether) {
    std::unique_ptr<TonePlayer> player;
    const auto decoded =
        Record(".mp4", "libmp3lame", AudioBitRateA(70),
               {{0, 100, "vexa_speaker", &kSpeakerRow}, {1, 100, "vexa_mic", &kMicRow}}, 3.0,
               [&] { player = std::make_unique<TonePlayer>("vexa_speaker", 48000, 1000, 0.5, 2.5); });
    player.reset();
    ASSERT_EQ(decoded.codec, AV_CODEC_ID_MP3);
    // amix halves each of its two inputs; the test microphone's sine is quieter than the tone. The
    // server starts each device when it likes, so some quarter second must hold both.
    bool both = false;
    for (size_t at = 0; at + 12000 <= decoded.samples.size() && !both; at += 12000) {
        const double speaker = ToneAmplitude(decoded.samples, at, 12000, 1000, 48000);
        const double mic = ToneAmplitude(decoded.samples, at, 12000, 440, 48000);
        const double other = ToneAmplitude(decoded.samples, at, 12000, 700, 48000);
        both = speaker > 0.15 && mic > 0.05 && mic > 10 * other;
    }
    EXPECT_TRUE(both);
}

}  // namespace
}  // namespace vexa::engine
