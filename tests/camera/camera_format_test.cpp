#include "engine/camera/camera_format.h"

#include <gtest/gtest.h>

namespace vexa::engine {
namespace {

using platform::CameraFormat;
using platform::FourCc;
using platform::FrameTimeOf;
using platform::kFourCcMjpg;
using platform::kFourCcYuyv;

CameraFormat Yuyv(int w, int h, int fps) {
    return {kFourCcYuyv, w, h, FrameTimeOf(fps)};
}
CameraFormat Mjpg(int w, int h, int fps) {
    return {kFourCcMjpg, w, h, FrameTimeOf(fps)};
}

TEST(CameraFormatList, KeepsOnlyYuy2AndMjpgButCountsEverything) {
    const CameraFormat nv12{FourCc('N', 'V', '1', '2'), 640, 480, FrameTimeOf(30)};
    const CameraFormat h264{FourCc('H', '2', '6', '4'), 1920, 1080, FrameTimeOf(30)};
    CameraFormatList list = BuildCameraFormatList({nv12, Yuyv(640, 480, 30), h264, Mjpg(1280, 720, 30)});
    EXPECT_EQ(list.examined, 4);
    ASSERT_EQ(list.formats.size(), 2u);
    EXPECT_TRUE(list.Usable());

    CameraFormatList only_others = BuildCameraFormatList({nv12, h264});
    EXPECT_EQ(only_others.examined, 2);
    EXPECT_FALSE(only_others.Usable());
}

TEST(CameraFormatList, RejectsDegenerateSizesAndFrameTimes) {
    CameraFormatList list = BuildCameraFormatList(
        {{kFourCcYuyv, 0, 480, FrameTimeOf(30)}, {kFourCcYuyv, 640, 480, 0}, {kFourCcMjpg, 640, -1, 333333}});
    EXPECT_FALSE(list.Usable());
    EXPECT_EQ(list.examined, 3);
}

TEST(CameraFormatList, SameSizeAndFrameTimeAppearsOnceWhicheverCompression) {
    CameraFormatList list = BuildCameraFormatList(
        {Yuyv(640, 480, 30), Yuyv(640, 480, 30), Mjpg(640, 480, 30), Mjpg(640, 480, 15)});
    ASSERT_EQ(list.formats.size(), 2u);
    EXPECT_EQ(list.formats[0], Yuyv(640, 480, 30));  // the first offered stays
    EXPECT_EQ(list.formats[1], Mjpg(640, 480, 15));
}

TEST(CameraFormatList, SortsByWidthThenHeightDescendingThenFastestFirst) {
    CameraFormatList list =
        BuildCameraFormatList({Yuyv(640, 480, 15), Mjpg(1280, 720, 30), Yuyv(640, 480, 30),
                               Yuyv(640, 360, 30), Mjpg(1280, 960, 5), Yuyv(640, 480, 60)});
    const std::vector<CameraFormat> expected = {Mjpg(1280, 960, 5), Mjpg(1280, 720, 30), Yuyv(640, 480, 60),
                                                Yuyv(640, 480, 30), Yuyv(640, 480, 15),  Yuyv(640, 360, 30)};
    EXPECT_EQ(list.formats, expected);
}

TEST(ChooseCameraFormat, StoredChoiceAmongCloseCandidates) {
    CameraFormatList list =
        BuildCameraFormatList({Mjpg(1280, 720, 30), Yuyv(640, 480, 30), Yuyv(640, 480, 15)});
    const int i = ChooseCameraFormat(list, 640, 480, 30);
    ASSERT_GE(i, 0);
    EXPECT_EQ(list.formats[static_cast<size_t>(i)], Yuyv(640, 480, 30));
}

TEST(ChooseCameraFormat, FrameTimeDecidesBeforeSize) {
    CameraFormatList list =
        BuildCameraFormatList({Mjpg(1920, 1080, 30), Yuyv(640, 480, 15), Yuyv(320, 240, 10)});
    // 640×480 is stored, but only 1920×1080 runs near 30 pictures per second.
    EXPECT_EQ(list.formats[static_cast<size_t>(ChooseCameraFormat(list, 640, 480, 30))],
              Mjpg(1920, 1080, 30));
    // 12 fps lies between 15 and 10: 15 (shorter than the target's time, and nearer) wins.
    EXPECT_EQ(list.formats[static_cast<size_t>(ChooseCameraFormat(list, 320, 240, 12))], Yuyv(640, 480, 15));
}

TEST(ChooseCameraFormat, LongerFrameTimeOnlyReplacesALongerOne) {
    // Target 20 fps (500000): 15 fps (666667) is longer; 24 fps (416667) is shorter and nearer (83333 vs
    // 166667) so it wins; 5 fps never replaces.
    CameraFormatList list =
        BuildCameraFormatList({Yuyv(640, 480, 5), Yuyv(640, 480, 15), Yuyv(640, 480, 24)});
    EXPECT_EQ(list.formats[static_cast<size_t>(ChooseCameraFormat(list, 640, 480, 20))], Yuyv(640, 480, 24));
    CameraFormatList slow = BuildCameraFormatList({Yuyv(640, 480, 5), Yuyv(640, 480, 15)});
    EXPECT_EQ(slow.formats[static_cast<size_t>(ChooseCameraFormat(slow, 640, 480, 30))], Yuyv(640, 480, 15));
}

TEST(ChooseCameraFormat, NearestWidthThenNearestHeight) {
    CameraFormatList list = BuildCameraFormatList(
        {Yuyv(1280, 720, 30), Yuyv(800, 600, 30), Yuyv(640, 480, 30), Yuyv(640, 360, 30)});
    EXPECT_EQ(list.formats[static_cast<size_t>(ChooseCameraFormat(list, 700, 400, 30))], Yuyv(640, 360, 30));
    EXPECT_EQ(list.formats[static_cast<size_t>(ChooseCameraFormat(list, 760, 600, 30))], Yuyv(800, 600, 30));
    EXPECT_EQ(ChooseCameraFormat(CameraFormatList{}, 640, 480, 30), -1);
}

TEST(CameraFormatSetting, SixteenBytesRoundTripAndExactSizeOnly) {
    const CameraFormatSetting setting = CameraFormatSetting::Of(Mjpg(1280, 720, 30));
    EXPECT_EQ(setting.fps, 30);
    const std::vector<uint8_t> bytes = setting.ToBytes();
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes[0], 0x00);  // 1280 little-endian
    EXPECT_EQ(bytes[1], 0x05);
    EXPECT_EQ(bytes[12], 0);
    auto back = CameraFormatSetting::FromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 1280);
    EXPECT_EQ(back->height, 720);
    EXPECT_EQ(back->fps, 30);
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(CameraFormatSetting::FromBytes(longer));
    EXPECT_FALSE(CameraFormatSetting::FromBytes(std::span(bytes).first(15)));
}

TEST(CameraFormatSetting, NamesAndRowText) {
    EXPECT_EQ(CameraFormatValueName(2), "camera_format_2");
    EXPECT_EQ(CameraFormatValueName(-1), "camera_format");
    EXPECT_EQ(CameraFormatText(Yuyv(640, 480, 30)), "30 FPS,  640 \u00d7 480");
    EXPECT_EQ(platform::FramesPerSecond(333333), 30);
    EXPECT_EQ(platform::FramesPerSecond(333334), 30);
    EXPECT_EQ(platform::FramesPerSecond(0), 0);
}

}  // namespace
}  // namespace vexa::engine
