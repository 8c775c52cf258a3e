// Standard Base64 (RFC 4648 alphabet with "=" padding), the encoding of request and reply packets,
// done by OpenSSL. Pure functions: thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexa::net {

[[nodiscard]] std::string EncodeBase64(std::span<const std::uint8_t> bytes);

// Fails on characters outside the alphabet, misplaced padding or a length that is not a multiple of 4.
// Line breaks and spaces (which some servers append) are skipped.
[[nodiscard]] vexa::Result<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace vexa::net
