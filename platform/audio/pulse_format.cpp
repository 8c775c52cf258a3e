#include "platform/audio/pulse_format.h"

#include <bit>
#include <iterator>

namespace vexa::platform {
namespace {

// Wave-format speaker bits in bit order and the matching PulseAudio positions.
constexpr pa_channel_position_t kPositionOfBit[] = {
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
};

uint64_t BitOfPosition(pa_channel_position_t p) {
    if (p == PA_CHANNEL_POSITION_MONO) p = PA_CHANNEL_POSITION_FRONT_CENTER;
    for (size_t i = 0; i < std::size(kPositionOfBit); ++i) {
        if (kPositionOfBit[i] == p) return uint64_t{1} << i;
    }
    return 0;
}

pa_channel_map UsualMap(int channels) {
    pa_channel_map map;
    pa_channel_map_init_extend(&map, static_cast<unsigned>(channels), PA_CHANNEL_MAP_WAVEEX);
    return map;
}

uint64_t MaskOfMap(const pa_channel_map& map) {
    uint64_t mask = 0;
    for (unsigned i = 0; i < map.channels; ++i) {
        const uint64_t bit = BitOfPosition(map.map[i]);
        if (bit == 0 || (mask & bit)) return 0;
        mask |= bit;
    }
    return mask;
}

}  // namespace

uint64_t ChannelMaskOf(const pa_channel_map& map) {
    const uint64_t mask = MaskOfMap(map);
    return mask ? mask : MaskOfMap(UsualMap(map.channels));
}

pa_channel_map ChannelMapOf(const AudioFormat& format) {
    if (format.channel_mask == 0 || std::popcount(format.channel_mask) != format.channels ||
        format.channel_mask >> std::size(kPositionOfBit)) {
        return UsualMap(format.channels);
    }
    pa_channel_map map;
    pa_channel_map_init(&map);
    map.channels = static_cast<uint8_t>(format.channels);
    unsigned n = 0;
    for (size_t bit = 0; bit < std::size(kPositionOfBit); ++bit) {
        if (format.channel_mask & (uint64_t{1} << bit)) map.map[n++] = kPositionOfBit[bit];
    }
    return map;
}

AudioFormat FormatOfDevice(const pa_sample_spec& spec, const pa_channel_map& map) {
    AudioFormat f;
    f.channels = spec.channels;
    f.rate = static_cast<int>(spec.rate);
    f.channel_mask = ChannelMaskOf(map);
    switch (spec.format) {
        case PA_SAMPLE_U8:
            f.bits = 8;
            break;
        case PA_SAMPLE_S16NE:
            f.bits = 16;
            break;
        case PA_SAMPLE_S24NE:
        case PA_SAMPLE_S24_32NE:
            f.bits = 24;
            break;
        case PA_SAMPLE_S32NE:
            f.bits = 32;
            break;
        default:
            f.type = SampleType::kFloat;
            f.bits = 32;
            break;
    }
    return f;
}

std::optional<pa_sample_spec> SampleSpecOf(const AudioFormat& format) {
    pa_sample_spec spec{};
    spec.rate = static_cast<uint32_t>(format.rate);
    spec.channels = static_cast<uint8_t>(format.channels);
    if (format.type == SampleType::kFloat) {
        if (format.bits != 32) return std::nullopt;
        spec.format = PA_SAMPLE_FLOAT32NE;
    } else {
        switch (format.bits) {
            case 8:
                spec.format = PA_SAMPLE_U8;
                break;
            case 16:
                spec.format = PA_SAMPLE_S16NE;
                break;
            case 24:
                spec.format = PA_SAMPLE_S24NE;
                break;
            case 32:
                spec.format = PA_SAMPLE_S32NE;
                break;
            default:
                return std::nullopt;
        }
    }
    if (format.channels < 1 || format.channels > static_cast<int>(PA_CHANNELS_MAX) ||
        !pa_sample_spec_valid(&spec)) {
        return std::nullopt;
    }
    return spec;
}

}  // namespace vexa::platform
