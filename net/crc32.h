// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value all ones, final complement),
// the checksum of the protected request format and of the updater file, computed by zlib.
// Pure function: thread-safe.
#pragma once

#include <cstdint>
#include <span>

#include <zlib.h>

namespace vexa::net {

// Continues a running CRC: pass the previous result as `crc` to checksum data that arrives in pieces.
[[nodiscard]] inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) {
    // zlib answers 0 for a null buffer whatever the running value, so an empty piece is skipped here.
    if (bytes.empty()) return crc;
    return std::uint32_t(crc32_z(crc, bytes.data(), bytes.size()));
}

}  // namespace vexa::net
