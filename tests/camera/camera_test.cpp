#include "engine/camera/camera.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/camera/virtual_camera.h"
#include "tests/camera/scripted_camera.h"
#include "tests/support/wait_until.h"

namespace vexa::engine {
namespace {

using platform::CameraFormat;
using platform::FrameTimeOf;
using platform::kFourCcMjpg;
using platform::kFourCcYuyv;
using test::CameraScript;
using test::ScriptedCamera;
using test::YuyvPicture;

// Keeps a copy of every picture a camera hands to its listeners.
struct PictureLog {
    std::mutex lock;
    std::vector<std::vector<uint8_t>> pictures;
    int width = 0, height = 0;

    static void OnPicture(void* user, const uint8_t* bgra, const int* size) {
        auto* log = static_cast<PictureLog*>(user);
        std::lock_guard<std::mutex> guard(log->lock);
        log->width = size[0];
        log->height = size[1];
        log->pictures.emplace_back(bgra, bgra + static_cast<size_t>(size[0]) * size[1] * 4);
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return pictures.size();
    }
    // Blue, green, red of pixel (x, row) of the last picture, rows as stored (bottom-up).
    std::array<uint8_t, 3> Pixel(int x, int row) {
        std::lock_guard<std::mutex> guard(lock);
        const uint8_t* p = &pictures.back()[(static_cast<size_t>(row) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

struct Fixture {
    std::shared_ptr<CameraScript> script = std::make_shared<CameraScript>();
    CameraRef camera;
    PictureLog log;

    explicit Fixture(CameraFormat current, std::vector<CameraFormat> offered = {}) {
        script->current = current;
        script->offered = offered.empty() ? std::vector<CameraFormat>{current} : std::move(offered);
        camera = CCamera::CreateOnDevice(std::make_unique<ScriptedCamera>(script));
        camera->AddListener(&PictureLog::OnPicture, &log);
    }
};

const CameraFormat kYuyv64{kFourCcYuyv, 64, 48, FrameTimeOf(30)};

TEST(CameraOpening, OnlyOtherFormatsCannotBeUsedAndTheMessageNamesThem) {
    const CameraFormat nv12{platform::FourCc('N', 'V', '1', '2'), 64, 48, FrameTimeOf(30)};
    Fixture f(nv12, {nv12,
                     {platform::FourCc('N', 'V', '1', '2'), 32, 24, FrameTimeOf(30)},
                     {platform::FourCc('R', 'G', 'B', '3'), 32, 24, FrameTimeOf(30)}});
    const Error formats = f.camera->GetFormats().error();
    EXPECT_EQ(formats.code(), ErrorCode::kUnsupported);
    EXPECT_EQ(formats.native_code(), platform::kCameraFailed);
    EXPECT_EQ(formats.message(), "camera 'Scripted Camera' offers neither YUY2 nor MJPG (only NV12, RGB3)");
    const Error start = f.camera->Start();
    EXPECT_EQ(start.native_code(), platform::kCameraFailed);
    EXPECT_NE(start.message().find("streams NV12 64x48"), std::string::npos) << start.message();
    EXPECT_EQ(f.script->starts, 0);
}

TEST(CameraOpening, StoredChoiceIsSetOnTheDevice) {
    Fixture f({kFourCcMjpg, 1280, 720, FrameTimeOf(30)}, {{kFourCcMjpg, 1280, 720, FrameTimeOf(30)},
                                                          {kFourCcYuyv, 640, 480, FrameTimeOf(30)},
                                                          {kFourCcYuyv, 640, 480, FrameTimeOf(15)}});
    Result<CameraFormatList> list = f.camera->GetFormats();
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list->examined, 3);
    ASSERT_TRUE(f.camera->SelectFormat(*list, 640, 480, 30).ok());
    ASSERT_EQ(f.script->formats_set.size(), 1u);
    EXPECT_EQ(f.script->formats_set[0], (CameraFormat{kFourCcYuyv, 640, 480, FrameTimeOf(30)}));
    ASSERT_TRUE(f.camera->BuildGraph().ok());
    ASSERT_TRUE(f.camera->Start().ok());
    EXPECT_EQ(f.camera->Width(), 640);
    EXPECT_EQ(f.camera->Height(), 480);
    EXPECT_EQ(f.camera->FrameRate(), 30);
    // While streaming the format cannot change.
    EXPECT_EQ(f.camera->SelectFormat(*list, 1280, 720, 30).message(),
              "camera 'Scripted Camera' is streaming");
}

TEST(CameraOpening, RefusedFormatKeepsTheCurrentOne) {
    Fixture f(kYuyv64, {kYuyv64, {kFourCcYuyv, 32, 24, FrameTimeOf(30)}});
    f.script->set_result = platform::CameraErrnoError(EINVAL, "cannot set camera 'Scripted Camera'");
    Result<CameraFormatList> list = f.camera->GetFormats();
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(f.camera->SelectFormat(*list, 32, 24, 30), f.script->set_result);
    ASSERT_TRUE(f.camera->Start().ok());
    EXPECT_EQ(f.camera->Width(), 64);
}

TEST(CameraOpening, BusyDeviceReportsTheBusyNumberOthersTheirErrno) {
    Fixture f(kYuyv64);
    f.script->start_result = platform::CameraErrnoError(EBUSY, "cannot start streaming");
    const Error busy = f.camera->Start();
    EXPECT_EQ(busy.code(), ErrorCode::kBusy);
    EXPECT_EQ(busy.native_code(), 0x00040268u);
    f.script->start_result = platform::CameraErrnoError(EIO, "cannot start streaming");
    EXPECT_EQ(f.camera->Start().native_code(), 0x80070000u | EIO);
    f.script->start_result = Error{};
    EXPECT_TRUE(f.camera->Start().ok());
}

TEST(CameraPictures, YuyvArrivesAsBottomUpBgraAtTheConnectedSize) {
    Fixture f(kYuyv64);
    ASSERT_TRUE(f.camera->Start().ok());
    ASSERT_TRUE(f.script->Emit(YuyvPicture(64, 48, 16, 16, 8, 235)));  // top 8 rows white, rest black
    ASSERT_EQ(f.log.Count(), 1u);
    EXPECT_EQ(f.log.width, 64);
    EXPECT_EQ(f.log.height, 48);
    EXPECT_LT(f.log.Pixel(10, 0)[1], 30);    // first row in memory: the picture's bottom
    EXPECT_GT(f.log.Pixel(10, 47)[1], 225);  // last row in memory: the picture's top
    EXPECT_GT(f.log.Pixel(10, 44)[1], 225);
    EXPECT_LT(f.log.Pixel(10, 36)[1], 30);
}

TEST(CameraPictures, MirrorReversesEveryRow) {
    Fixture f(kYuyv64);
    ASSERT_TRUE(f.camera->Start().ok());
    const auto picture = YuyvPicture(64, 48, 16, 235);  // dark left, bright right
    ASSERT_TRUE(f.script->Emit(picture));
    EXPECT_LT(f.log.Pixel(2, 20)[0], 30);
    EXPECT_GT(f.log.Pixel(61, 20)[0], 225);
    f.camera->SetMirror(true);
    ASSERT_TRUE(f.script->Emit(picture));
    EXPECT_GT(f.log.Pixel(2, 20)[0], 225);
    EXPECT_LT(f.log.Pixel(61, 20)[0], 30);
}

TEST(CameraPictures, ShortPicturesAreSkipped) {
    Fixture f(kYuyv64);
    ASSERT_TRUE(f.camera->Start().ok());
    ASSERT_TRUE(f.script->Emit(std::vector<uint8_t>(64 * 48 * 2 - 1, 100)));
    ASSERT_TRUE(f.script->Emit(std::vector<uint8_t>()));
    EXPECT_EQ(f.log.Count(), 0u);
    EXPECT_EQ(f.camera->Stats().skipped, 2u);
    EXPECT_EQ(f.camera->Stats().pictures, 2u);
}

TEST(CameraPictures, MjpgIsDecodedAndCorruptPicturesAreSkipped) {
    CameraRef camera = CCamera::CreateOnDevice(
        platform::CreateVirtualCamera({{{kFourCcMjpg, 160, 120, FrameTimeOf(60)}}, false, 2, 0}));
    PictureLog log;
    camera->AddListener(&PictureLog::OnPicture, &log);
    ASSERT_TRUE(camera->Start().ok());
    EXPECT_TRUE(test::WaitUntil([&] { return log.Count() >= 4; }));
    camera->Stop(false);
    ASSERT_GE(log.Count(), 4u);
    const CameraStats stats = camera->Stats();
    EXPECT_GE(stats.skipped, 3u);  // every second picture is garbage
    EXPECT_EQ(stats.pictures - stats.skipped, log.Count());
    EXPECT_EQ(log.width, 160);
    // The counter's dark box sits in the picture's top-left corner, the last row in memory.
    EXPECT_LT(log.Pixel(1, 119)[1], 40);
    EXPECT_GT(log.Pixel(1, 0)[1], 180);  // a light bar at the bottom-left
}

TEST(CameraLifecycle, FormatChangeKeepsListenersFullStopDropsEverything) {
    Fixture f(kYuyv64, {kYuyv64, {kFourCcYuyv, 32, 24, FrameTimeOf(30)}});
    ASSERT_TRUE(f.camera->Start().ok());
    f.camera->Stop(false);
    EXPECT_FALSE(f.script->Emit(YuyvPicture(64, 48, 16, 16)));
    ASSERT_TRUE(f.camera->CreateGraphObjects().ok());
    Result<CameraFormatList> list = f.camera->GetFormats();
    ASSERT_TRUE(list.ok());
    ASSERT_TRUE(f.camera->SelectFormat(*list, 32, 24, 30).ok());
    ASSERT_TRUE(f.camera->BuildGraph().ok());
    ASSERT_TRUE(f.camera->Start().ok());
    ASSERT_TRUE(f.script->Emit(YuyvPicture(32, 24, 16, 16)));
    EXPECT_EQ(f.log.Count(), 1u);
    EXPECT_EQ(f.log.width, 32);

    f.camera->Stop(true);
    EXPECT_TRUE(f.script->destroyed);
    EXPECT_EQ(f.camera->CreateGraphObjects().code(), ErrorCode::kNotFound);
    EXPECT_EQ(f.camera->Start().message(), "camera 'Scripted Camera' is closed");
}

TEST(CameraLifecycle, ReferencesKeepTheCameraUntilTheLastOneGoes) {
    Fixture f(kYuyv64);
    ASSERT_TRUE(f.camera->Start().ok());
    CameraRef recording = CameraRef::Share(f.camera.get());  // the recording's reference
    CCamera* raw = f.camera.get();
    f.camera.reset();  // the window lets go first
    EXPECT_FALSE(f.script->destroyed);
    ASSERT_TRUE(f.script->Emit(YuyvPicture(64, 48, 16, 16)));  // still delivering
    EXPECT_EQ(f.log.Count(), 1u);
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    recording.reset();
    EXPECT_TRUE(f.script->destroyed);  // the last reference stopped and closed the device
    EXPECT_GE(f.script->stops, 1);
}

TEST(CameraLifecycle, DroppingTheLastReferenceWhileStreamingIsSafe) {
    PictureLog log;
    for (int round = 0; round < 3; ++round) {
        CameraRef camera = CCamera::CreateOnDevice(
            platform::CreateVirtualCamera({{{kFourCcYuyv, 64, 48, FrameTimeOf(200)}}, false, 0, 0}));
        camera->AddListener(&PictureLog::OnPicture, &log);
        ASSERT_TRUE(camera->Start().ok());
        const size_t before = log.Count();
        ASSERT_TRUE(test::WaitUntil([&] { return log.Count() > before; }));  // streaming
    }                                                                        // no Stop: the release does it
}

}  // namespace
}  // namespace vexa::engine
