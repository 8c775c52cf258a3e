// vexa-record's sound options: device selection by position or ID, the default speaker, volumes, and
// the live volume command.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/sound_cli.h"
#include "platform/audio/fake_audio_system.h"

namespace vexa::cli {
namespace {

SoundDeviceLists Lists() {
    return {{{"Test_Speaker", "vexa_speaker"}, {"Test_Speaker_2", "vexa_speaker2"}},
            {{"Test_Microphone", "vexa_mic"}}};
}

std::optional<SoundSelection> Resolve(SoundRequest r, std::string* error) {
    return ResolveSoundSources(r, Lists(), error);
}

TEST(SoundCli, SpeakersFirstThenMicrophonesByPositionOrCaseInsensitiveId) {
    std::string error;
    SoundRequest r;
    r.microphones = {"0"};
    r.speakers = {"VEXA_SPEAKER2", "0"};
    r.volumes = {"vexa_mic=40", "1=130"};
    EXPECT_FALSE(Resolve(r, &error));  // 130 is out of range
    r.volumes = {"vexa_mic=40", "1=30"};
    const auto s = Resolve(r, &error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->entries.size(), 3u);
    EXPECT_STREQ(s->entries[0].endpoint_id, "vexa_speaker2");
    EXPECT_STREQ(s->entries[1].endpoint_id, "vexa_speaker");
    EXPECT_EQ(s->entries[1].volume, 30);
    EXPECT_EQ(s->entries[2].kind, 1);
    EXPECT_EQ(s->entries[2].volume, 40);
    EXPECT_EQ(s->entries[2].row, s->rows[2].get());
    std::ostringstream out;
    PrintSoundSelection(out, *s);
    EXPECT_NE(out.str().find("sound 2: microphone vexa_mic (Test_Microphone) volume 40"), std::string::npos);
}

TEST(SoundCli, DefaultSpeakerInScreenModeAndNoSoundOnRequest) {
    std::string error;
    SoundRequest screen;
    auto s = Resolve(screen, &error);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->entries.size(), 1u);
    EXPECT_STREQ(s->entries[0].endpoint_id, "vexa_speaker");
    screen.no_sound = true;
    EXPECT_TRUE(Resolve(screen, &error)->entries.empty());
    screen.speakers = {"0"};
    EXPECT_FALSE(Resolve(screen, &error));
    SoundRequest audio_only;
    audio_only.mode = engine::RecordingMode::kSoundOnly;
    EXPECT_TRUE(Resolve(audio_only, &error)->entries.empty());  // the set-up then refuses to start
}

TEST(SoundCli, UnknownDevicesAndMalformedVolumesAreRefused) {
    std::string error;
    for (auto fill : std::vector<std::function<void(SoundRequest&)>>{
             [](SoundRequest& r) { r.speakers = {"2"}; },
             [](SoundRequest& r) { r.microphones = {"vexa_speaker"}; },
             [](SoundRequest& r) { r.volumes = {"0=abc"}; }, [](SoundRequest& r) { r.volumes = {"=50"}; },
             [](SoundRequest& r) { r.volumes = {"5=50"}; }}) {
        SoundRequest r;
        fill(r);
        error.clear();
        EXPECT_FALSE(Resolve(r, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SoundCli, VolumeCommand) {
    std::string error;
    SoundRequest r;
    r.speakers = {"0"};
    r.microphones = {"0"};
    const auto s = Resolve(r, &error);
    ASSERT_TRUE(s);
    auto change = ParseVolumeCommand("  volume 1=50\n", *s, &error);
    ASSERT_TRUE(change) << error;
    EXPECT_EQ(change->row, s->rows[1].get());
    EXPECT_EQ(change->volume, 50);
    EXPECT_EQ(ParseVolumeCommand("volume vexa_speaker=0", *s, &error)->row, s->rows[0].get());
    for (const char* bad : {"volume", "volumes 1=5", "volume 1=101", "volume 2=5", "pause", "volume 1"}) {
        EXPECT_FALSE(ParseVolumeCommand(bad, *s, &error)) << bad;
    }
}

TEST(SoundCli, DeviceListPrintsPositionIdAndName) {
    std::ostringstream out;
    PrintSoundDevices(out, Lists());
    EXPECT_EQ(out.str(),
              "speaker 0: vexa_speaker  Test_Speaker\nspeaker 1: vexa_speaker2  Test_Speaker_2\n"
              "microphone 0: vexa_mic  Test_Microphone\n");
}

TEST(SoundDeviceList, DefaultFirstAndNamelessDevicesLeftOut) {
    platform::FakeAudioSystem system;
    platform::FakeDeviceScript a, b, nameless, mic;
    a.id = "a", a.name = "A";
    b.id = "b", b.name = "B";
    nameless.id = "n";
    mic.kind = platform::AudioDeviceKind::kMicrophone, mic.id = "m", mic.name = "M";
    system.AddDevice(a);
    system.AddDevice(nameless);
    system.AddDevice(b, /*is_default=*/true);
    system.AddDevice(mic);
    engine::EndpointRecord record;
    EXPECT_EQ(engine::GetEndpointRecord({"n", ""}, &record), engine::kEndpointNoName);
    EXPECT_EQ(engine::GetEndpointRecord({"a", "A"}, &record), engine::kEndpointRecordOk);
    EXPECT_EQ(record.id, "a");
    const auto speakers = engine::SoundDeviceList(system, platform::AudioDeviceKind::kSpeaker);
    ASSERT_EQ(speakers.size(), 2u);
    EXPECT_EQ(speakers[0].id, "b");
    EXPECT_EQ(speakers[1].name, "A");
    EXPECT_EQ(engine::SoundDeviceList(system, platform::AudioDeviceKind::kMicrophone).size(), 1u);
}

}  // namespace
}  // namespace vexa::cli
