// Standard Base64 (RFC 4648 alphabet with "=" padding) and the escaping that lets Base64 text travel
// as one query parameter value. Pure functions: thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace net {

[[nodiscard]] std::string EncodeBase64(std::span<const std::uint8_t> bytes);

// Fails on characters outside the alphabet, misplaced padding or a length that is not a multiple of 4.
// Line breaks and spaces (which some servers append) are skipped.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

// Replaces "+", "=" and "/" with "%2B", "%3D" and "%2F".
[[nodiscard]] std::string EscapeBase64ForQuery(std::string_view base64);

}  // namespace net
