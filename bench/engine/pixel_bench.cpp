// The screen path's pixel loops at 1920×1080: comparing two frames (equal, so the whole buffer is
// read: the still-screen case) and copying a crop rectangle.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/screen/frame_compare.h"
#include "engine/screen/rect_copy.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr size_t kBytes = size_t{kWidth} * kHeight * 4;

template <vexa::engine::FrameCompareFn Fn>
void CompareEqualFrames(benchmark::State& state) {
    std::vector<uint8_t> a(kBytes, 0x5A), b(kBytes, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(Fn(a.data(), b.data(), kBytes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes) * 2);
}
BENCHMARK(CompareEqualFrames<vexa::engine::CompareBytes>)->Name("compare_1080p/memcmp");
BENCHMARK(CompareEqualFrames<vexa::engine::CompareSse2>)->Name("compare_1080p/sse2");

void CompareAvx2(benchmark::State& state) {
    if (!vexa::engine::CpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    CompareEqualFrames<vexa::engine::CompareAvx2>(state);
}
BENCHMARK(CompareAvx2)->Name("compare_1080p/avx2");

void CopyRegion(benchmark::State& state) {
    std::vector<uint8_t> screen(kBytes, 1), crop(size_t{1366} * 768 * 4);
    const vexa::engine::ConstPixelBuffer src{screen.data(), kWidth, kHeight, false};
    const vexa::engine::PixelBuffer dst{crop.data(), 1366, 768, state.range(0) != 0};
    for (auto _ : state) {
        vexa::engine::CopyRect(dst, 0, 0, src, 100, 50, 1366, 768);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1366 * 768 * 4);
}
BENCHMARK(CopyRegion)->Arg(0)->Arg(1)->ArgName("bottom_up");

}  // namespace

BENCHMARK_MAIN();
