#include "engine/audio/encoder_choice.h"

#include <bit>
#include <cstdlib>
#include <vector>

namespace vexa::engine {

std::optional<AVSampleFormat> ChooseSampleFormat(const AVCodec& codec) {
    static constexpr AVSampleFormat kPreference[] = {
        AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_FLTP,
        AV_SAMPLE_FMT_DBL, AV_SAMPLE_FMT_S64, AV_SAMPLE_FMT_DBLP, AV_SAMPLE_FMT_S64P,
        AV_SAMPLE_FMT_U8,  AV_SAMPLE_FMT_U8P, AV_SAMPLE_FMT_S16,  AV_SAMPLE_FMT_S16P,
    };
    if (!codec.sample_fmts) return AV_SAMPLE_FMT_S16;
    for (AVSampleFormat wanted : kPreference) {
        for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == wanted) return wanted;
        }
    }
    return std::nullopt;
}

std::optional<int> ChooseSampleRate(const AVCodec& codec) {
    if (!codec.supported_samplerates) return 44100;
    std::optional<int> best;
    for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
        if (!best || *r > *best) best = *r;  // nearest to 0x3FFFFFFF
    }
    return best;
}

uint64_t ChooseLayout(std::span<const uint64_t> layouts, uint64_t request) {
    const int wanted = std::popcount(request);
    uint64_t choice = 0;
    for (uint64_t candidate : layouts) {
        if (candidate == request) return candidate;
        const int have = std::popcount(choice);
        const int cand = std::popcount(candidate);
        const bool nearer = std::abs(cand - wanted) < std::abs(have - wanted);
        if ((have < wanted && (cand >= wanted || nearer)) || (have >= wanted && cand >= wanted && nearer)) {
            choice = candidate;
        }
    }
    return choice;
}

uint64_t ChooseEncoderLayout(const AVCodec& codec, uint64_t request) {
    if (!codec.ch_layouts) return AV_CH_LAYOUT_STEREO;
    std::vector<uint64_t> masks;
    for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0; ++l) {
        if (l->order == AV_CHANNEL_ORDER_NATIVE) masks.push_back(l->u.mask);
    }
    return ChooseLayout(masks, request);
}

}  // namespace vexa::engine
