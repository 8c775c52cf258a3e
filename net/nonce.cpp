#include "net/nonce.h"

#include <chrono>
#include <random>

namespace vexa::net {

std::string MakeNonce() {
    using namespace std::chrono;
    auto ticks = std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    // Seeded per call, so threads never share generator state.
    std::mt19937 generator(std::random_device{}() ^ ticks);
    std::uniform_int_distribution<std::uint32_t> below100000(0, 99999);
    return std::to_string(ticks) + std::to_string(below100000(generator));
}

}  // namespace vexa::net
