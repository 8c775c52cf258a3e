#include "net/deployment.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/deployment_values.h"

namespace vexa::net {
namespace {

std::string StripTrailingSlash(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

#if VEXA_TEST_SEAMS
vexa::Result<std::string> ReadTextFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return vexa::Error::FromErrno(errno, std::string("cannot read server key file ") + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The test seam: the environment replaces the built-in values.
vexa::Error ApplyEnvironment(Deployment& deployment) {
    if (const char* url = std::getenv("VEXA_SERVER_BASE_URL")) deployment.baseUrl = StripTrailingSlash(url);
    if (const char* keyFile = std::getenv("VEXA_SERVER_PUBLIC_KEY_FILE")) {
        auto pem = ReadTextFile(keyFile);
        if (!pem.ok()) return pem.error();
        deployment.publicKeyPem = std::move(*pem);
    }
    if (const char* caFile = std::getenv("VEXA_SERVER_CA_FILE")) deployment.caFile = caFile;
    return {};
}
#endif

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

vexa::Result<Deployment> LoadDeployment() {
    Deployment deployment{StripTrailingSlash(kBuiltInBaseUrl), DecipherStoredKey(kBuiltInStoredKey), {}};
#if VEXA_TEST_SEAMS
    if (vexa::Error error = ApplyEnvironment(deployment); !error.ok()) return error;
#endif
    return deployment;
}

}  // namespace vexa::net
