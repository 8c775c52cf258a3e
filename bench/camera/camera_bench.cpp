// bench_camera: what a camera costs the process.
//  - BM_PicturePath/MJPG and /YUYV: one 1280×720 picture from the device's bytes to the listeners'
//    bottom-up BGRA (decode or convert, mirror), per picture.
//  - BM_CameraRecording: a 1280×720 at 30 MJPG camera recording of five seconds through the virtual
//    camera. Reports the processor time per recorded second that the recording costs (decode,
//    convert, encode, write; the virtual camera's own painting and JPEG encoding subtracted) and the
//    pictures lost to the recording path.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/camera/camera.h"
#include "engine/capture.h"
#include "platform/camera/test_pattern.h"
#include "platform/camera/virtual_camera.h"

namespace vexa {
namespace {

using platform::CameraFormat;
using platform::FrameTimeOf;

// A device that streams nothing by itself: the benchmark hands pictures to BufferCB directly.
class SilentCamera final : public platform::CameraDevice {
  public:
    explicit SilentCamera(CameraFormat format) : format_(format) {}
    const std::string& Name() const override { return name_; }
    Result<std::vector<CameraFormat>> EnumerateFormats() override {
        return std::vector<CameraFormat>{format_};
    }
    Error SetFormat(const CameraFormat&) override { return {}; }
    Result<CameraFormat> CurrentFormat() override { return format_; }
    Error StartStreaming(platform::PictureCallback) override { return {}; }
    void StopStreaming() override {}

  private:
    CameraFormat format_;
    std::string name_ = "Silent";
};

// One picture as the virtual camera makes it.
std::vector<uint8_t> SamplePicture(uint32_t fourcc, int width, int height) {
    auto device = platform::CreateVirtualCamera({{{fourcc, width, height, FrameTimeOf(60)}}, false, 0, 0});
    std::vector<uint8_t> picture;
    std::atomic<bool> got{false};
    if (!device
             ->StartStreaming([&](double, const uint8_t* data, size_t length) {
                 if (!got.exchange(true)) picture.assign(data, data + length);
             })
             .ok())
        return {};
    while (!got) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    device->StopStreaming();
    return picture;
}

void BM_PicturePath(benchmark::State& state) {
    const uint32_t fourcc = state.range(0) ? platform::kFourCcMjpg : platform::kFourCcYuyv;
    const std::vector<uint8_t> picture = SamplePicture(fourcc, 1280, 720);
    engine::CameraRef camera = engine::CCamera::CreateOnDevice(
        std::make_unique<SilentCamera>(CameraFormat{fourcc, 1280, 720, FrameTimeOf(30)}));
    camera->SetMirror(true);
    if (picture.empty() || !camera->Start().ok()) {
        state.SkipWithError("cannot prepare the camera");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(camera->BufferCB(0, picture.data(), picture.size()));
    state.counters["skipped"] = static_cast<double>(camera->Stats().skipped);
    state.SetLabel(state.range(0) ? "MJPG 1280x720" : "YUYV 1280x720");
}
BENCHMARK(BM_PicturePath)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

int64_t ProcessCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void BM_CameraRecording(benchmark::State& state) {
    constexpr int kSeconds = 5;
    for (auto _ : state) {
        engine::CameraRef camera = engine::CCamera::CreateOnDevice(platform::CreateVirtualCamera(
            {{{platform::kFourCcMjpg, 1280, 720, FrameTimeOf(30)}}, false, 0, 0}));
        const std::string path = "/tmp/vexa_bench_camera_" + std::to_string(getpid()) + ".mp4";
        auto created = engine::CCapture::Create(path);
        if (!created.ok() || !camera->Start().ok()) {
            state.SkipWithError("cannot start the recording");
            return;
        }
        std::unique_ptr<engine::CCapture> session = std::move(created).value();
        if (Error e = session->AddCameraStream(20, engine::kVideoBitRate, camera.get()); !e.ok()) {
            state.SkipWithError(e.message().c_str());
            return;
        }
        if (Error e = session->Start(); !e.ok()) {
            state.SkipWithError(e.message().c_str());
            return;
        }
        const int64_t cpu0 = ProcessCpuNs(), gen0 = platform::VirtualCameraGeneratorCpuNs();
        const uint64_t missed0 = platform::VirtualCameraMissedPictures();
        const engine::CameraStats before = camera->Stats();
        std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
        const engine::CameraStats at_stop = camera->Stats();
        session.reset();  // includes flushing the encoder and writing the file
        const int64_t generator = platform::VirtualCameraGeneratorCpuNs() - gen0;
        const int64_t cpu = ProcessCpuNs() - cpu0 - generator;
        const engine::CameraStats s = camera->Stats();
        camera->Stop(true);
        std::remove(path.c_str());
        // Every picture that arrived while recording was either queued for the encoder or collapsed
        // into a later one by design; anything else was lost on the way.
        const double arrived = static_cast<double>(at_stop.pictures - before.pictures);
        const double taken = static_cast<double>(s.queued - before.queued + s.collapsed - before.collapsed);
        state.SetIterationTime(kSeconds);
        state.counters["cpu_per_second"] = static_cast<double>(cpu) / 1e9 / kSeconds;
        state.counters["pictures"] = arrived;
        // Pictures the camera never made because its thread was still busy with the previous one.
        state.counters["device_missed"] =
            static_cast<double>(platform::VirtualCameraMissedPictures() - missed0);
        state.counters["generator_cpu_per_second"] = static_cast<double>(generator) / 1e9 / kSeconds;
        state.counters["queued"] = static_cast<double>(s.queued - before.queued);
        state.counters["collapsed"] = static_cast<double>(s.collapsed - before.collapsed);
        state.counters["lost"] = std::max(0.0, arrived - taken) +
                                 static_cast<double>(s.dropped - before.dropped) +
                                 static_cast<double>(s.skipped - before.skipped);
    }
}
BENCHMARK(BM_CameraRecording)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace vexa
