// Camera-mode recordings end to end through the virtual camera: opened by name from the camera
// list, real time, real encoder, the file read back with FFmpeg.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/camera/camera.h"
#include "engine/capture.h"
#include "engine/recording.h"
#include "platform/camera/virtual_camera.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"

namespace vexa::engine {
namespace {

// Sets the virtual camera's environment for one test and clears it afterwards.
class VirtualCameraEnv {
  public:
    explicit VirtualCameraEnv(const char* formats, const char* unplug = nullptr,
                              const char* corrupt = nullptr) {
        setenv("VEXA_VIRTUAL_CAMERA", formats, 1);
        if (unplug) setenv("VEXA_VIRTUAL_CAMERA_UNPLUG", unplug, 1);
        if (corrupt) setenv("VEXA_VIRTUAL_CAMERA_CORRUPT", corrupt, 1);
    }
    ~VirtualCameraEnv() {
        for (const char* name :
             {"VEXA_VIRTUAL_CAMERA", "VEXA_VIRTUAL_CAMERA_UNPLUG", "VEXA_VIRTUAL_CAMERA_CORRUPT"})
            unsetenv(name);
    }
};

// Opens the virtual camera as the overlay window would: formats, stored choice, graph, start.
CameraRef OpenVirtualCamera(int width, int height, int fps) {
    Result<CameraRef> created = CCamera::Create("Virtual Camera");
    if (!created.ok()) return {};
    CameraRef camera = std::move(created).value();
    Result<CameraFormatList> list = camera->GetFormats();
    if (!list.ok() || !camera->SelectFormat(*list, width, height, fps).ok() || !camera->BuildGraph().ok() ||
        !camera->Start().ok())
        return {};
    return camera;
}

// A recording read back, and the longest it can have lasted: from before its start to after its stop.
struct Recorded {
    test::ProbedFile file;
    double longest = 0;  // seconds
};

// Records the camera for at least `length` and until `enough` holds.
Recorded Record(
    CCamera* camera, const std::string& path, std::chrono::milliseconds length,
    const std::function<bool()>& enough = [] { return true; }) {
    Recorded recorded;
    {
        auto created = CCapture::Create(path);
        EXPECT_TRUE(created.ok());
        if (!created.ok()) return {};
        std::unique_ptr<CCapture> session = std::move(created).value();
        EXPECT_TRUE(session->AddCameraStream(20, kVideoBitRate, camera).ok());
        const auto before = std::chrono::steady_clock::now();
        EXPECT_TRUE(session->Start().ok());
        std::this_thread::sleep_for(length);
        EXPECT_TRUE(test::WaitUntil(enough));
        session.reset();
        recorded.longest = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    }
    auto file = test::ProbeFile(path);
    EXPECT_TRUE(file);
    if (file) recorded.file = *file;
    return recorded;
}

TEST(CameraEndToEnd, ThreeSecondMjpgRecordingIsH264AtTheCameraSize) {
    VirtualCameraEnv env("YUYV:640x480@30,MJPG:320x240@30");
    CameraRef camera = OpenVirtualCamera(320, 240, 30);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->Connected().fourcc, platform::kFourCcMjpg);
    test::TempFolder folder;
    const Recorded recorded = Record(camera.get(), folder.File("camera.mp4"), std::chrono::seconds(3));
    const test::ProbedFile& file = recorded.file;
    ASSERT_EQ(file.streams.size(), 1u);
    EXPECT_EQ(file.streams[0].codec, "h264");
    EXPECT_EQ(file.streams[0].width, 320);
    EXPECT_EQ(file.streams[0].height, 240);
    // The last picture lasts until the stop, which came at least three seconds after the start.
    EXPECT_GE(file.StreamEndSeconds(0), 2.9);  // whole frame intervals
    EXPECT_LE(file.StreamEndSeconds(0), recorded.longest + 0.05);
    EXPECT_NEAR(file.duration_seconds, file.StreamEndSeconds(0), 0.05);
    EXPECT_GE(file.PacketsOf(0).size(), 30u);  // at least ten pictures a second
    EXPECT_EQ(camera->Stats().dropped, 0u);
}

TEST(CameraEndToEnd, YuyvRecordingShowsTheMovingPattern) {
    VirtualCameraEnv env("YUYV:160x120@30");
    CameraRef camera = OpenVirtualCamera(160, 120, 30);
    ASSERT_TRUE(camera);
    test::TempFolder folder;
    const std::string path = folder.File("pattern.mp4");
    (void)Record(camera.get(), path, std::chrono::milliseconds(0),
                 [&] { return camera->Stats().queued >= 12; });
    const auto pictures = test::DecodeVideo(path);
    ASSERT_GE(pictures.size(), 10u);
    EXPECT_NE(pictures.front().luma, pictures.back().luma);
    EXPECT_LT(pictures.back().At(1, 1), 60);  // the counter's dark box, top-left and upright
}

TEST(CameraEndToEnd, UnpluggedCameraLetsTheRecordingEndNormally) {
    VirtualCameraEnv env("YUYV:160x120@30", "10");
    CameraRef camera = OpenVirtualCamera(160, 120, 30);
    ASSERT_TRUE(camera);
    test::TempFolder folder;
    const Recorded recorded =
        Record(camera.get(), folder.File("unplugged.mp4"), std::chrono::milliseconds(1500));
    const test::ProbedFile& file = recorded.file;
    ASSERT_EQ(file.streams.size(), 1u);
    EXPECT_LE(file.PacketsOf(0).size(), 10u);
    // The last picture lasts until the stop.
    EXPECT_GE(file.StreamEndSeconds(0), 1.4);  // whole frame intervals
    EXPECT_LE(file.StreamEndSeconds(0), recorded.longest + 0.05);
}

TEST(CameraEndToEnd, CorruptPicturesAreSkippedWhileRecording) {
    VirtualCameraEnv env("MJPG:160x120@30", nullptr, "4");
    CameraRef camera = OpenVirtualCamera(160, 120, 30);
    ASSERT_TRUE(camera);
    test::TempFolder folder;
    const test::ProbedFile file =
        Record(camera.get(), folder.File("corrupt.mp4"), std::chrono::milliseconds(0), [&] {
            const CameraStats stats = camera->Stats();
            return stats.skipped >= 3 && stats.queued >= 12;
        }).file;
    ASSERT_EQ(file.streams.size(), 1u);
    EXPECT_GE(file.PacketsOf(0).size(), 10u);
    EXPECT_GE(camera->Stats().skipped, 3u);
}

TEST(CameraEndToEnd, CameraModeBorrowsTheWindowsCameraAndGivesItBack) {
    VirtualCameraEnv env("YUYV:320x240@30");
    CameraRef window = OpenVirtualCamera(320, 240, 30);  // the preview window's reference
    ASSERT_TRUE(window);
    test::TempFolder folder;
    RecordingRequest request;
    request.mode = RecordingMode::kCamera;
    request.output_dir = folder.Path().string();
    request.acquire_camera = [&] { return CameraRef::Share(window.get()).release(); };
    SessionSlot slot;
    Result<std::string> prepared = Prepare(request, slot);
    ASSERT_TRUE(prepared.ok()) << prepared.error().message();
    const std::string path = *prepared;
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start(slot).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // the length of the recording
    slot.Take().reset();
    const std::chrono::duration<double> longest = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(window->AddRef(), 2u);  // only the window's reference (and this one) remain
    EXPECT_EQ(window->Release(), 1u);
    auto file = test::ProbeFile(path);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->streams.size(), 1u);  // no sound row selected: video only
    EXPECT_EQ(file->streams[0].width, 320);
    EXPECT_GE(file->StreamEndSeconds(0), 1.1);  // whole frame intervals
    EXPECT_LE(file->StreamEndSeconds(0), longest.count() + 0.05);
}

TEST(CameraEndToEnd, BusyAndUnusableVirtualCameras) {
    {
        VirtualCameraEnv env("NV12:640x480@30");
        Result<CameraRef> camera = CCamera::Create("Virtual Camera");
        ASSERT_TRUE(camera.ok());
        EXPECT_EQ((*camera)->GetFormats().error().message(),
                  "camera 'Virtual Camera' offers neither YUY2 nor MJPG (only NV12)");
        EXPECT_FALSE((*camera)->Start().ok());
    }
    {
        VirtualCameraEnv env("1");
        setenv("VEXA_VIRTUAL_CAMERA_BUSY", "1", 1);
        Result<CameraRef> camera = CCamera::Create("Virtual Camera");
        unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
        ASSERT_TRUE(camera.ok());
        const Error busy = (*camera)->Start();
        EXPECT_EQ(busy.code(), ErrorCode::kBusy);
        EXPECT_EQ(busy.native_code(), platform::kCameraBusy);
    }
    const Error missing = CCamera::Create("No Such Camera").error();
    EXPECT_EQ(missing.code(), ErrorCode::kNotFound);
    EXPECT_EQ(missing.native_code(), platform::kCameraFailed);
}

}  // namespace
}  // namespace vexa::engine
