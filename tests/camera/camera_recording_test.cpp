// Camera-mode recordings on a scripted camera and a clock the test moves: the session stamps every
// picture, so spacing, pauses and the end of the stream can be checked exactly in the file.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/camera/camera.h"
#include "engine/capture.h"
#include "platform/testing/manual_clock.h"
#include "tests/camera/scripted_camera.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"
#include "tests/support/wait_until.h"

namespace vexa::engine {
namespace {

using platform::CameraFormat;
using platform::FrameTimeOf;
using platform::kFourCcYuyv;
using test::CameraScript;
using test::ScriptedCamera;
using test::YuyvPicture;

constexpr int64_t kSecond = platform::kCounterFrequency;

struct CameraRecording {
    std::shared_ptr<CameraScript> script = std::make_shared<CameraScript>();
    CameraRef camera;
    platform::ManualClock clock;
    test::TempFolder folder;
    std::string path = folder.File("camera.mp4");
    std::unique_ptr<CCapture> session;

    explicit CameraRecording(int width = 64, int height = 48, int fps = 30) {
        script->current = {kFourCcYuyv, width, height, FrameTimeOf(fps)};
        script->offered = {script->current};
        camera = CCamera::CreateOnDevice(std::make_unique<ScriptedCamera>(script));
    }

    // Creates the session with the camera stream and starts it; true once pictures are recorded.
    bool Begin() {
        if (!camera->Start().ok()) return false;
        auto created = CCapture::Create(path, clock);
        if (!created.ok()) return false;
        session = std::move(created).value();
        if (!session->AddCameraStream(20, kVideoBitRate, camera.get()).ok() || !session->Start().ok())
            return false;
        return test::WaitUntil([&] { return camera->IsRecording(); });
    }

    // count pictures, one every `step` ticks, each followed by the clock moving on.
    void Feed(int count, int64_t step, const std::vector<uint8_t>& picture) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(script->Emit(picture));
            clock.Advance(step);
        }
    }

    std::vector<uint8_t> Grey() const {
        return YuyvPicture(script->current.width, script->current.height, 120, 120);
    }

    test::ProbedFile End() {
        session.reset();
        auto file = test::ProbeFile(path);
        EXPECT_TRUE(file);
        return file ? *file : test::ProbedFile{};
    }
};

double Seconds(const test::ProbedFile& f, int64_t units) {
    const test::ProbedStream& s = f.streams.at(0);
    return static_cast<double>(units) * s.tb_num / s.tb_den;
}

TEST(CameraRecording, FasterPicturesCollapseToTheRecordingRate) {
    CameraRecording r;  // a 30 fps recording
    ASSERT_TRUE(r.Begin());
    r.Feed(60, kSecond / 60, r.Grey());  // one second of 60 pictures per second
    test::ProbedFile file = r.End();
    ASSERT_EQ(file.streams.size(), 1u);
    const auto packets = file.PacketsOf(0);
    ASSERT_GE(packets.size(), 29u);
    ASSERT_LE(packets.size(), 31u);
    for (size_t i = 1; i < packets.size(); ++i)
        EXPECT_GE(Seconds(file, packets[i].pts - packets[i - 1].pts), 1.0 / 30 - 1e-3) << i;
    const CameraStats stats = r.camera->Stats();
    EXPECT_GE(stats.collapsed, 28u);
    EXPECT_EQ(stats.dropped, 0u);
}

TEST(CameraRecording, PausedPicturesAreNotTakenAndStampsContinueFromTheFrozenClock) {
    CameraRecording r;
    ASSERT_TRUE(r.Begin());
    r.Feed(10, kSecond / 30, r.Grey());
    r.session->Pause();
    r.Feed(60, kSecond / 30, YuyvPicture(64, 48, 235, 235));  // two white seconds while paused
    r.session->Resume();
    r.Feed(10, kSecond / 30, r.Grey());
    test::ProbedFile file = r.End();
    for (const test::GreyPicture& p : test::DecodeVideo(r.path))
        EXPECT_LT(p.At(32, 24), 180) << "a paused picture";
    EXPECT_EQ(r.camera->Stats().collapsed, 0u);  // paused pictures were not even taken
    const auto packets = file.PacketsOf(0);
    ASSERT_GE(packets.size(), 19u);
    ASSERT_LE(packets.size(), 20u);
    for (size_t i = 1; i < packets.size(); ++i)
        EXPECT_LT(Seconds(file, packets[i].pts - packets[i - 1].pts), 2.5 / 30) << "a gap at " << i;
    EXPECT_NEAR(file.StreamEndSeconds(0), 20.0 / 30, 0.02);  // the pause is not in the timeline
}

TEST(CameraRecording, LastPacketRunsToTheStopPosition) {
    CameraRecording r;
    ASSERT_TRUE(r.Begin());
    r.Feed(10, kSecond / 30, r.Grey());
    r.clock.Advance(3 * kSecond / 2);  // the camera stops delivering; the recording goes on
    test::ProbedFile file = r.End();
    ASSERT_EQ(file.PacketsOf(0).size(), 10u);
    EXPECT_NEAR(file.StreamEndSeconds(0), 10.0 / 30 + 1.5, 0.002);
}

// Three seconds without a picture: the camera is gone (unplugged, its driver stuck). Its stream ends
// with its last picture, which lasts one frame interval, and is flushed into the file at once; a
// picture that turns up later is not taken, and the pause before never counted as silence.
TEST(CameraRecording, ACameraSilentForThreeSecondsEndsItsStreamWithItsLastPicture) {
    CameraRecording r;
    ASSERT_TRUE(r.Begin());
    r.Feed(10, kSecond / 30, r.Grey());
    r.session->Pause();
    r.clock.Advance(5 * kSecond);                             // a long pause is no lost camera
    ASSERT_TRUE(test::NamedThreadTurnsOver("vexa-cam-rec"));  // the record thread has looked since
    ASSERT_TRUE(r.camera->IsRecording());
    r.session->Resume();
    r.clock.Advance(3 * kSecond);
    ASSERT_TRUE(test::WaitUntil([&] { return !r.camera->IsRecording(); }))
        << "the lost camera is still being recorded";
    r.Feed(5, kSecond / 30, r.Grey());  // back, too late
    r.clock.Advance(2 * kSecond);
    test::ProbedFile file = r.End();
    ASSERT_EQ(file.PacketsOf(0).size(), 10u);
    EXPECT_NEAR(file.StreamEndSeconds(0), 10.0 / 30, 0.002);
}

TEST(CameraRecording, RecordingIsUprightAndMirroredLikeTheWindow) {
    CameraRecording r(64, 48);
    r.camera->SetMirror(true);
    ASSERT_TRUE(r.Begin());
    // Top 8 rows white; below them dark on the left, bright on the right.
    r.Feed(5, kSecond / 30, YuyvPicture(64, 48, 16, 235, 8, 235));
    r.session.reset();
    const auto pictures = test::DecodeVideo(r.path);
    ASSERT_FALSE(pictures.empty());
    const test::GreyPicture& p = pictures.back();
    ASSERT_EQ(p.width, 64);
    ASSERT_EQ(p.height, 48);
    EXPECT_GT(p.At(32, 2), 200);  // the white band stays on top
    EXPECT_GT(p.At(4, 30), 200);  // mirrored: bright now on the left
    EXPECT_LT(p.At(60, 30), 50);
}

TEST(CameraRecording, OddCameraSizeIsEncodedAtTheNextEvenSize) {
    CameraRecording r(63, 47);
    ASSERT_TRUE(r.Begin());
    r.Feed(3, kSecond / 30, YuyvPicture(63, 47, 120, 120));
    test::ProbedFile file = r.End();
    ASSERT_EQ(file.streams.size(), 1u);
    EXPECT_EQ(file.streams[0].width, 64);
    EXPECT_EQ(file.streams[0].height, 48);
    EXPECT_EQ(file.PacketsOf(0).size(), 3u);
}

TEST(CameraRecording, CameraOutlivesTheRecordingAndRecordsAgain) {
    CameraRecording r;
    ASSERT_TRUE(r.Begin());
    EXPECT_TRUE(r.camera->IsAttached());
    {
        auto second = CCapture::Create(r.folder.File("other.mp4"), r.clock).value();
        const Error again = second->AddCameraStream(20, kVideoBitRate, r.camera.get());  // one at a time
        EXPECT_EQ(again.code(), ErrorCode::kBusy);
        EXPECT_EQ(again.message(), "camera 'Scripted Camera' is already being recorded");
    }
    r.Feed(5, kSecond / 30, r.Grey());
    test::ProbedFile first = r.End();
    EXPECT_EQ(first.PacketsOf(0).size(), 5u);
    EXPECT_FALSE(r.camera->IsAttached());
    EXPECT_FALSE(r.script->destroyed);
    EXPECT_TRUE(r.script->Emit(r.Grey()));  // the window's preview keeps running

    r.path = r.folder.File("again.mp4");
    r.session = CCapture::Create(r.path, r.clock).value();
    ASSERT_TRUE(r.session->AddCameraStream(20, kVideoBitRate, r.camera.get()).ok());
    ASSERT_TRUE(r.session->Start().ok());
    ASSERT_TRUE(test::WaitUntil([&] { return r.camera->IsRecording(); }));
    r.Feed(7, kSecond / 30, r.Grey());
    EXPECT_EQ(r.End().PacketsOf(0).size(), 7u);
}

TEST(CameraRecording, SessionDroppedBeforeStartLeavesTheCameraFree) {
    CameraRecording r;
    ASSERT_TRUE(r.camera->Start().ok());
    r.session = CCapture::Create(r.path, r.clock).value();
    ASSERT_TRUE(r.session->AddCameraStream(20, kVideoBitRate, r.camera.get()).ok());
    EXPECT_TRUE(r.script->Emit(r.Grey()));  // not recording yet: nothing is taken
    r.session.reset();
    EXPECT_FALSE(r.camera->IsAttached());
    EXPECT_EQ(r.camera->Stats().queued, 0u);
}

TEST(CameraRecording, WindowLettingGoDuringTheRecordingIsSafe) {
    CameraRecording r;
    ASSERT_TRUE(r.Begin());
    r.Feed(4, kSecond / 30, r.Grey());
    r.camera->Stop(true);  // the window closes and stops its camera fully
    r.camera.reset();      // and drops its reference; the stream's keeps the object alive
    r.clock.Advance(kSecond);
    test::ProbedFile file = r.End();
    EXPECT_TRUE(r.script->destroyed);
    EXPECT_EQ(file.PacketsOf(0).size(), 4u);  // every picture taken before the stop is kept
    EXPECT_NEAR(file.StreamEndSeconds(0), 4.0 / 30 + 1, 0.002);
}

}  // namespace
}  // namespace vexa::engine
