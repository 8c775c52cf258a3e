// The screen path's pixel loops at 1920×1080: comparing two frames (equal, so the whole buffer is
// read: the still-screen case), copying a crop rectangle, and converting a picture to 4:2:0.
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

// BGRA to 4:2:0 of a whole 1080p picture: swscale as the encoder path used it (bicubic), and the
// libyuv path that replaced it where no scaling is needed.
extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}
#include "engine/screen/picture_convert.h"

namespace {

std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> p(kBytes);
    for (size_t i = 0; i < kBytes; ++i) p[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    return p;
}

void ConvertSwscale(benchmark::State& state) {
    const std::vector<uint8_t> src = Pattern();
    SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGRA, kWidth, kHeight, AV_PIX_FMT_YUV420P,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    std::vector<uint8_t> y(size_t{kWidth} * kHeight), u(y.size() / 4), v(y.size() / 4);
    uint8_t* dst[4] = {y.data(), u.data(), v.data(), nullptr};
    const int dst_lines[4] = {kWidth, kWidth / 2, kWidth / 2, 0};
    const uint8_t* planes[1] = {src.data()};
    const int lines[1] = {kWidth * 4};
    for (auto _ : state) {
        sws_scale(sws, planes, lines, 0, kHeight, dst, dst_lines);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
}
BENCHMARK(ConvertSwscale)->Name("bgra_to_i420_1080p/swscale_bicubic")->Unit(benchmark::kMillisecond);

void ConvertLibyuv(benchmark::State& state) {
    const std::vector<uint8_t> src = Pattern();
    std::vector<uint8_t> y(size_t{kWidth} * kHeight), u(y.size() / 4), v(y.size() / 4);
    const vexa::engine::I420Planes dst{y.data(), kWidth, u.data(), kWidth / 2, v.data(), kWidth / 2};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            vexa::engine::BgraToI420Rows(src.data(), kWidth * 4, kWidth, kHeight, 0, kHeight, dst));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ConvertLibyuv)->Name("bgra_to_i420_1080p/libyuv")->Unit(benchmark::kMillisecond);

// What the screen source does for one 200 × 40 change (a clock): the changed block converted into the
// canvas, and the canvas copied into the frame handed to the encoder.
void ConvertClockBlock(benchmark::State& state) {
    const std::vector<uint8_t> src = Pattern();
    vexa::engine::Picture canvas, frame;
    if (!canvas.Allocate(vexa::engine::PictureFormat::kI420, kWidth, kHeight) ||
        !frame.Allocate(vexa::engine::PictureFormat::kI420, kWidth, kHeight)) {
        state.SkipWithError("no memory");
        return;
    }
    const uint8_t* block = src.data() + (size_t{1030} * kWidth + 1700) * 4;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            vexa::engine::ConvertBgraBlock(block, kWidth * 4, canvas.View(), 1700, 1030, 200, 40));
        frame.CopyFrom(canvas);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ConvertClockBlock)
    ->Name("changed_block_200x40_1080p/convert_and_copy_canvas")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
