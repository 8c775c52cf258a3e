#include "net/protected_format.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/scramble.h"

namespace net {
namespace {

constexpr std::string_view kFailedStatus = R"("status":"FAILED")";
constexpr std::string_view kNonceObjectStart = R"({"nonce":")";
constexpr std::size_t kMaxKeyBytes = 256;

using Bytes = std::vector<std::uint8_t>;

void AppendLe32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(value >> shift));
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// The check field of a request: RSA block, plain CRC or nothing.
std::optional<Bytes> MakeCheckField(std::uint32_t flags, std::uint32_t crc, const RsaPublicKey* key) {
    Bytes crcBytes;
    AppendLe32(crcBytes, crc);
    if (flags & kFlagRsaCrc) {
        if (key == nullptr || key->BlockSize() > kMaxKeyBytes) return std::nullopt;
        return key->Encrypt(crcBytes);
    }
    if (flags & kFlagCrc) return crcBytes;
    return Bytes{};
}

// The CRC carried by a reply packet, and where its body starts; nullopt when the packet is too short
// or the RSA block does not open to four bytes.
struct ReplyCheck {
    std::optional<std::uint32_t> crc;
    std::size_t bodyOffset = 4;
};

std::optional<ReplyCheck> ReadReplyCheck(const Bytes& packet, std::uint32_t flags, const RsaPublicKey* key) {
    if (flags & kFlagRsaCrc) {
        if (key == nullptr || packet.size() < 4 + key->BlockSize()) return std::nullopt;
        auto crc = key->Recover(std::span(packet).subspan(4, key->BlockSize()));
        if (!crc || crc->size() != 4) return std::nullopt;
        return ReplyCheck{ReadLe32(crc->data()), 4 + key->BlockSize()};
    }
    if (flags & kFlagCrc) {
        if (packet.size() < 8) return std::nullopt;
        return ReplyCheck{ReadLe32(packet.data() + 4), 8};
    }
    return ReplyCheck{};
}

}  // namespace

std::optional<RequestParts> SplitRequest(std::string_view request, std::string_view nonce) {
    if (request.size() > kMaxRequestLength) return std::nullopt;
    RequestParts parts;
    std::string nonceParameter = "nonce=" + std::string(nonce);
    auto question = request.find('?');
    if (question == std::string_view::npos) {
        parts.path = std::string(request);
        parts.queryText = nonceParameter;
    } else {
        parts.path = std::string(request.substr(0, question));
        parts.queryText = std::string(request.substr(question + 1)) + "&" + nonceParameter;
    }
    if (parts.queryText.size() > kMaxQueryTextLength) return std::nullopt;
    return parts;
}

std::optional<std::string> BuildProtectedUrl(std::uint32_t flags, std::string_view request,
                                             std::string_view nonce, const RsaPublicKey* key) {
    auto parts = SplitRequest(request, nonce);
    if (!parts) return std::nullopt;
    Bytes text(parts->queryText.begin(), parts->queryText.end());
    auto check = MakeCheckField(flags, Crc32(text), key);
    if (!check) return std::nullopt;
    if (flags & kFlagScrambled) ScrambleInPlace(text);

    Bytes packet;
    packet.reserve(4 + check->size() + text.size());
    AppendLe32(packet, flags);
    packet.insert(packet.end(), check->begin(), check->end());
    packet.insert(packet.end(), text.begin(), text.end());

    std::string url = parts->path + "?v_=" + EscapeBase64ForQuery(EncodeBase64(packet));
    if (url.size() > kMaxUrlLength) return std::nullopt;
    return url;
}

std::optional<UnpackedReply> UnpackReply(std::string_view raw, std::string_view nonce,
                                         std::uint32_t requestFlags, const RsaPublicKey* key) {
    if (raw.find(kFailedStatus) != std::string_view::npos) return UnpackedReply{std::string(raw), false};

    auto packet = DecodeBase64(raw);
    if (!packet || packet->size() < 4) return std::nullopt;
    const std::uint32_t flags = ReadLe32(packet->data());
    // A reply must be at least as well protected as the request asked for: otherwise anyone on the
    // path could answer in the clear.
    if ((requestFlags & kFlagRsaCrc) && !(flags & kFlagRsaCrc)) return std::nullopt;
    auto check = ReadReplyCheck(*packet, flags, key);
    if (!check) return std::nullopt;

    std::span<std::uint8_t> bodyBytes = std::span(*packet).subspan(check->bodyOffset);
    auto holdsNul = [&] { return std::ranges::find(bodyBytes, std::uint8_t{0}) != bodyBytes.end(); };
    if (holdsNul()) return std::nullopt;
    if (flags & kFlagScrambled) ScrambleInPlace(bodyBytes);
    if (holdsNul()) return std::nullopt;  // the reply text is handed on as text
    if (check->crc && Crc32(bodyBytes) != *check->crc) return std::nullopt;

    std::string_view body(reinterpret_cast<const char*>(bodyBytes.data()), bodyBytes.size());
    auto lastBrace = body.rfind('{');
    if (lastBrace == std::string_view::npos) return std::nullopt;
    std::string_view tail = body.substr(lastBrace);
    if (tail.find(kNonceObjectStart) == std::string_view::npos) return std::nullopt;
    const bool failedStatus = body.find(kFailedStatus) != std::string_view::npos;
    const bool nonceMatches =
        tail.find(std::string(kNonceObjectStart) + std::string(nonce) + "\"}") != std::string_view::npos;
    if (!nonceMatches && !failedStatus) return std::nullopt;

    const bool verified = (flags & kFlagRsaCrc) && nonceMatches && !failedStatus;
    return UnpackedReply{std::string(body.substr(0, lastBrace)), verified};
}

}  // namespace net
