// The byte scrambling of the protected format: each byte becomes its complement with the two nibbles
// swapped. Applying it twice gives back the original bytes. Pure function: thread-safe.
#pragma once

#include <cstdint>
#include <span>

namespace vexa::net {

constexpr std::uint8_t ScrambleByte(std::uint8_t b) {
    auto inverted = std::uint8_t(~b);
    return std::uint8_t((inverted << 4) | (inverted >> 4));
}

inline void ScrambleInPlace(std::span<std::uint8_t> bytes) {
    for (auto& b : bytes) b = ScrambleByte(b);
}

}  // namespace vexa::net
