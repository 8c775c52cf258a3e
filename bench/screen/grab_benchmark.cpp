// Cost of the X11 backend's calls on the capture thread's hot path: a whole 1920×1080 grab (one
// per captured frame), a smaller crop, a cursor read, and 100 ms waits for damage on a still screen. Run on a
// display of that size, e.g. `bash tools/with-test-env.sh build/<dir>/bench/screen/bench_screen_grab`.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/screen/screen_backend.h"

namespace vexa::platform {
namespace {

std::unique_ptr<ScreenBackend>& Backend() {
    static std::unique_ptr<ScreenBackend> backend;
    return backend;
}

void GrabCrop(benchmark::State& state, CaptureMethod method, const ScreenRect& crop) {
    ScreenBackend& backend = *Backend();
    if (!backend.Open(method).ok()) {
        state.SkipWithError("the capture method cannot be set up on this display");
        return;
    }
    if (crop.right > backend.Width() || crop.bottom > backend.Height()) {
        state.SkipWithError("the screen is smaller than the crop");
        return;
    }
    const int width = crop.right - crop.left;
    std::vector<uint8_t> frame(static_cast<size_t>(width) * (crop.bottom - crop.top) * 4);
    for (auto _ : state) {
        if (!backend.Grab(crop, frame.data(), width * 4)) {
            state.SkipWithError("Grab failed");
            return;
        }
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

void BM_GrabWholeScreen(benchmark::State& state) {
    GrabCrop(state, static_cast<CaptureMethod>(state.range(0)), ScreenRect{0, 0, 1920, 1080});
}
BENCHMARK(BM_GrabWholeScreen)
    ->Arg(static_cast<int>(CaptureMethod::kPolling))
    ->Arg(static_cast<int>(CaptureMethod::kDamage))
    ->Unit(benchmark::kMillisecond);

// The whole screen grabbed straight into shared pixels (the server writes the frame itself, no copy
// out of its segment): against BM_GrabWholeScreen/2, the copy this saves.
void BM_GrabWholeScreenShared(benchmark::State& state) {
    ScreenBackend& backend = *Backend();
    if (!backend.Open(CaptureMethod::kDamage).ok()) {
        state.SkipWithError("damage cannot be set up on this display");
        return;
    }
    const ScreenRect whole{0, 0, 1920, 1080};
    std::unique_ptr<SharedPixels> shared = backend.CreateSharedPixels(size_t{1920} * 1080 * 4);
    if (!shared || backend.Width() < 1920 || backend.Height() < 1080) {
        state.SkipWithError("no shared pixels on this display");
        return;
    }
    for (auto _ : state) {
        if (!backend.Grab(whole, shared->Data(), 1920 * 4)) {
            state.SkipWithError("Grab failed");
            return;
        }
        benchmark::DoNotOptimize(shared->Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1920 * 1080 * 4);
}
BENCHMARK(BM_GrabWholeScreenShared)->Unit(benchmark::kMillisecond);

void BM_GrabCrop1280x720(benchmark::State& state) {
    GrabCrop(state, CaptureMethod::kDamage, ScreenRect{311, 177, 1591, 897});
}
BENCHMARK(BM_GrabCrop1280x720)->Unit(benchmark::kMillisecond);

// What waiting costs while nothing changes: the wake-ups that ask for the pointer's position.
void BM_WaitForDamageOnStillScreen(benchmark::State& state) {
    ScreenBackend& backend = *Backend();
    Event interrupt;
    if (!backend.Open(CaptureMethod::kDamage).ok()) {
        state.SkipWithError("damage cannot be set up on this display");
        return;
    }
    int updates = 0;
    for (auto _ : state) {
        if (backend.WaitForDamage(1'000'000, interrupt).kind != DamageReport::Kind::kTimeout) ++updates;
    }
    state.counters["updates"] = updates;
}
BENCHMARK(BM_WaitForDamageOnStillScreen)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_ReadCursor(benchmark::State& state) {
    ScreenBackend& backend = *Backend();
    CursorImage cursor;
    for (auto _ : state) {
        if (!backend.ReadCursor(cursor)) {
            state.SkipWithError("ReadCursor failed");
            return;
        }
        benchmark::DoNotOptimize(cursor.argb.data());
    }
}
BENCHMARK(BM_ReadCursor)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vexa::platform

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
        auto opened = vexa::platform::CreateX11ScreenBackend(display);
        if (opened.ok()) vexa::platform::Backend() = std::move(opened).value();
    }
    if (!vexa::platform::Backend()) {
        std::puts("bench_screen_grab: no X display; skipped");
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vexa::platform::Backend().reset();
    return 0;
}
