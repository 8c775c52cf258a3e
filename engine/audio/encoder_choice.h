// How the sound encoder's sample format, rate and channel layout are chosen from what the encoder
// lists. Pure functions over the lists; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vexa::engine {

// The first of S32, FLT, S32P, FLTP, DBL, S64, DBLP, S64P, U8, U8P, S16, S16P that the encoder lists;
// S16 when it lists none; empty when its list holds none of them.
[[nodiscard]] std::optional<AVSampleFormat> ChooseSampleFormat(const AVCodec& codec);
// The highest listed rate (the earlier on a tie); 44100 when it lists none; empty for an empty list.
[[nodiscard]] std::optional<int> ChooseSampleRate(const AVCodec& codec);

// Picks from layouts (speaker masks, in the encoder's order) the one for request: an equal layout wins
// at once; otherwise a candidate replaces the choice when the choice has fewer channels than
// requested and the candidate has at least as many or is strictly nearer in count, or when both have
// at least as many and the candidate is strictly nearer. 0 for an empty list.
[[nodiscard]] uint64_t ChooseLayout(std::span<const uint64_t> layouts, uint64_t request);
// The encoder's layout for the request: stereo when it lists none, 0 when its list is empty.
[[nodiscard]] uint64_t ChooseEncoderLayout(const AVCodec& codec, uint64_t request);

}  // namespace vexa::engine
