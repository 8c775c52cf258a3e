// Real V4L2 cameras, when the machine has any (skipped otherwise): every listed camera enumerates,
// and the first usable one streams pictures through CCamera, or reports itself busy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/camera/camera.h"
#include "platform/camera/v4l2_camera.h"

namespace vexa::engine {
namespace {

void CountPicture(void* user, const uint8_t*, const int*) {
    static_cast<std::atomic<int>*>(user)->fetch_add(1);
}

TEST(V4l2Camera, ListedCamerasOpenEnumerateAndStream) {
    const std::vector<platform::CameraInfo> cameras = platform::EnumerateV4l2Cameras();
    if (cameras.empty()) GTEST_SKIP() << "no V4L2 capture device on this machine";
    bool streamed = false;
    for (const platform::CameraInfo& info : platform::EnumerateCameras()) {
        if (info.path == "virtual") continue;
        Result<CameraRef> created = CCamera::Create(info.name);
        ASSERT_TRUE(created.ok()) << created.error().message();
        CameraRef camera = std::move(created).value();
        if (!camera->GetFormats().ok() || streamed) continue;
        std::atomic<int> pictures{0};
        camera->AddListener(&CountPicture, &pictures);
        const Error started = camera->Start();
        if (started.native_code() == platform::kCameraBusy) continue;
        ASSERT_TRUE(started.ok()) << started.message();
        for (int i = 0; i < 300 && pictures < 5; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        camera->Stop(true);
        EXPECT_GE(pictures.load(), 5) << info.name;
        streamed = true;
    }
}

}  // namespace
}  // namespace vexa::engine
