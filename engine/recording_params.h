// Plain recording parameters and the rules that turn the panels' slider and combo values into
// encoder settings. Pure functions; thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

namespace vexa::engine {

enum class RecordingMode : int { kScreen = 0, kSoundOnly = 1, kCamera = 2 };

// Region rectangle of the primary screen with right and bottom inclusive; the whole screen is
// (0, 0, W − 1, H − 1).
struct RegionRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Capture rectangle handed to the screen stream: right and bottom exclusive (the region + 1).
struct CaptureRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The region's right and bottom + 1, computed in 64 bits: a region reaching INT_MAX keeps INT_MAX
// (the screen stream clamps the rectangle to the screen).
[[nodiscard]] constexpr CaptureRect ToCaptureRect(const RegionRect& r) {
    auto past = [](int inclusive) {
        return static_cast<int>(std::min<int64_t>(int64_t{inclusive} + 1, std::numeric_limits<int>::max()));
    };
    return CaptureRect{r.left, r.top, past(r.right), past(r.bottom)};
}

struct BitRateTriple {
    int64_t bit_rate = 0;
    int64_t min_rate = 0;
    int64_t max_rate = 0;
};

// The video callers' constant triple.
inline constexpr BitRateTriple kVideoBitRate{67108864, 0, 0};

// One chosen sound endpoint; arrays end with an entry whose endpoint_id and row are null.
struct SoundSourceEntry {
    uint8_t kind = 0;                   // 0 speaker (system sound by loopback), 1 microphone
    uint8_t volume = 0;                 // 0..100
    const char* endpoint_id = nullptr;  // the device list's identifier (UTF-8)
    const void* row = nullptr;          // the panel row it came from
    const char* name = nullptr;         // the device's name as its list shows it (null: the identifier)
};

// Quality slider value (clamped to 1..100) → quality index (101 − q) × 51 / 100, 0..50.
[[nodiscard]] int VideoQualityIndex(int slider);

// Text of the selected frame-rate item → frames per second: 1..60, else 24 (also for no item).
[[nodiscard]] int FramesPerSecondFromText(std::string_view text);

// Audio quality slider (clamped to 1..100) → bit rate in bits per second.
[[nodiscard]] int64_t AudioBitRateA(int slider);  // screen and camera modes
[[nodiscard]] int64_t AudioBitRateB(int slider);  // sound-only mode
// (bit rate, 0, bit rate)
[[nodiscard]] BitRateTriple AudioRateTriple(int64_t bit_rate);

// Volume slider value → the entry's volume (larger values are stored as 100, smaller as 0).
[[nodiscard]] uint8_t ClampVolume(int slider);

}  // namespace vexa::engine
