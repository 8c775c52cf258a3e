#include "cli/camera_cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "platform/camera/virtual_camera.h"

namespace vexa::cli {
namespace {

TEST(CameraFormatOption, ParsesWidthHeightAndRate) {
    auto f = ParseCameraFormat("1280x720@30");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->width, 1280);
    EXPECT_EQ(f->height, 720);
    EXPECT_EQ(f->fps, 30);
    for (const char* bad : {"", "1280x720", "1280@30", "0x720@30", "1280x720@", "1280x720@30fps", "x@",
                            "1280X720@30", "@30x720"})
        EXPECT_FALSE(ParseCameraFormat(bad)) << bad;
}

TEST(CameraSelector, PositionOrNameIgnoringCase) {
    const std::vector<platform::CameraInfo> cams = {{"HD Cam", "/dev/video0"}, {"HD Cam (2)", "/dev/video2"}};
    EXPECT_EQ(ResolveCameraName(cams, "0"), "HD Cam");
    EXPECT_EQ(ResolveCameraName(cams, "1"), "HD Cam (2)");
    EXPECT_FALSE(ResolveCameraName(cams, "2"));
    EXPECT_EQ(ResolveCameraName(cams, "hd cam (2)"), "HD Cam (2)");
    EXPECT_FALSE(ResolveCameraName(cams, "HD"));
    EXPECT_FALSE(ResolveCameraName(cams, ""));
    EXPECT_FALSE(ResolveCameraName({}, "0"));
}

class VirtualCameraCli : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VEXA_VIRTUAL_CAMERA", "YUYV:640x480@30,MJPG:1280x720@30,NV12:320x240@30", 1);
    }
    void TearDown() override {
        unsetenv("VEXA_VIRTUAL_CAMERA");
        unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
    }
};

TEST_F(VirtualCameraCli, ListShowsUsableFormatsOnly) {
    std::ostringstream out;
    ListCameras(out);
    const std::string text = out.str();
    EXPECT_NE(text.find(": Virtual Camera\n"), std::string::npos) << text;
    EXPECT_NE(text.find("30 FPS,  1280 \u00d7 720  MJPG"), std::string::npos) << text;
    EXPECT_NE(text.find("30 FPS,  640 \u00d7 480  YUYV"), std::string::npos) << text;
    EXPECT_EQ(text.find("NV12"), std::string::npos) << text;
    EXPECT_LT(text.find("1280"), text.find("640"));  // largest first
}

TEST_F(VirtualCameraCli, FormatOverrideAndMirrorReachTheCamera) {
    CameraChoice choice;
    choice.selector = "virtual camera";
    choice.format = "1280x720@30";
    choice.stored = engine::CameraFormatSetting{640, 480, 30, 0};
    choice.mirror = false;
    Result<engine::CameraRef> opened = OpenCamera(choice);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    engine::CameraRef camera = std::move(opened).value();
    EXPECT_EQ(camera->Width(), 1280);
    EXPECT_EQ(camera->Connected().fourcc, platform::kFourCcMjpg);
    EXPECT_FALSE(camera->Mirror());
    camera.reset();

    choice.format.reset();  // the stored choice applies
    choice.mirror = true;
    opened = OpenCamera(choice);
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    camera = std::move(opened).value();
    EXPECT_EQ(camera->Width(), 640);
    EXPECT_TRUE(camera->Mirror());
}

TEST_F(VirtualCameraCli, ClearErrorsForMissingBusyAndMalformed) {
    CameraChoice missing;
    missing.selector = "Nope";
    EXPECT_EQ(OpenCamera(missing).error().message(), "no camera \"Nope\"");

    CameraChoice bad;
    bad.selector = "Virtual Camera";
    bad.format = "big";
    EXPECT_EQ(OpenCamera(bad).error().message(), "camera format \"big\" is not WxH@FPS");

    setenv("VEXA_VIRTUAL_CAMERA_BUSY", "1", 1);
    CameraChoice busy;
    busy.selector = "Virtual Camera";
    const Error held = OpenCamera(busy).error();
    EXPECT_EQ(held.code(), ErrorCode::kBusy);
    EXPECT_EQ(held.message(), "camera \"Virtual Camera\" is busy (0x00040268)");

    setenv("VEXA_VIRTUAL_CAMERA", "NV12:320x240@30", 1);
    unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
    EXPECT_EQ(OpenCamera(busy).error().message(),
              "camera 'Virtual Camera' offers neither YUY2 nor MJPG (only NV12) (0x80004005)");
}

}  // namespace
}  // namespace vexa::cli
