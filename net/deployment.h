// Deployment values: the server base address and the server's RSA public key. Both are fixed when the
// program is built (cmake -DVEXA_SERVER_BASE_URL=... -DVEXA_SERVER_PUBLIC_KEY_FILE=...); the key is
// kept enciphered in the binary and deciphered when read. Builds with the test seams
// (-DVEXA_TEST_SEAMS=ON, which the presets set and a plain build does not) also read the environment
// variables VEXA_SERVER_BASE_URL, VEXA_SERVER_PUBLIC_KEY_FILE (a PEM file) and VEXA_SERVER_CA_FILE
// (certificates to trust), which is how the tests point the program at their own server; other builds
// contain no code that reads them. Thread-safe (reads only).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/error.h"

namespace vexa::net {

struct Deployment {
    std::string baseUrl;           // no trailing "/"; empty: no server configured, nothing is ever sent
    std::string publicKeyPem;      // empty when none was built in
    std::filesystem::path caFile;  // empty: the system's certificates
};

// Fails only when a key file named by the environment cannot be read.
[[nodiscard]] vexa::Result<Deployment> LoadDeployment();

// The reversible transform between the PEM text and its stored form (the same call does both ways).
[[nodiscard]] std::string DecipherStoredKey(std::span<const std::uint8_t> stored);

}  // namespace vexa::net
