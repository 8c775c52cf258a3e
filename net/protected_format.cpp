#include "net/protected_format.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/query_escape.h"
#include "net/scramble.h"

namespace vexa::net {
namespace {

constexpr std::string_view kFailedStatus = R"("status":"FAILED")";
constexpr std::string_view kNonceObjectStart = R"({"nonce":")";
constexpr std::string_view kNonceObjectEnd = R"("})";
constexpr std::size_t kMaxKeyBytes = 256;

using Bytes = std::vector<std::uint8_t>;

vexa::Error Refused(const std::string& why) {
    return vexa::Error(vexa::ErrorCode::kProtocol, "reply refused: " + why);
}

vexa::Error Unbuildable(const std::string& why) {
    return vexa::Error(vexa::ErrorCode::kInvalidArgument, "cannot build the request: " + why);
}

void AppendLe32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(value >> shift));
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// The check field of a request: RSA block, plain CRC or nothing.
vexa::Result<Bytes> MakeCheckField(std::uint32_t flags, std::uint32_t crc, const RsaPublicKey* key) {
    Bytes crcBytes;
    AppendLe32(crcBytes, crc);
    if (flags & kFlagRsaCrc) {
        if (key == nullptr) return Unbuildable("no server key");
        if (key->BlockSize() > kMaxKeyBytes) return Unbuildable("the server key is larger than 2048 bits");
        return key->Encrypt(crcBytes);
    }
    if (flags & kFlagCrc) return crcBytes;
    return Bytes{};
}

// The CRC carried by a reply packet, and where its body starts.
struct ReplyCheck {
    std::optional<std::uint32_t> crc;
    std::size_t bodyOffset = 4;
};

vexa::Result<ReplyCheck> ReadReplyCheck(const Bytes& packet, std::uint32_t flags, const RsaPublicKey* key) {
    if (flags & kFlagRsaCrc) {
        if (key == nullptr) return Refused("signed, but there is no server key");
        if (packet.size() < 4 + key->BlockSize())
            return Refused("signed packet of " + std::to_string(packet.size()) + " bytes is too short");
        auto crc = key->Recover(std::span(packet).subspan(4, key->BlockSize()));
        if (!crc.ok()) return Refused(crc.error().message());
        if (crc->size() != 4) return Refused("the signature does not hold a CRC-32");
        return ReplyCheck{ReadLe32(crc->data()), 4 + key->BlockSize()};
    }
    if (flags & kFlagCrc) {
        if (packet.size() < 8) return Refused("packet is too short for its CRC-32");
        return ReplyCheck{ReadLe32(packet.data() + 4), 8};
    }
    return ReplyCheck{};
}

// The reply text ahead of the nonce object that ends the body, and whether that object names `nonce`.
// The object must end the body: bytes after it are not the server's, since four bytes of an attacker's
// choice can give any body the CRC-32 that a genuine signature vouches for.
struct NonceSplit {
    std::string_view text;
    bool nonceMatches = false;
};

vexa::Result<NonceSplit> SplitAtNonceObject(std::string_view body, std::string_view nonce) {
    const auto lastBrace = body.rfind('{');
    if (lastBrace == std::string_view::npos) return Refused("no nonce object");
    const std::string_view tail = body.substr(lastBrace);
    if (!tail.starts_with(kNonceObjectStart) || !tail.ends_with(kNonceObjectEnd) ||
        tail.size() < kNonceObjectStart.size() + kNonceObjectEnd.size()) {
        return Refused("the body does not end with a nonce object");
    }
    const std::string_view named = tail.substr(
        kNonceObjectStart.size(), tail.size() - kNonceObjectStart.size() - kNonceObjectEnd.size());
    return NonceSplit{body.substr(0, lastBrace), named == nonce};
}

}  // namespace

vexa::Result<RequestParts> SplitRequest(std::string_view request, std::string_view nonce) {
    if (request.size() > kMaxRequestLength) {
        return Unbuildable("request of " + std::to_string(request.size()) + " characters is too long");
    }
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
    if (parts.queryText.size() > kMaxQueryTextLength) return Unbuildable("query text is too long");
    return parts;
}

vexa::Result<std::string> BuildProtectedUrl(std::uint32_t flags, std::string_view request,
                                            std::string_view nonce, const RsaPublicKey* key) {
    auto parts = SplitRequest(request, nonce);
    if (!parts.ok()) return parts.error();
    Bytes text(parts->queryText.begin(), parts->queryText.end());
    auto check = MakeCheckField(flags, Crc32(text), key);
    if (!check.ok()) return check.error();
    if (flags & kFlagScrambled) ScrambleInPlace(text);

    Bytes packet;
    packet.reserve(4 + check->size() + text.size());
    AppendLe32(packet, flags);
    packet.insert(packet.end(), check->begin(), check->end());
    packet.insert(packet.end(), text.begin(), text.end());

    std::string url = parts->path + "?v_=" + EscapeQueryValue(EncodeBase64(packet));
    if (url.size() > kMaxUrlLength) return Unbuildable("URL is too long");
    return url;
}

vexa::Result<UnpackedReply> UnpackReply(std::string_view raw, std::string_view nonce,
                                        std::uint32_t requestFlags, const RsaPublicKey* key) {
    if (raw.find(kFailedStatus) != std::string_view::npos) return UnpackedReply{std::string(raw), false};

    auto packet = DecodeBase64(raw);
    if (!packet.ok()) return Refused(packet.error().message());
    if (packet->size() < 4) return Refused("packet is too short for its flags");
    const std::uint32_t flags = ReadLe32(packet->data());
    // A reply must be at least as well protected as the request asked for: otherwise anyone on the
    // path could answer in the clear.
    if ((requestFlags & kFlagRsaCrc) && !(flags & kFlagRsaCrc)) return Refused("not signed");
    auto check = ReadReplyCheck(*packet, flags, key);
    if (!check.ok()) return check.error();

    std::span<std::uint8_t> bodyBytes = std::span(*packet).subspan(check->bodyOffset);
    auto holdsNul = [&] { return std::ranges::find(bodyBytes, std::uint8_t{0}) != bodyBytes.end(); };
    if (holdsNul()) return Refused("the body holds a NUL byte");
    if (flags & kFlagScrambled) ScrambleInPlace(bodyBytes);
    if (holdsNul()) return Refused("the body holds a NUL byte");  // the reply text is handed on as text
    if (check->crc && Crc32(bodyBytes) != *check->crc) return Refused("the body does not match its CRC-32");

    std::string_view body(reinterpret_cast<const char*>(bodyBytes.data()), bodyBytes.size());
    auto split = SplitAtNonceObject(body, nonce);
    if (!split.ok()) return split.error();
    const bool failedStatus = body.find(kFailedStatus) != std::string_view::npos;
    if (!split->nonceMatches && !failedStatus) return Refused("it echoes another request's nonce");

    const bool verified = (flags & kFlagRsaCrc) && split->nonceMatches && !failedStatus;
    return UnpackedReply{std::string(split->text), verified};
}

}  // namespace vexa::net
