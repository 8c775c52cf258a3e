#include "net/base64.h"

#include <climits>

#include <openssl/evp.h>

namespace vexa::net {
namespace {

bool IsSkipped(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

vexa::Error NotBase64(std::string_view why) {
    return vexa::Error(vexa::ErrorCode::kProtocol, "not Base64 text: " + std::string(why));
}

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    std::string out((bytes.size() + 2) / 3 * 4 + 1, '\0');  // EVP_EncodeBlock adds a NUL
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(), int(bytes.size()));
    out.resize(std::size_t(length));
    return out;
}

vexa::Result<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!IsSkipped(c)) compact += c;
    }
    if (compact.size() % 4 != 0) return NotBase64("length is not a multiple of 4");
    if (compact.size() > std::size_t(INT_MAX)) return NotBase64("too long");
    // OpenSSL reads "=" as a zero digit wherever it stands: padding may only be the last one or two
    // characters, and their bytes are dropped from what OpenSSL returns.
    const std::size_t padding = compact.ends_with("==") ? 2 : compact.ends_with('=') ? 1 : 0;
    if (compact.find('=') < compact.size() - padding) return NotBase64("misplaced padding");

    std::vector<std::uint8_t> out(compact.size() / 4 * 3);
    const int length = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(compact.data()),
                                       int(compact.size()));
    if (length < 0) return NotBase64("character outside the alphabet");
    out.resize(std::size_t(length) - padding);
    return out;
}

}  // namespace vexa::net
