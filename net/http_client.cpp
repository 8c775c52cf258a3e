#include "net/http_client.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <curl/curl.h>

#include "net/nonce.h"

namespace vexa::net {
namespace {

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

bool IsAbsolute(std::string_view url) {
    return url.starts_with("http://") || IsHttps(url);
}

// The address as a log names it: without its query, which carries the request packet.
std::string WithoutQuery(std::string_view url) {
    return std::string(url.substr(0, url.find('?')));
}

struct Body {
    std::vector<std::uint8_t> bytes;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t AppendBlock(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t length = size * count;
    if (length > body->maxBytes - body->bytes.size()) {
        body->tooLarge = true;
        return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    body->bytes.insert(body->bytes.end(), data, data + length);
    return length;
}

int AbortWhenStopped(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::stop_token*>(user)->stop_requested() ? 1 : 0;
}

vexa::ErrorCode CodeFor(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return vexa::ErrorCode::kTimeout;
        case CURLE_ABORTED_BY_CALLBACK:
            return vexa::ErrorCode::kCancelled;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return vexa::ErrorCode::kUnavailable;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return vexa::ErrorCode::kInvalidArgument;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return vexa::ErrorCode::kProtocol;
        case CURLE_OUT_OF_MEMORY:
            return vexa::ErrorCode::kInternal;
        default:
            return vexa::ErrorCode::kIo;
    }
}

}  // namespace

bool IsHttps(std::string_view url) {
    return url.starts_with("https://");
}

void DebugPrintReply(std::string_view raw) {
    const char* debug = std::getenv("VEXA_NET_DEBUG");
    if (debug == nullptr || *debug == '\0') return;
    std::fprintf(stderr, "服务器返回的Base64数据:: \n%.*s\n", int(raw.size()), raw.data());
}

HttpClient::HttpClient(std::string baseUrl, std::optional<RsaPublicKey> serverKey, HttpOptions options,
                       std::stop_token stop)
    : baseUrl_(std::move(baseUrl)),
      serverKey_(std::move(serverKey)),
      options_(std::move(options)),
      stop_(std::move(stop)) {}

std::string HttpClient::Resolve(std::string_view url) const {
    return IsAbsolute(url) ? std::string(url) : baseUrl_ + std::string(url);
}

vexa::Result<std::vector<std::uint8_t>> HttpClient::Fetch(std::string_view url, std::size_t maxBytes) const {
    const std::string fullUrl = Resolve(url);
    const std::string what = "GET " + WithoutQuery(fullUrl);
    if (stop_.stop_requested()) return vexa::Error(vexa::ErrorCode::kCancelled, what + ": stopped");
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) return vexa::Error(vexa::ErrorCode::kInternal, what + ": libcurl has no handle");

    Body body{{}, maxBytes, false};
    char reason[CURL_ERROR_SIZE] = "";
    CURL* h = curl.get();
    bool configured =
        curl_easy_setopt(h, CURLOPT_URL, fullUrl.c_str()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, reason) == CURLE_OK &&
        // Nothing but web transfers, even if an address says otherwise.
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(options_.connect.count())) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(options_.total.count())) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, options_.lowSpeedBytes) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(options_.lowSpeedTime.count())) == CURLE_OK &&
        // A body announced as too large is refused before it arrives; AppendBlock stops the rest.
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes)) == CURLE_OK &&
        // Certificate checks are libcurl's defaults; set them anyway so they stay on.
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        (options_.caFile.empty() ||
         curl_easy_setopt(h, CURLOPT_CAINFO, options_.caFile.c_str()) == CURLE_OK) &&
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBlock) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &body) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, AbortWhenStopped) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop_) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    if (!configured) return vexa::Error(vexa::ErrorCode::kInternal, what + ": libcurl refused an option");

    const CURLcode result = curl_easy_perform(h);
    if (body.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        return vexa::Error(vexa::ErrorCode::kProtocol,
                           what + ": the reply is larger than " + std::to_string(maxBytes) + " bytes");
    }
    if (result != CURLE_OK) {
        return vexa::Error(CodeFor(result), what + ": " + (*reason ? reason : curl_easy_strerror(result)),
                           std::uint32_t(result));
    }
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
        return vexa::Error(vexa::ErrorCode::kProtocol, what + ": HTTP status " + std::to_string(status),
                           std::uint32_t(status));
    }
    return std::move(body.bytes);
}

vexa::Result<std::string> HttpClient::FetchProtected(std::uint32_t flags, std::string_view request,
                                                     std::string_view nonce) const {
    auto url = BuildProtectedUrl(flags, request, nonce, serverKey_ ? &*serverKey_ : nullptr);
    if (!url.ok()) return url.error();
    auto body = Fetch(*url, kMaxReplyBytes);
    if (!body.ok()) return body.error();
    std::string raw(body->begin(), body->end());
    DebugPrintReply(raw);
    return raw;
}

vexa::Result<UnpackedReply> HttpClient::Request(std::uint32_t flags, std::string_view request) const {
    const std::string nonce = MakeNonce();
    auto raw = FetchProtected(flags, request, nonce);
    if (!raw.ok()) return raw.error();
    auto reply = UnpackReply(*raw, nonce, flags, serverKey_ ? &*serverKey_ : nullptr);
    if (!reply.ok()) return reply.error().Within(WithoutQuery(request));
    return reply;
}

vexa::Error HttpClient::Send(std::uint32_t flags, std::string_view request) const {
    return FetchProtected(flags, request, MakeNonce()).error();
}

}  // namespace vexa::net
