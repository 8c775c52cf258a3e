// The HTTP client of the online services: plain GET downloads and protected requests to the server.
// An HttpClient holds only the base address, the server key and its options; every call makes and
// frees its own transfer handle, so one client may serve several threads at once. Calls block, so they
// belong on worker threads; a stop token passed at construction aborts transfers in flight.
// The network library must be initialised first (NetworkLibrary).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/protected_format.h"
#include "net/rsa_public_key.h"
#include "platform/error.h"

namespace vexa::net {

struct HttpOptions {
    std::chrono::milliseconds connect{1'500'000};
    std::chrono::milliseconds total{1'500'000};
    // A transfer that moves fewer than lowSpeedBytes per second for lowSpeedTime is abandoned, so a
    // stalled server does not hold the thread for the whole total time-out.
    long lowSpeedBytes = 100;
    std::chrono::seconds lowSpeedTime{60};
    // Certificates to trust for https instead of the system's; empty: the system's.
    std::filesystem::path caFile{};
};

// The largest raw reply a protected request accepts.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{1} << 20;

class HttpClient {
  public:
    HttpClient(std::string baseUrl, std::optional<RsaPublicKey> serverKey, HttpOptions options = {},
               std::stop_token stop = {});

    // The address Fetch uses for `url`: `url` itself when it starts with "http://" or "https://",
    // else the base address followed by `url`.
    [[nodiscard]] std::string Resolve(std::string_view url) const;

    // GET of Resolve(url), limited to http and https, certificates checked, redirects not followed.
    // Succeeds only when the transfer completes with HTTP status 200 and at most maxBytes of body.
    [[nodiscard]] vexa::Result<std::vector<std::uint8_t>> Fetch(std::string_view url,
                                                                std::size_t maxBytes) const;

    // A protected request whose reply is checked and unpacked.
    [[nodiscard]] vexa::Result<UnpackedReply> Request(std::uint32_t flags, std::string_view request) const;

    // A protected request whose reply is ignored; fails when the transfer does.
    [[nodiscard]] vexa::Error Send(std::uint32_t flags, std::string_view request) const;

    [[nodiscard]] std::string_view BaseUrl() const { return baseUrl_; }

  private:
    [[nodiscard]] vexa::Result<std::string> FetchProtected(std::uint32_t flags, std::string_view request,
                                                           std::string_view nonce) const;

    std::string baseUrl_;
    std::optional<RsaPublicKey> serverKey_;
    HttpOptions options_;
    std::stop_token stop_;
};

// True for an address that starts with "https://" (in lower case, as Resolve expects it).
[[nodiscard]] bool IsHttps(std::string_view url);

// Writes "服务器返回的Base64数据:: \n" and the raw reply to standard error when the environment variable
// VEXA_NET_DEBUG is set to a non-empty value.
void DebugPrintReply(std::string_view raw);

}  // namespace vexa::net
