// The HTTP client of the online services: plain GET downloads and protected requests to the server.
// An HttpClient holds only the base address, the server key and its time-outs; every call makes and
// frees its own transfer handle, so one client may serve several threads at once. Calls block, so they
// belong on worker threads; a stop token passed at construction aborts transfers in flight.
// The network library must be initialised first (NetworkLibrary).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/protected_format.h"
#include "net/rsa_public_key.h"

namespace net {

struct HttpTimeouts {
    std::chrono::milliseconds connect{1'500'000};
    std::chrono::milliseconds total{1'500'000};
};

class HttpClient {
  public:
    HttpClient(std::string baseUrl, std::optional<RsaPublicKey> serverKey, HttpTimeouts timeouts = {},
               std::stop_token stop = {});

    // GET of `url`, or of the base address followed by `url` unless it starts with "http://" or
    // "https://". Succeeds only when the transfer completes with HTTP status 200.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> Fetch(std::string_view url) const;

    // A protected request whose reply is checked and unpacked.
    [[nodiscard]] std::optional<UnpackedReply> Request(std::uint32_t flags, std::string_view request) const;

    // A protected request whose reply is ignored; true when the transfer succeeded.
    [[nodiscard]] bool Send(std::uint32_t flags, std::string_view request) const;

    [[nodiscard]] std::string_view BaseUrl() const { return baseUrl_; }

  private:
    [[nodiscard]] std::optional<std::string> FetchProtected(std::uint32_t flags, std::string_view request,
                                                            std::string_view nonce) const;

    std::string baseUrl_;
    std::optional<RsaPublicKey> serverKey_;
    HttpTimeouts timeouts_;
    std::stop_token stop_;
};

// Writes "服务器返回的Base64数据:: \n" and the raw reply to standard error when the environment variable
// VEXA_NET_DEBUG is set to a non-empty value.
void DebugPrintReply(std::string_view raw);

}  // namespace net
