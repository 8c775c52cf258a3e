// Percent-encoding of one query parameter value, done by libcurl: every byte except the unreserved
// characters (A-Z a-z 0-9 - . _ ~) becomes "%XX", so a value can never add a parameter ("&"), end
// the value ("=") or change a Base64 packet ("+", "/"). Needs no network library initialisation.
// Pure function: thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace vexa::net {

[[nodiscard]] std::string EscapeQueryValue(std::string_view value);

}  // namespace vexa::net
