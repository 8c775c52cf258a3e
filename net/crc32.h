// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value all ones, final complement),
// the checksum of the protected request format and of the updater file. Pure functions: thread-safe.
#pragma once

#include <cstdint>
#include <span>

namespace net {

// Continues a running CRC: pass the previous result as `crc` to checksum data that arrives in pieces.
[[nodiscard]] std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace net
