// The protected request format: a server path with its query becomes "<path>?v_=<packet>", where the
// packet (flags, check field, query text) travels Base64-encoded; replies come back in the same layout
// and are checked and unpacked here. Pure functions over their arguments: thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/rsa_public_key.h"
#include "platform/error.h"

namespace vexa::net {

// Bits of the 32-bit little-endian flags word that starts every packet.
inline constexpr std::uint32_t kFlagScrambled = 1;  // text bytes scrambled
inline constexpr std::uint32_t kFlagCrc = 2;        // CRC-32 of the text follows the flags
inline constexpr std::uint32_t kFlagRsaCrc = 4;     // the CRC travels as an RSA block instead

inline constexpr std::uint32_t kFlagsWithReply = kFlagScrambled | kFlagCrc | kFlagRsaCrc;
inline constexpr std::uint32_t kFlagsReport = kFlagScrambled;

inline constexpr std::size_t kMaxRequestLength = 1023;  // request texts of 1024 characters are refused
inline constexpr std::size_t kMaxQueryTextLength = 2047;
inline constexpr std::size_t kMaxUrlLength = 5124;  // a URL must stay below 5125 characters

struct RequestParts {
    std::string path;       // the request up to its first "?"
    std::string queryText;  // the query after "?" and "&nonce=<nonce>", or "nonce=<nonce>" alone
};

[[nodiscard]] vexa::Result<RequestParts> SplitRequest(std::string_view request, std::string_view nonce);

// Builds "<path>?v_=<escaped Base64 packet>". `key` is needed only when flags carry kFlagRsaCrc.
[[nodiscard]] vexa::Result<std::string> BuildProtectedUrl(std::uint32_t flags, std::string_view request,
                                                          std::string_view nonce, const RsaPublicKey* key);

struct UnpackedReply {
    std::string text;
    // True only for a reply whose CRC came RSA-protected and whose body ends with this request's
    // nonce object. The RSA block covers a CRC-32, which anyone can match with bytes of their own, so
    // "verified" proves little on a path that an attacker controls: only a reply that also came over
    // https may steer what the program downloads and runs (update_check.h). A `"status":"FAILED"`
    // reply passed through unchecked is never verified.
    bool verified = false;
};

// Checks and unpacks the raw reply to a request sent with `requestFlags` and `nonce`. A request that
// asked for the RSA check only accepts replies that carry it. The nonce object must end the body.
[[nodiscard]] vexa::Result<UnpackedReply> UnpackReply(std::string_view raw, std::string_view nonce,
                                                      std::uint32_t requestFlags, const RsaPublicKey* key);

}  // namespace vexa::net
