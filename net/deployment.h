// Deployment values: the server base address and the server's RSA public key. Both are fixed when the
// program is built (cmake -DVEXA_SERVER_BASE_URL=... -DVEXA_SERVER_PUBLIC_KEY_FILE=...); the key is
// kept enciphered in the binary and deciphered when read. When VEXA_NET_ENV_OVERRIDE is on, the
// environment variables VEXA_SERVER_BASE_URL and VEXA_SERVER_PUBLIC_KEY_FILE (a PEM file) replace them,
// which is how the tests point the program at their own server. Thread-safe (reads only).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace net {

struct Deployment {
    std::string baseUrl;       // no trailing "/"; empty: no server configured, nothing is ever sent
    std::string publicKeyPem;  // empty when none was built in
};

[[nodiscard]] Deployment LoadDeployment();

// The reversible transform between the PEM text and its stored form (the same call does both ways).
[[nodiscard]] std::string DecipherStoredKey(std::span<const std::uint8_t> stored);

}  // namespace net
