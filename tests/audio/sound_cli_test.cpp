// vexa-record's sound options: device selection by position or ID, the default speaker, volumes, and
// the live volume command.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/sound_cli.h"
#include "platform/testing/fake_audio_system.h"

namespace vexa::cli {
namespace {

SoundDeviceLists Lists() {
    return {{{"Test_Speaker", "vexa_speaker"}, {"Test_Speaker_2", "vexa_speaker2"}},
            {{"Test_Microphone", "vexa_mic"}},
            {}};
}

Result<SoundSelection> Resolve(SoundRequest r) {
    return ResolveSoundSources(r, Lists());
}

TEST(SoundCli, SpeakersFirstThenMicrophonesByPositionOrCaseInsensitiveId) {
    SoundRequest r;
    r.microphones = {"0"};
    r.speakers = {"VEXA_SPEAKER2", "0"};
    r.volumes = {"vexa_mic=40", "1=130"};
    EXPECT_EQ(Resolve(r).error().message(), "a volume is POS|ID=V with V from 0 to 100: \"1=130\"");
    r.volumes = {"vexa_mic=40", "1=30"};
    const auto s = Resolve(r);
    ASSERT_TRUE(s.ok()) << s.error().message();
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
    SoundRequest screen;
    auto s = Resolve(screen);
    ASSERT_TRUE(s.ok());
    ASSERT_EQ(s->entries.size(), 1u);
    EXPECT_STREQ(s->entries[0].endpoint_id, "vexa_speaker");
    screen.no_sound = true;
    EXPECT_TRUE(Resolve(screen)->entries.empty());
    screen.speakers = {"0"};
    EXPECT_EQ(Resolve(screen).error().code(), ErrorCode::kInvalidArgument);
    SoundRequest audio_only;
    audio_only.mode = engine::RecordingMode::kSoundOnly;
    EXPECT_TRUE(Resolve(audio_only)->entries.empty());  // the set-up then refuses to start
}

TEST(SoundCli, UnknownDevicesAndMalformedVolumesAreRefusedSayingWhich) {
    struct Case {
        std::function<void(SoundRequest&)> fill;
        const char* message;
    };
    const std::vector<Case> cases = {
        {[](SoundRequest& r) { r.speakers = {"2"}; }, "no speaker \"2\""},
        {[](SoundRequest& r) { r.microphones = {"vexa_speaker"}; }, "no microphone \"vexa_speaker\""},
        {[](SoundRequest& r) { r.volumes = {"0=abc"}; },
         "a volume is POS|ID=V with V from 0 to 100: \"0=abc\""},
        {[](SoundRequest& r) { r.volumes = {"=50"}; }, "a volume is POS|ID=V with V from 0 to 100: \"=50\""},
        {[](SoundRequest& r) { r.volumes = {"5=50"}; }, "--volume names no recorded source: \"5=50\""}};
    for (const Case& c : cases) {
        SoundRequest r;
        c.fill(r);
        EXPECT_EQ(Resolve(r).error().message(), c.message);
    }
}

// With no sound server the lists are empty, and a chosen device says why it is missing.
TEST(SoundCli, AMissingDeviceCarriesTheReasonTheListsAreEmpty) {
    SoundDeviceLists none;
    none.server = Error(ErrorCode::kUnavailable, "cannot connect to the sound server: Connection refused");
    SoundRequest r;
    r.microphones = {"vexa_mic"};
    const Error e = ResolveSoundSources(r, none).error();
    EXPECT_EQ(e.code(), ErrorCode::kNotFound);
    EXPECT_EQ(e.message(),
              "no microphone \"vexa_mic\" (cannot connect to the sound server: Connection refused)");
    SoundRequest screen;  // the default speaker is simply left out
    ASSERT_TRUE(ResolveSoundSources(screen, none).ok());
    EXPECT_TRUE(ResolveSoundSources(screen, none)->entries.empty());
}

TEST(SoundCli, VolumeCommand) {
    SoundRequest r;
    r.speakers = {"0"};
    r.microphones = {"0"};
    const auto s = Resolve(r);
    ASSERT_TRUE(s.ok());
    auto change = ParseVolumeCommand("  volume 1=50\n", *s);
    ASSERT_TRUE(change.ok()) << change.error().message();
    EXPECT_EQ(change->row, s->rows[1].get());
    EXPECT_EQ(change->volume, 50);
    EXPECT_EQ(ParseVolumeCommand("volume vexa_speaker=0", *s)->row, s->rows[0].get());
    for (const char* bad : {"volume", "volumes 1=5", "volume 1=101", "volume 2=5", "pause", "volume 1"}) {
        EXPECT_FALSE(ParseVolumeCommand(bad, *s).ok()) << bad;
    }
    EXPECT_EQ(ParseVolumeCommand("volume 2=5", *s).error().message(), "no recorded sound source \"2\"");
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
