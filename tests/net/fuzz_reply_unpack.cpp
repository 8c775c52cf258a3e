// libFuzzer target for the reply unpacker. The first input byte picks how the rest reaches it:
// as raw reply text, Base64-encoded as a packet (so the packet parser sees every byte), or as a body
// packed and signed with the test key (so the nonce and brace handling see arbitrary text). Whatever
// unpacks goes on to the version reply reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/base64.h"
#include "net/protected_format.h"
#include "net/update_check.h"
#include "tests/net/test_rsa_key_pair.h"

namespace {

constexpr std::string_view kNonce = "4242424299999";

struct Keys {
    vexa::net::testing::TestRsaKeyPair pair{512};  // small key: signing each input stays cheap
    vexa::net::RsaPublicKey publicKey = vexa::net::RsaPublicKey::FromPem(pair.PublicPem()).value();
};

const Keys& TheKeys() {
    static const Keys keys;
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Keys& keys = TheKeys();
    const std::uint8_t mode = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::uint32_t requestFlags = (mode & 0x80) ? vexa::net::kFlagsWithReply : vexa::net::kFlagsReport;

    std::string raw;
    switch (mode % 3) {
        case 0:
            raw = std::string(rest);
            break;
        case 1:
            raw = vexa::net::EncodeBase64({data + 1, size - 1});
            break;
        default:
            raw = vexa::net::testing::PackReply((mode >> 2) & 7, rest, keys.pair);
            break;
    }
    auto reply = vexa::net::UnpackReply(raw, kNonce, requestFlags, &keys.publicKey);
    if (!reply.ok()) return 0;
    if (reply->verified && reply->text.size() >= raw.size() + 1) __builtin_trap();  // text grew
    // What the update check reads next: JSON from the same bytes must never throw.
    (void)vexa::net::ParseVersionReply(reply->text);
    return 0;
}
