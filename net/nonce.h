// The per-request nonce: the millisecond tick count followed directly by a random number below
// 100000, both in decimal. Thread-safe: each call uses its own generator.
#pragma once

#include <string>

namespace vexa::net {

[[nodiscard]] std::string MakeNonce();

}  // namespace vexa::net
