#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/camera/camera_device.h"
#include "platform/camera/test_pattern.h"
#include "platform/camera/v4l2_camera.h"
#include "platform/camera/virtual_camera.h"
#include "tests/support/thread_probe.h"
#include "tests/support/wait_until.h"

namespace vexa::platform {
namespace {

// The camera window prints the native code as "0x%08X": busy has its own number, other system
// errors carry the errno in the low bits.
TEST(CameraErrors, BusyDeviceGivesTheBusyNumberOthersTheirErrno) {
    EXPECT_EQ(CameraErrnoCode(EBUSY), 0x00040268u);
    EXPECT_EQ(CameraErrnoCode(ENODEV), 0x80070000u | ENODEV);
    EXPECT_NE(CameraErrnoCode(EACCES), CameraErrnoCode(ENOENT));
    const Error busy = CameraErrnoError(EBUSY, "cannot start streaming from camera 'c'");
    EXPECT_EQ(busy.code(), ErrorCode::kBusy);
    EXPECT_EQ(busy.native_code(), kCameraBusy);
    EXPECT_EQ(busy.message(), "cannot start streaming from camera 'c': Device or resource busy");
    const Error denied = CameraErrnoError(EACCES, "cannot open camera 'c'");
    EXPECT_EQ(denied.code(), ErrorCode::kPermission);
    EXPECT_EQ(denied.native_code(), 0x8007000Du);
    EXPECT_EQ(CameraFailure(ErrorCode::kUnsupported, "x").native_code(), kCameraFailed);
}

TEST(CameraNames, RepeatedCardNamesBecomeUnique) {
    std::vector<CameraInfo> cams = {{"USB Cam", "/dev/video0"},
                                    {"Other", "/dev/video2"},
                                    {"USB Cam", "/dev/video4"},
                                    {"USB Cam", "/dev/video6"}};
    MakeNamesUnique(cams);
    EXPECT_EQ(cams[0].name, "USB Cam");
    EXPECT_EQ(cams[1].name, "Other");
    EXPECT_EQ(cams[2].name, "USB Cam (2)");
    EXPECT_EQ(cams[3].name, "USB Cam (3)");
}

TEST(V4l2Ranges, StepwiseSizesOfferCommonSizesOnTheGrid) {
    auto sizes = CommonSizesWithin({320, 1280, 16, 240, 720, 16});
    std::vector<std::pair<int, int>> expected = {{1280, 720}, {640, 480}, {352, 288}, {320, 240}};
    EXPECT_EQ(sizes, expected);  // 1024×768 too high; 800×600, 640×360 off the 16-pixel grid
    EXPECT_TRUE(CommonSizesWithin({1, 100, 1, 1, 100, 1}).empty());
}

TEST(V4l2Ranges, ContinuousIntervalsOfferCommonRatesFastestFirst) {
    auto times = CommonFrameTimesWithin(FrameTimeOf(30), FrameTimeOf(10));
    std::vector<int64_t> expected = {FrameTimeOf(30), FrameTimeOf(25), FrameTimeOf(24),
                                     FrameTimeOf(20), FrameTimeOf(15), FrameTimeOf(10)};
    EXPECT_EQ(times, expected);
    // A driver that reports 1/30 s as 333334 units still offers 30.
    EXPECT_EQ(CommonFrameTimesWithin(333334, 333334), std::vector<int64_t>{FrameTimeOf(30)});
}

TEST(VirtualCameraFormats, ParsesListsAndTheDefault) {
    auto one = ParseVirtualFormats("1");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->size(), 3u);
    auto list = ParseVirtualFormats("YUYV:640x480@30,MJPG:1280x720@60,NV12:320x240@15");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ((*list)[1], (CameraFormat{kFourCcMjpg, 1280, 720, FrameTimeOf(60)}));
    EXPECT_EQ(FourCcText((*list)[2].fourcc), "NV12");
    for (const char* bad : {"", "0", "YUYV", "YUYV:640x480", "YUYV:641x480@30", "YUYV:640x480@0",
                            "YUV:640x480@30", "YUYV:640x480@30,", "YUYV:-640x480@30", "YUYV:640x480@30x"})
        EXPECT_FALSE(ParseVirtualFormats(bad)) << bad;
}

TEST(TestPattern, CounterAndMotionChangeThePicture) {
    Yuv422Picture a, b;
    PaintTestPattern(a, 320, 240, 7);
    PaintTestPattern(b, 320, 240, 8);
    ASSERT_EQ(a.y.size(), 320u * 240);
    EXPECT_NE(a.y, b.y);
    std::vector<uint8_t> packed;
    PackYuyv(a, packed);
    ASSERT_EQ(packed.size(), 320u * 240 * 2);
    EXPECT_EQ(packed[0], a.y[0]);
    EXPECT_EQ(packed[1], a.u[0]);
    EXPECT_EQ(packed[2], a.y[1]);
    EXPECT_EQ(packed[3], a.v[0]);
}

// Collects pictures from a streaming device.
struct Collector {
    std::mutex lock;
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<double> times;
    PictureCallback Callback() {
        return [this](double time, const uint8_t* data, size_t length) {
            std::lock_guard<std::mutex> guard(lock);
            pictures.emplace_back(data, data + length);
            times.push_back(time);
        };
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return pictures.size();
    }
};

using test::WaitUntil;

// The virtual camera's streaming thread, while it runs.
bool Streaming() {
    return !test::ThreadsNamed("vexa-cam-virt").empty();
}

TEST(VirtualCamera, StreamsYuyvAtItsRateAndStopsCleanly) {
    auto device = CreateVirtualCamera({{{kFourCcYuyv, 64, 48, FrameTimeOf(60)}}, false, 0, 0});
    Collector c;
    ASSERT_TRUE(device->StartStreaming(c.Callback()).ok());
    EXPECT_EQ(device->StartStreaming(c.Callback()).native_code(), kCameraBusy);  // already streaming
    ASSERT_TRUE(WaitUntil([&] { return c.Count() >= 12; }));
    device->StopStreaming();
    device->StopStreaming();
    EXPECT_FALSE(Streaming());  // so nothing comes after the stop
    EXPECT_EQ(c.pictures[0].size(), 64u * 48 * 2);
    const double span = c.times[11] - c.times[1];
    EXPECT_GT(span, 10 / 60.0 * 0.7);  // paced, not as fast as possible
}

TEST(VirtualCamera, MjpgPicturesAreJpegAndCorruptOnesAreGarbage) {
    auto device = CreateVirtualCamera({{{kFourCcMjpg, 160, 120, FrameTimeOf(60)}}, false, 3, 0});
    Collector c;
    ASSERT_TRUE(device->StartStreaming(c.Callback()).ok());
    ASSERT_TRUE(WaitUntil([&] { return c.Count() >= 6; }));
    device->StopStreaming();
    for (size_t i = 0; i < 6; ++i) {
        const bool jpeg = c.pictures[i].size() > 2 && c.pictures[i][0] == 0xFF && c.pictures[i][1] == 0xD8;
        EXPECT_EQ(jpeg, (i + 1) % 3 != 0) << i;
    }
}

TEST(VirtualCamera, BusyUnusableAndUnpluggedCameras) {
    auto busy = CreateVirtualCamera({{{kFourCcYuyv, 64, 48, FrameTimeOf(30)}}, true, 0, 0});
    Collector c;
    EXPECT_EQ(busy->StartStreaming(c.Callback()).native_code(), kCameraBusy);
    const Error set = busy->SetFormat({kFourCcYuyv, 64, 48, FrameTimeOf(30)});
    EXPECT_EQ(set.code(), ErrorCode::kBusy);
    EXPECT_EQ(set.native_code(), kCameraBusy);
    EXPECT_EQ(set.message(), "cannot set camera 'Virtual Camera' to YUYV 64x48: Device or resource busy");

    auto nv12 = CreateVirtualCamera({{{FourCc('N', 'V', '1', '2'), 64, 48, FrameTimeOf(30)}}, false, 0, 0});
    const Error nv12_start = nv12->StartStreaming(c.Callback());
    EXPECT_EQ(nv12_start.native_code(), 0x80070000u | EINVAL);
    EXPECT_NE(nv12_start.message().find("NV12"), std::string::npos) << nv12_start.message();

    auto unplugged = CreateVirtualCamera({{{kFourCcYuyv, 64, 48, FrameTimeOf(120)}}, false, 0, 5});
    ASSERT_TRUE(unplugged->StartStreaming(c.Callback()).ok());
    ASSERT_TRUE(WaitUntil([&] { return c.Count() >= 5 && !Streaming(); }))  // ended by itself
        << c.Count() << " pictures";
    EXPECT_EQ(c.Count(), 5u);
    unplugged->StopStreaming();  // the thread has ended already; stopping still works
}

TEST(VirtualCamera, SetFormatPicksTheOfferedFrameTimeNearest) {
    auto device = CreateVirtualCamera(
        {{{kFourCcYuyv, 64, 48, FrameTimeOf(30)}, {kFourCcYuyv, 64, 48, FrameTimeOf(15)}}, false, 0, 0});
    ASSERT_TRUE(device->SetFormat({kFourCcYuyv, 64, 48, FrameTimeOf(14)}).ok());
    Result<CameraFormat> current = device->CurrentFormat();
    ASSERT_TRUE(current.ok());
    EXPECT_EQ(current->frame_time, FrameTimeOf(15));
    EXPECT_EQ(device->SetFormat({kFourCcMjpg, 64, 48, FrameTimeOf(30)}).code(), ErrorCode::kInvalidArgument);
    current = device->CurrentFormat();
    ASSERT_TRUE(current.ok());
    EXPECT_EQ(current->fourcc, kFourCcYuyv);
}

TEST(CameraList, VirtualCameraJoinsTheListByEnvironment) {
    unsetenv("VEXA_VIRTUAL_CAMERA");
    for (const CameraInfo& c : EnumerateCameras()) EXPECT_NE(c.name, kVirtualCameraName);
    const Error missing = OpenCameraDevice(kVirtualCameraName).error();
    EXPECT_EQ(missing.code(), ErrorCode::kNotFound);
    EXPECT_EQ(missing.native_code(), kCameraFailed);
    EXPECT_EQ(missing.message(), "no camera 'Virtual Camera'");

    setenv("VEXA_VIRTUAL_CAMERA", "MJPG:320x240@30", 1);
    auto cams = EnumerateCameras();
    ASSERT_FALSE(cams.empty());
    EXPECT_EQ(cams.back().name, kVirtualCameraName);
    auto device = OpenCameraDevice("virtual CAMERA");  // names compare without case
    ASSERT_TRUE(device.ok());
    Result<std::vector<CameraFormat>> formats = (*device)->EnumerateFormats();
    ASSERT_TRUE(formats.ok());
    EXPECT_EQ(*formats, (std::vector<CameraFormat>{{kFourCcMjpg, 320, 240, FrameTimeOf(30)}}));

    setenv("VEXA_VIRTUAL_CAMERA_BUSY", "1", 1);
    device = OpenCameraDevice(kVirtualCameraName);
    ASSERT_TRUE(device.ok());
    Collector c;
    EXPECT_EQ((*device)->StartStreaming(c.Callback()).native_code(), kCameraBusy);
    unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
    unsetenv("VEXA_VIRTUAL_CAMERA");
}

}  // namespace
}  // namespace vexa::platform
