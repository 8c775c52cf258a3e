// The candidate table, the order in which candidates are offered, the last resort, and the choice of
// the encoder's sample format, rate and layout.
#include <gtest/gtest.h>

#include <set>

#include "engine/audio/candidate_formats.h"
#include "engine/audio/encoder_choice.h"
#include "platform/testing/fake_audio_system.h"

namespace vexa::engine {
namespace {

using platform::AudioFormat;
using platform::SampleType;

constexpr AudioFormat Pcm(int bits, int ch, uint64_t mask, int rate) {
    return {SampleType::kPcm, bits, ch, mask, rate};
}
constexpr AudioFormat Float(int bits, int ch, uint64_t mask, int rate) {
    return {SampleType::kFloat, bits, ch, mask, rate};
}

TEST(CandidateFormatTable, HoldsEveryCombinationOnceWithFloatTwinsAfterTheirPcmEntry) {
    const auto table = CandidateFormatTable();
    ASSERT_EQ(table.size(), 1666u);
    EXPECT_EQ(table[0], Pcm(8, 1, 0x4, 8000));
    EXPECT_EQ(table[1665], Float(64, 8, 0x63F, 384000));
    std::set<std::tuple<int, int, int, uint64_t, int>> unique;
    for (const AudioFormat& f : table) {
        unique.insert({static_cast<int>(f.type), f.bits, f.channels, f.channel_mask, f.rate});
        EXPECT_FALSE(f.type == SampleType::kFloat && f.bits < 32);
    }
    EXPECT_EQ(unique.size(), 1666u);
    const int i = CandidateIndex(2, 3, 8, false);  // stereo 0x3, 32 bits, 48000
    EXPECT_EQ(table[static_cast<size_t>(i)], Pcm(32, 2, 0x3, 48000));
    EXPECT_EQ(table[static_cast<size_t>(i) + 1], Float(32, 2, 0x3, 48000));
    EXPECT_EQ(table[static_cast<size_t>(i)].BlockAlign(), 8);
    EXPECT_EQ(table[static_cast<size_t>(i)].BytesPerSecond(), 384000);
}

TEST(CandidateOrder, WalksTheTargetRowFromTargetDepthAndRateOutwards) {
    const FormatTarget stereo{2, 0x3, 32, 48000};
    const std::vector<int> order = CandidateOrder(stereo);
    const auto table = CandidateFormatTable();
    auto at = [&](size_t n) { return table[static_cast<size_t>(order[n])]; };
    EXPECT_EQ(at(0), Pcm(32, 2, 0x3, 48000));
    EXPECT_EQ(at(1), Float(32, 2, 0x3, 48000));
    EXPECT_EQ(at(2), Pcm(32, 2, 0x3, 64000));
    // After the rates from 48000 up (9 rates × 2), the lower rates from 44100 down.
    EXPECT_EQ(at(18), Pcm(32, 2, 0x3, 44100));
    EXPECT_EQ(at(32), Pcm(32, 2, 0x3, 8000));
    EXPECT_EQ(at(34), Pcm(64, 2, 0x3, 48000));
    // Then the smaller depths from the highest down, each from the highest rate down.
    EXPECT_EQ(at(68), Pcm(24, 2, 0x3, 384000));
    EXPECT_EQ(at(85), Pcm(16, 2, 0x3, 384000));
    EXPECT_EQ(at(118), Pcm(8, 2, 0x3, 8000));
    // Step 2 then takes the other stereo row.
    EXPECT_EQ(at(119).channel_mask, 0xCu);
    // Every candidate appears; the tried flags make repeats harmless.
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), 1666u);
}

TEST(CandidateOrder, LargerCountsAscendingThenSmallerCountsBackwards) {
    const std::vector<int> order = CandidateOrder({2, 0x3, 32, 48000});
    const auto table = CandidateFormatTable();
    std::vector<int> first_seen;
    for (int index : order) {
        const int ch = table[static_cast<size_t>(index)].channels;
        if (std::find(first_seen.begin(), first_seen.end(), ch) == first_seen.end()) first_seen.push_back(ch);
    }
    EXPECT_EQ(first_seen, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 1}));
    // The mono group is walked from its end: 64-bit float at 384 kHz first.
    auto mono = std::find_if(order.begin(), order.end(),
                             [&](int i) { return table[static_cast<size_t>(i)].channels == 1; });
    EXPECT_EQ(table[static_cast<size_t>(*mono)], Float(64, 1, 0x4, 384000));
}

TEST(CandidateOrder, MissingChannelCountIsReplacedByTheNextLarger) {
    const FormatTarget nine_less{5, 0x60F, 16, 44100};  // no row has mask 0x60F with 5 channels
    const std::vector<int> order = CandidateOrder(nine_less);
    EXPECT_EQ(CandidateFormatTable()[static_cast<size_t>(order[0])], Pcm(16, 5, 0x607, 44100));
}

struct SearchCase {
    const char* name;
    AudioFormat accepted;
    AudioFormat expected;  // what the device is initialised with
};

class ChooseCaptureFormatTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(ChooseCaptureFormatTest, FindsTheOnlyFormatTheDeviceAccepts) {
    platform::FakeAudioSystem system;
    platform::FakeDeviceScript script;
    script.id = "dev";
    script.accepted = {GetParam().accepted};
    script.closest_match = {Pcm(32, 2, 0x3, 48000)};  // a closest-match answer is a refusal
    auto device = system.AddDevice(script);
    auto client = system.OpenClient(platform::AudioDeviceKind::kSpeaker, "dev");
    TriedFlags tried{};
    bool last_resort = false;
    const auto chosen = ChooseCaptureFormat(**client, {2, 0x3, 32, 48000}, tried, &last_resort);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, GetParam().expected);
    EXPECT_FALSE(last_resort);
    const std::vector<AudioFormat> offered = device->Offered();
    EXPECT_EQ(offered.back(), GetParam().accepted);
    std::set<std::tuple<int, int, int, uint64_t, int>> seen;
    for (const AudioFormat& f : offered) {
        EXPECT_TRUE(
            seen.insert({static_cast<int>(f.type), f.bits, f.channels, f.channel_mask, f.rate}).second)
            << "offered twice";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ChooseCaptureFormatTest,
    ::testing::Values(SearchCase{"mono_44k_s16", Pcm(16, 1, 0x4, 44100), Pcm(16, 1, 0x4, 44100)},
                      SearchCase{"stereo_48k_float", Float(32, 2, 0x3, 48000), Float(32, 2, 0x3, 48000)},
                      // 24-bit samples are read in 32-bit words.
                      SearchCase{"stereo_96k_24bit", Pcm(24, 2, 0x3, 96000), Pcm(32, 2, 0x3, 96000)},
                      SearchCase{"surround_51_16bit", Pcm(16, 6, 0x3F, 48000), Pcm(16, 6, 0x3F, 48000)}),
    [](const ::testing::TestParamInfo<SearchCase>& p) { return std::string(p.param.name); });

TEST(ChooseCaptureFormat, StereoDeviceIsFoundOnSecondOfferAndMonoOnlyAfterAllWiderRows) {
    platform::FakeAudioSystem system;
    platform::FakeDeviceScript script;
    script.id = "dev";
    script.accepted = {Pcm(16, 1, 0x4, 44100)};
    auto device = system.AddDevice(script);
    auto client = system.OpenClient(platform::AudioDeviceKind::kSpeaker, "dev");
    TriedFlags tried{};
    bool last_resort = false;
    ASSERT_TRUE(ChooseCaptureFormat(**client, {2, 0x3, 32, 48000}, tried, &last_resort));
    const auto offered = device->Offered();
    const size_t wider = 1666 - 119;  // every row with two or more channels comes first
    ASSERT_GT(offered.size(), wider);
    for (size_t i = 0; i < wider; ++i) ASSERT_GE(offered[i].channels, 2) << i;
}

TEST(ChooseCaptureFormat, LastResortIsTheDeviceFormatAndPlainFormatsGetATableMask) {
    platform::FakeAudioSystem system;
    platform::FakeDeviceScript with_mask;
    with_mask.id = "a";
    with_mask.mix_format = Pcm(16, 2, 0x3, 37800);  // a rate outside the table
    platform::FakeDeviceScript plain;
    plain.id = "b";
    plain.mix_format = Pcm(16, 2, 0, 37800);
    plain.accepted = {Pcm(16, 2, 0x3, 37800)};
    platform::FakeDeviceScript nothing;
    nothing.id = "c";
    system.AddDevice(with_mask);
    system.AddDevice(plain);
    system.AddDevice(nothing);
    for (const char* id : {"a", "b"}) {
        auto client = system.OpenClient(platform::AudioDeviceKind::kSpeaker, id);
        TriedFlags tried{};
        bool last_resort = false;
        const auto chosen = ChooseCaptureFormat(**client, {2, 0x3, 32, 48000}, tried, &last_resort);
        ASSERT_TRUE(chosen) << id;
        EXPECT_TRUE(last_resort);
        EXPECT_EQ(*chosen, Pcm(16, 2, 0x3, 37800));
    }
    auto client = system.OpenClient(platform::AudioDeviceKind::kSpeaker, "c");
    TriedFlags tried{};
    bool last_resort = false;
    EXPECT_FALSE(ChooseCaptureFormat(**client, {2, 0x3, 32, 48000}, tried, &last_resort));
    EXPECT_TRUE(last_resort);
}

TEST(EncoderChoice, LayoutRules) {
    const uint64_t lame[] = {AV_CH_LAYOUT_MONO, AV_CH_LAYOUT_STEREO};
    EXPECT_EQ(ChooseLayout(lame, 0xFF), AV_CH_LAYOUT_STEREO);
    EXPECT_EQ(ChooseLayout(lame, AV_CH_LAYOUT_MONO), AV_CH_LAYOUT_MONO);
    const uint64_t wide[] = {AV_CH_LAYOUT_MONO, AV_CH_LAYOUT_7POINT1, AV_CH_LAYOUT_5POINT1,
                             AV_CH_LAYOUT_STEREO};
    EXPECT_EQ(ChooseLayout(wide, AV_CH_LAYOUT_5POINT1_BACK), AV_CH_LAYOUT_5POINT1);  // same count, not equal
    EXPECT_EQ(ChooseLayout(wide, AV_CH_LAYOUT_SURROUND), AV_CH_LAYOUT_5POINT1);      // 3: nearest at least 3
    EXPECT_EQ(ChooseLayout({}, 0xFF), 0u);
}

TEST(EncoderChoice, TheTwoRecordingEncoders) {
    const AVCodec* mp3 = avcodec_find_encoder_by_name("libmp3lame");
    const AVCodec* ac3 = avcodec_find_encoder_by_name("ac3");
    ASSERT_NE(mp3, nullptr);
    ASSERT_NE(ac3, nullptr);
    EXPECT_EQ(ChooseSampleFormat(*mp3), AV_SAMPLE_FMT_S32P);
    EXPECT_EQ(ChooseSampleRate(*mp3), 48000);
    EXPECT_EQ(ChooseEncoderLayout(*mp3, 0xFF), AV_CH_LAYOUT_STEREO);
    EXPECT_EQ(ChooseSampleFormat(*ac3), AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(ChooseSampleRate(*ac3), 48000);
    EXPECT_EQ(std::popcount(ChooseEncoderLayout(*ac3, 0xFF)), 6);
    EXPECT_EQ(ChooseEncoderLayout(*ac3, AV_CH_LAYOUT_STEREO), AV_CH_LAYOUT_STEREO);
    const AVCodec* pcm = avcodec_find_encoder_by_name("pcm_s16le");
    EXPECT_EQ(ChooseSampleFormat(*pcm), AV_SAMPLE_FMT_S16);
    EXPECT_EQ(ChooseSampleRate(*pcm), 44100);  // lists no rates
    EXPECT_EQ(SampleFormatDepth(AV_SAMPLE_FMT_S32P), 32);
    EXPECT_EQ(SampleFormatDepth(AV_SAMPLE_FMT_NONE), 64);
}

}  // namespace
}  // namespace vexa::engine
