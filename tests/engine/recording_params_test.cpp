// The rules that turn slider and combo values into encoder settings, the capture rectangle, and the
// output file names.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "engine/recording.h"
#include "engine/recording_params.h"
#include "engine/video_encoder.h"

namespace vexa::engine {
namespace {

// The right and bottom of an inclusive region + 1, kept at the largest int (the screen cuts it).
TEST(CaptureRect, ARegionsFarEdgesMoveOnePastAndStopAtTheLargestInt) {
    constexpr int kMax = std::numeric_limits<int>::max();
    const CaptureRect r = ToCaptureRect({-5, 10, kMax, kMax - 1});
    EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}), std::vector<int>({-5, 10, kMax, kMax}));
}

TEST(VideoQuality, IndexFollowsSliderAndClamps) {
    EXPECT_EQ(VideoQualityIndex(100), 0);  // raised to 1 by the encoder set-up
    EXPECT_EQ(VideoQualityIndex(1), 51);   // the worst quality
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

// The sound bit rates rise in straight lines between fixed points, in units of 1024 bit/s: for the
// screen and camera modes 8 at 0, 180 at 70, 250 at 80, 350 at 90 and 500 at 100; for sound only
// 48, 400, 500, 700 and 1024. Halfway between two points the rate is halfway; below the range the
// slider counts as 1, above it as 100.
TEST(AudioBitRate, RisesInStraightLinesBetweenFixedPoints) {
    struct Case {
        int slider;
        int64_t screen_and_camera, sound_only;
    };
    const Case cases[] = {{0, 10708, 54301},      {1, 10708, 54301},     {35, 96256, 229376},
                          {70, 184320, 409600},   {75, 220160, 460800},  {80, 256000, 512000},
                          {85, 307200, 614400},   {90, 358400, 716800},  {95, 435200, 882688},
                          {100, 512000, 1048576}, {101, 512000, 1048576}};
    for (const Case& c : cases) {
        EXPECT_EQ(AudioBitRateA(c.slider), c.screen_and_camera) << c.slider;
        EXPECT_EQ(AudioBitRateB(c.slider), c.sound_only) << c.slider;
    }
    for (int slider = 2; slider <= 100; ++slider) {
        EXPECT_GT(AudioBitRateA(slider), AudioBitRateA(slider - 1)) << slider;
        EXPECT_GT(AudioBitRateB(slider), AudioBitRateB(slider - 1)) << slider;
    }
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
