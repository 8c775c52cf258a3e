// Software volume for captured sound: scales interleaved samples of any capture format by a linear
// gain, clipping integer samples at their limits. Pure function; thread-safe.
#pragma once

#include <cstdint>

#include "platform/audio/audio_system.h"

namespace vexa::platform {

// Writes frames × format.BlockAlign() bytes to out: the samples of in scaled by gain (in and out may
// be the same buffer). 8-bit samples are unsigned around 128; 24-bit samples are packed little-endian.
void ScaleSamples(const AudioFormat& format, const uint8_t* in, uint8_t* out, uint32_t frames, float gain);

}  // namespace vexa::platform
