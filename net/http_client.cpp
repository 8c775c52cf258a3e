#include "net/http_client.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <curl/curl.h>

#include "net/nonce.h"

namespace net {
namespace {

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

bool IsAbsolute(std::string_view url) {
    return url.starts_with("http://") || url.starts_with("https://");
}

std::size_t AppendBlock(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::vector<std::uint8_t>*>(user);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

int AbortWhenStopped(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::stop_token*>(user)->stop_requested() ? 1 : 0;
}

}  // namespace

void DebugPrintReply(std::string_view raw) {
    const char* debug = std::getenv("VEXA_NET_DEBUG");
    if (debug == nullptr || *debug == '\0') return;
    std::fprintf(stderr, "服务器返回的Base64数据:: \n%.*s\n", int(raw.size()), raw.data());
}

HttpClient::HttpClient(std::string baseUrl, std::optional<RsaPublicKey> serverKey, HttpTimeouts timeouts,
                       std::stop_token stop)
    : baseUrl_(std::move(baseUrl)),
      serverKey_(std::move(serverKey)),
      timeouts_(timeouts),
      stop_(std::move(stop)) {}

std::optional<std::vector<std::uint8_t>> HttpClient::Fetch(std::string_view url) const {
    if (stop_.stop_requested()) return std::nullopt;
    std::string fullUrl = IsAbsolute(url) ? std::string(url) : baseUrl_ + std::string(url);
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) return std::nullopt;

    std::vector<std::uint8_t> body;
    CURL* h = curl.get();
    bool configured =
        curl_easy_setopt(h, CURLOPT_URL, fullUrl.c_str()) == CURLE_OK &&
        // Nothing but web transfers, even if an address says otherwise.
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(timeouts_.connect.count())) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(timeouts_.total.count())) == CURLE_OK &&
        // Certificate checks are libcurl's defaults; set them anyway so they stay on.
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBlock) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &body) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, AbortWhenStopped) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop_) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    if (!configured || curl_easy_perform(h) != CURLE_OK) return std::nullopt;
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
        return std::nullopt;
    return body;
}

std::optional<std::string> HttpClient::FetchProtected(std::uint32_t flags, std::string_view request,
                                                      std::string_view nonce) const {
    auto url = BuildProtectedUrl(flags, request, nonce, serverKey_ ? &*serverKey_ : nullptr);
    if (!url) return std::nullopt;
    auto body = Fetch(*url);
    if (!body) return std::nullopt;
    std::string raw(body->begin(), body->end());
    DebugPrintReply(raw);
    return raw;
}

std::optional<UnpackedReply> HttpClient::Request(std::uint32_t flags, std::string_view request) const {
    const std::string nonce = MakeNonce();
    auto raw = FetchProtected(flags, request, nonce);
    if (!raw) return std::nullopt;
    return UnpackReply(*raw, nonce, flags, serverKey_ ? &*serverKey_ : nullptr);
}

bool HttpClient::Send(std::uint32_t flags, std::string_view request) const {
    return FetchProtected(flags, request, MakeNonce()).has_value();
}

}  // namespace net
