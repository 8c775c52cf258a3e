#include "engine/recording_params.h"

#include <algorithm>
#include <charconv>

namespace vexa::engine {
namespace {

int ClampSlider(int q) {
    return std::clamp(q, 1, 100);
}

// Piecewise-linear mapping: each row starts at base for q ≥ from and adds (q − from) × step / span.
struct RateRow {
    int from;
    int64_t base;
    int64_t step;
    int64_t span;
};

int64_t MapRate(int q, const RateRow (&rows)[4]) {
    q = ClampSlider(q);
    const RateRow* row = &rows[0];
    for (const RateRow& r : rows) {
        if (q >= r.from) row = &r;
    }
    return row->base + (q - row->from) * row->step / row->span;
}

}  // namespace

int VideoQualityIndex(int slider) {
    return (101 - ClampSlider(slider)) * 51 / 100;
}

int FramesPerSecondFromText(std::string_view text) {
    int fps = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), fps);
    if (ec != std::errc{} || end != text.data() + text.size() || fps < 1 || fps > 60) return 24;
    return fps;
}

int64_t AudioBitRateA(int slider) {
    // The first row counts from 0: 8192 + q × 176128 / 70.
    static constexpr RateRow rows[4] = {
        {0, 8192, 176128, 70}, {70, 184320, 71680, 10}, {80, 256000, 102400, 10}, {90, 358400, 153600, 10}};
    return MapRate(slider, rows);
}

int64_t AudioBitRateB(int slider) {
    static constexpr RateRow rows[4] = {
        {0, 49152, 360448, 70}, {70, 409600, 102400, 10}, {80, 512000, 204800, 10}, {90, 716800, 331776, 10}};
    return MapRate(slider, rows);
}

BitRateTriple AudioRateTriple(int64_t bit_rate) {
    return BitRateTriple{bit_rate, 0, bit_rate};
}

uint8_t ClampVolume(int slider) {
    return static_cast<uint8_t>(std::clamp(slider, 0, 100));
}

}  // namespace vexa::engine
