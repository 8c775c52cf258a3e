// The rules that turn slider and combo values into encoder settings, and the output file names.
#include <gtest/gtest.h>

#include "engine/recording.h"
#include "engine/recording_params.h"
#include "engine/video_encoder.h"

namespace vexa::engine {
namespace {

TEST(VideoQuality, IndexFollowsSliderAndClamps) {
    EXPECT_EQ(VideoQualityIndex(100), 0);  // raised to 1 by the encoder set-up
    EXPECT_EQ(VideoQualityIndex(1), 51);   // (101 − 1) × 51 / 100
    EXPECT_EQ(VideoQualityIndex(2), 50);
    EXPECT_EQ(VideoQualityIndex(55), 23);
    EXPECT_EQ(VideoQualityIndex(0), 51);   // below the range counts as 1
    EXPECT_EQ(VideoQualityIndex(500), 0);  // above counts as 100
    EXPECT_EQ(QualityPercent(1), 99);
    EXPECT_EQ(QualityPercent(51), 1);
    EXPECT_EQ(QualityPercent(0), 100);
}

TEST(FrameRate, OnlyOneToSixtyIsTaken) {
    EXPECT_EQ(FramesPerSecondFromText("30"), 30);
    EXPECT_EQ(FramesPerSecondFromText("1"), 1);
    EXPECT_EQ(FramesPerSecondFromText("60"), 60);
    for (const char* bad : {"0", "75", "61", "abc", "", "-5", "30fps", " 30"}) {
        EXPECT_EQ(FramesPerSecondFromText(bad), 24) << bad;
    }
}

TEST(AudioBitRate, MappingAAtRowEdges) {
    EXPECT_EQ(AudioBitRateA(1), 8192 + 176128 / 70);
    EXPECT_EQ(AudioBitRateA(69), 8192 + 69LL * 176128 / 70);
    EXPECT_EQ(AudioBitRateA(70), 184320);
    EXPECT_EQ(AudioBitRateA(79), 184320 + 9LL * 71680 / 10);
    EXPECT_EQ(AudioBitRateA(80), 256000);
    EXPECT_EQ(AudioBitRateA(90), 358400);
    EXPECT_EQ(AudioBitRateA(100), 512000);
    EXPECT_EQ(AudioBitRateA(0), AudioBitRateA(1));
    EXPECT_EQ(AudioBitRateA(101), 512000);
}

TEST(AudioBitRate, MappingBAtRowEdges) {
    EXPECT_EQ(AudioBitRateB(1), 49152 + 360448 / 70);
    EXPECT_EQ(AudioBitRateB(70), 409600);
    EXPECT_EQ(AudioBitRateB(80), 512000);
    EXPECT_EQ(AudioBitRateB(90), 716800);
    EXPECT_EQ(AudioBitRateB(100), 1048576);
    const BitRateTriple t = AudioRateTriple(AudioBitRateB(100));
    EXPECT_EQ(t.min_rate, 0);
    EXPECT_EQ(t.max_rate, 1048576);
}

TEST(OutputPath, NamedFromLocalTimeWithOneSeparator) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(BuildOutputPath("/rec", RecordingMode::kScreen, t), "/rec/20240305_140709.mp4");
    EXPECT_EQ(BuildOutputPath("/rec/", RecordingMode::kCamera, t), "/rec/20240305_140709.mp4");
    EXPECT_EQ(BuildOutputPath("C:\\rec\\", RecordingMode::kScreen, t), "C:\\rec\\20240305_140709.mp4");
    EXPECT_EQ(BuildOutputPath("", RecordingMode::kSoundOnly, t), "20240305_140709.m4a");
    // The same second gives the same name: the second recording replaces the first.
    EXPECT_EQ(BuildOutputPath("/rec", RecordingMode::kScreen, t),
              BuildOutputPath("/rec", RecordingMode::kScreen, t));
}

TEST(PixelFormat, ChoiceOrder) {
    const AVPixelFormat x264[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_NONE};
    EXPECT_EQ(ChoosePixelFormat(x264, AV_PIX_FMT_BGRA), AV_PIX_FMT_YUV420P);
    const AVPixelFormat bgr0[] = {AV_PIX_FMT_NV12, AV_PIX_FMT_BGR0, AV_PIX_FMT_NONE};
    EXPECT_EQ(ChoosePixelFormat(bgr0, AV_PIX_FMT_BGRA), AV_PIX_FMT_BGR0);  // BGR0 counts as BGRA
    const AVPixelFormat odd[] = {AV_PIX_FMT_NV12, AV_PIX_FMT_P010, AV_PIX_FMT_NONE};
    EXPECT_EQ(ChoosePixelFormat(odd, AV_PIX_FMT_BGRA), AV_PIX_FMT_NV12);
    EXPECT_EQ(ChoosePixelFormat(nullptr, AV_PIX_FMT_BGRA), AV_PIX_FMT_YUV420P);
}

TEST(VideoEncoder, SoftwareCandidateOpensAtEvenSize) {
    VideoEncoderSettings s;
    s.quality_index = 0;  // raised to 1
    s.rate = &kVideoBitRate;
    s.fps = 30;
    s.width = 1365;
    s.height = 767;
    s.global_header = true;
    Result<CodecContextPtr> opened = OpenVideoEncoder(s);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const CodecContextPtr& enc = *opened;
    EXPECT_EQ(enc->width, 1366);
    EXPECT_EQ(enc->height, 768);
    EXPECT_EQ(enc->framerate.num, 30);
    // Frames are stamped in a fine time base (30 × 2^9), so rate control sees true durations.
    EXPECT_EQ(enc->time_base.den, 15360);
    EXPECT_EQ(EncoderTimeBase(24).den, 12288);
    EXPECT_EQ(EncoderTimeBase(60).den, 15360);
    EXPECT_EQ(EncoderTimeBase(1).den, 16384);
    EXPECT_EQ(enc->max_b_frames, 0);
    EXPECT_EQ(enc->gop_size, 240);
}

}  // namespace
}  // namespace vexa::engine
