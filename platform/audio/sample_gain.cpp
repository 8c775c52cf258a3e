#include "platform/audio/sample_gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace vexa::platform {
namespace {

template <typename T>
void ScaleTyped(const uint8_t* in, uint8_t* out, size_t count, double gain) {
    for (size_t i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, in + i * sizeof(T), sizeof(T));
        const double scaled = static_cast<double>(v) * gain;
        T result;
        if constexpr (std::is_integral_v<T>) {
            // Compared as doubles so that the 64-bit limits, which doubles round up, never overflow.
            constexpr T kMin = std::numeric_limits<T>::min(), kMax = std::numeric_limits<T>::max();
            const double rounded = std::nearbyint(scaled);
            result = rounded >= static_cast<double>(kMax)   ? kMax
                     : rounded <= static_cast<double>(kMin) ? kMin
                                                            : static_cast<T>(rounded);
        } else {
            result = static_cast<T>(scaled);
        }
        std::memcpy(out + i * sizeof(T), &result, sizeof(T));
    }
}

void ScaleUnsigned8(const uint8_t* in, uint8_t* out, size_t count, double gain) {
    for (size_t i = 0; i < count; ++i) {
        const double centred = (in[i] - 128.0) * gain;
        out[i] = static_cast<uint8_t>(std::clamp(std::nearbyint(centred), -128.0, 127.0) + 128.0);
    }
}

void ScalePacked24(const uint8_t* in, uint8_t* out, size_t count, double gain) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = in + 3 * i;
        int32_t v =
            static_cast<int32_t>(static_cast<uint32_t>(s[0]) << 8 | static_cast<uint32_t>(s[1]) << 16 |
                                 static_cast<uint32_t>(s[2]) << 24) >>
            8;
        v = static_cast<int32_t>(std::clamp(std::nearbyint(v * gain), -8388608.0, 8388607.0));
        out[3 * i] = static_cast<uint8_t>(v);
        out[3 * i + 1] = static_cast<uint8_t>(v >> 8);
        out[3 * i + 2] = static_cast<uint8_t>(v >> 16);
    }
}

}  // namespace

void ScaleSamples(const AudioFormat& format, const uint8_t* in, uint8_t* out, uint32_t frames, float gain) {
    const size_t count = size_t{frames} * static_cast<size_t>(format.channels);
    const double g = gain;
    if (format.type == SampleType::kFloat) {
        if (format.bits == 64) {
            ScaleTyped<double>(in, out, count, g);
        } else {
            ScaleTyped<float>(in, out, count, g);
        }
        return;
    }
    switch (format.bits) {
        case 8:
            ScaleUnsigned8(in, out, count, g);
            break;
        case 16:
            ScaleTyped<int16_t>(in, out, count, g);
            break;
        case 24:
            ScalePacked24(in, out, count, g);
            break;
        case 32:
            ScaleTyped<int32_t>(in, out, count, g);
            break;
        case 64:
            ScaleTyped<int64_t>(in, out, count, g);
            break;
        default:
            std::memmove(out, in, count * static_cast<size_t>(format.bits / 8));
            break;
    }
}

}  // namespace vexa::platform
