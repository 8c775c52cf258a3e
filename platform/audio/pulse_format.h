// Conversions between AudioFormat and PulseAudio's sample spec and channel map. Pure functions;
// thread-safe.
#pragma once

#include <pulse/pulseaudio.h>

#include <optional>

#include "platform/audio/audio_system.h"

namespace vexa::platform {

// The speaker mask of a channel map: each position's bit. When a position has no bit or appears
// twice, the usual mask for the channel count (wave-format order) instead.
[[nodiscard]] uint64_t ChannelMaskOf(const pa_channel_map& map);
// The channel map of a format: its mask's positions in ascending bit order; the usual map for the
// channel count when the mask is 0 or does not match the count.
[[nodiscard]] pa_channel_map ChannelMapOf(const AudioFormat& format);
// What the device delivers without conversion. 24-bit devices (packed or in 32-bit words) report
// 24-bit PCM; encodings without an AudioFormat (A-law, big-endian, ...) report 32-bit float, which the
// server converts to.
[[nodiscard]] AudioFormat FormatOfDevice(const pa_sample_spec& spec, const pa_channel_map& map);
// The stream spec for a format; empty when the server has no such sample type (64-bit, 24-bit float).
[[nodiscard]] std::optional<pa_sample_spec> SampleSpecOf(const AudioFormat& format);

}  // namespace vexa::platform
