#include "net/deployment.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/deployment_values.h"

namespace net {
namespace {

std::string StripTrailingSlash(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

std::string ReadTextFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string DecipherStoredKey(std::span<const std::uint8_t> stored) {
    // Keystream of a 32-bit linear congruential generator; the build writes the key through the same
    // stream (net/CMakeLists.txt), so changing one side means changing the other.
    std::string text(stored.size(), '\0');
    std::uint32_t state = 0x5EED1234u;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        state = state * 1103515245u + 12345u;
        text[i] = char(stored[i] ^ std::uint8_t(state >> 16));
    }
    return text;
}

Deployment LoadDeployment() {
    Deployment deployment{StripTrailingSlash(kBuiltInBaseUrl), DecipherStoredKey(kBuiltInStoredKey)};
    if constexpr (kEnvironmentOverride) {
        if (const char* url = std::getenv("VEXA_SERVER_BASE_URL"))
            deployment.baseUrl = StripTrailingSlash(url);
        if (const char* keyFile = std::getenv("VEXA_SERVER_PUBLIC_KEY_FILE")) {
            deployment.publicKeyPem = ReadTextFile(keyFile);
        }
    }
    return deployment;
}

}  // namespace net
