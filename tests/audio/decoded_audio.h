// Reads the sound track of a recorded file back: codec, rate, duration and the samples as one
// channel of floats (the channels averaged), and measures a tone in them. For tests and benchmarks.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace vexa::engine::testing {

struct DecodedAudio {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int sample_rate = 0;
    int channels = 0;
    double duration = 0;         // seconds, from the stream's packets
    std::vector<float> samples;  // mono, at sample_rate
};

// Empty codec (AV_CODEC_ID_NONE) when the file has no sound track or cannot be read.
[[nodiscard]] DecodedAudio DecodeAudioTrack(const std::string& path);

// Amplitude of the sinusoid at frequency in samples[from, from + count) (Goertzel).
[[nodiscard]] double ToneAmplitude(const std::vector<float>& samples, size_t from, size_t count,
                                   double frequency, int rate);
// Root mean square of samples[from, from + count).
[[nodiscard]] double Rms(const std::vector<float>& samples, size_t from, size_t count);

}  // namespace vexa::engine::testing
