#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include <zlib.h>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/protected_format.h"
#include "net/scramble.h"
#include "tests/net/test_rsa_key_pair.h"

namespace vexa::net {
namespace {

using testing::PackReply;
using testing::TestRsaKeyPair;

constexpr std::string_view kNonce = "123456789012345";

std::string Unescape(std::string text) {
    for (auto [from, to] : {std::pair{"%2B", "+"}, {"%3D", "="}, {"%2F", "/"}}) {
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at))
            text.replace(at, 3, to);
    }
    return text;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

// Four bytes that, appended to `message`, leave its CRC-32 as it was: zlib's CRC register is run
// backwards from its value after the message, four table steps, through zlib's own table.
std::array<std::uint8_t, 4> CrcKeepingSuffix(std::span<const std::uint8_t> message) {
    const z_crc_t* table = get_crc_table();
    std::array<std::uint8_t, 256> entryWithTopByte{};
    for (int i = 0; i < 256; ++i) entryWithTopByte[table[i] >> 24] = std::uint8_t(i);
    const std::uint32_t registerAfter = ~std::uint32_t(crc32_z(0, message.data(), message.size()));
    std::uint32_t back = registerAfter;
    for (int step = 0; step < 4; ++step) {
        const std::uint8_t entry = entryWithTopByte[back >> 24];
        back = ((back ^ std::uint32_t(table[entry])) << 8) | entry;
    }
    back ^= registerAfter;
    return {std::uint8_t(back), std::uint8_t(back >> 8), std::uint8_t(back >> 16), std::uint8_t(back >> 24)};
}

class ProtectedFormat : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        serverKey_ = new TestRsaKeyPair();
        otherKey_ = new TestRsaKeyPair();
    }
    static void TearDownTestSuite() {
        delete serverKey_;
        delete otherKey_;
    }

    RsaPublicKey PublicKey() const { return RsaPublicKey::FromPem(serverKey_->PublicPem()).value(); }
    std::string Body(std::string_view json, std::string_view nonce = kNonce) const {
        return std::string(json) + R"({"nonce":")" + std::string(nonce) + R"("})";
    }
    vexa::Result<UnpackedReply> Unpack(const std::string& raw, std::uint32_t requestFlags = kFlagsWithReply) {
        auto key = PublicKey();
        return UnpackReply(raw, kNonce, requestFlags, &key);
    }

    static inline TestRsaKeyPair* serverKey_ = nullptr;
    static inline TestRsaKeyPair* otherKey_ = nullptr;
};

TEST(RequestText, AppendsTheNonceToTheQueryOrStandsAlone) {
    auto withQuery = SplitRequest("/client/queryversion?softid=1001&version=101&type=1", "42");
    ASSERT_TRUE(withQuery.ok());
    EXPECT_EQ(withQuery->path, "/client/queryversion");
    EXPECT_EQ(withQuery->queryText, "softid=1001&version=101&type=1&nonce=42");

    auto bare = SplitRequest("/client/ping", "42");
    ASSERT_TRUE(bare.ok());
    EXPECT_EQ(bare->path, "/client/ping");
    EXPECT_EQ(bare->queryText, "nonce=42");

    auto twoMarks = SplitRequest("/a?b=1?c", "7");
    ASSERT_TRUE(twoMarks.ok());
    EXPECT_EQ(twoMarks->path, "/a");
    EXPECT_EQ(twoMarks->queryText, "b=1?c&nonce=7");
}

TEST(RequestText, RefusesRequestsOf1024CharactersOrMore) {
    std::string request = "/p?" + std::string(1020, 'x');
    EXPECT_TRUE(SplitRequest(request, "1").ok());  // 1023 characters
    request += 'x';
    EXPECT_FALSE(SplitRequest(request, "1").ok());
    EXPECT_FALSE(BuildProtectedUrl(kFlagsReport, request, "1", nullptr).ok());
}

TEST_F(ProtectedFormat, RequestPacketCarriesFlagsRsaCrcAndScrambledText) {
    auto key = PublicKey();
    auto url = BuildProtectedUrl(kFlagsWithReply, "/client/queryversion?softid=7", kNonce, &key);
    ASSERT_TRUE(url.ok());
    const std::string prefix = "/client/queryversion?v_=";
    ASSERT_TRUE(url->starts_with(prefix));
    std::string encoded = url->substr(prefix.size());
    EXPECT_EQ(encoded.find_first_of("+/="), std::string::npos);

    auto packet = DecodeBase64(Unescape(encoded));
    ASSERT_TRUE(packet.ok());
    ASSERT_EQ(packet->size(), 4 + 128 + std::string("softid=7&nonce=").size() + kNonce.size());
    EXPECT_EQ(Le32(*packet, 0), 7u);
    std::vector<std::uint8_t> block(packet->begin() + 4, packet->begin() + 132);
    auto crc = serverKey_->Decrypt(block);
    ASSERT_EQ(crc.size(), 4u);
    std::vector<std::uint8_t> text(packet->begin() + 132, packet->end());
    ScrambleInPlace(text);
    EXPECT_EQ(std::string(text.begin(), text.end()), "softid=7&nonce=" + std::string(kNonce));
    EXPECT_EQ(Le32(crc, 0), Crc32(text));
}

TEST_F(ProtectedFormat, ReportPacketIsScrambledTextWithoutCheck) {
    auto url = BuildProtectedUrl(kFlagsReport, "/client/reportlog?type=6", "9", nullptr);
    ASSERT_TRUE(url.ok());
    auto packet = DecodeBase64(Unescape(url->substr(url->find("?v_=") + 4)));
    ASSERT_TRUE(packet.ok());
    EXPECT_EQ(Le32(*packet, 0), 1u);
    std::vector<std::uint8_t> text(packet->begin() + 4, packet->end());
    ScrambleInPlace(text);
    EXPECT_EQ(std::string(text.begin(), text.end()), "type=6&nonce=9");
}

TEST_F(ProtectedFormat, RsaRequestsNeedAUsableKey) {
    EXPECT_FALSE(BuildProtectedUrl(kFlagsWithReply, "/q?a=1", "1", nullptr).ok());
    EXPECT_TRUE(BuildProtectedUrl(kFlagCrc, "/q?a=1", "1", nullptr).ok());
    // Keys above 2048 bits are refused for requests.
    TestRsaKeyPair big(3072);
    auto bigKey = RsaPublicKey::FromPem(big.PublicPem());
    ASSERT_TRUE(bigKey.ok());
    EXPECT_FALSE(BuildProtectedUrl(kFlagsWithReply, "/q?a=1", "1", &*bigKey).ok());
}

TEST_F(ProtectedFormat, SignedReplyWithThisNonceIsVerifiedAndCutAtTheLastBrace) {
    auto reply = Unpack(PackReply(7, Body(R"({"status":"SUCCESS","version":3})"), *serverKey_));
    ASSERT_TRUE(reply.ok());
    EXPECT_TRUE(reply->verified);
    EXPECT_EQ(reply->text, R"({"status":"SUCCESS","version":3})");
}

TEST_F(ProtectedFormat, PlainFailedStatusPassesThroughUnverified) {
    const std::string raw = R"({"status":"FAILED","msg":"no"})";
    auto reply = Unpack(raw);
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply->text, raw);
    EXPECT_FALSE(reply->verified);
}

TEST_F(ProtectedFormat, AnotherNonceFailsUnlessTheBodyCarriesFailedStatus) {
    EXPECT_FALSE(Unpack(PackReply(7, Body(R"({"status":"SUCCESS"})", "999"), *serverKey_)).ok());
    auto failed = Unpack(PackReply(7, Body(R"({"status":"FAILED"})", "999"), *serverKey_));
    ASSERT_TRUE(failed.ok());
    EXPECT_FALSE(failed->verified);
    EXPECT_EQ(failed->text, R"({"status":"FAILED"})");
    // A nonce that merely starts like ours is another nonce.
    EXPECT_FALSE(Unpack(PackReply(7, Body("{}", std::string(kNonce) + "0"), *serverKey_)).ok());
}

TEST_F(ProtectedFormat, GenuineSignatureOverABodyWithFourAppendedBytesIsRefused) {
    // An attacker holding one genuine signed reply appends four bytes that give the longer body the
    // same CRC-32, so the signature still opens to a matching CRC. Bodies are tried until the four
    // bytes are ones the unpacker would otherwise let through (no NUL either side of the scramble,
    // no "{" that would move the nonce object).
    auto passable = [](std::uint8_t b) { return b != 0 && b != '{' && ScrambleByte(b) != 0; };
    int tried = 0;
    for (; tried < 100; ++tried) {
        const std::string body = Body(R"({"status":"SUCCESS","version":)" + std::to_string(tried) + "}");
        std::vector<std::uint8_t> forgedBody(body.begin(), body.end());
        const auto suffix = CrcKeepingSuffix(forgedBody);
        if (!std::ranges::all_of(suffix, passable)) continue;
        forgedBody.insert(forgedBody.end(), suffix.begin(), suffix.end());
        ASSERT_EQ(Crc32(forgedBody),
                  Crc32({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()}));

        auto packet = DecodeBase64(PackReply(7, body, *serverKey_)).value();
        for (std::uint8_t b : suffix) packet.push_back(ScrambleByte(b));
        auto forged = Unpack(EncodeBase64(packet));
        ASSERT_FALSE(forged.ok()) << "a forged reply passed as "
                                  << (forged.value().verified ? "verified" : "unverified");
        EXPECT_EQ(forged.error().code(), vexa::ErrorCode::kProtocol);
        EXPECT_NE(forged.error().message().find("does not end with a nonce object"), std::string::npos)
            << forged.error().message();
        break;
    }
    EXPECT_LT(tried, 100) << "no passable suffix found";
}

TEST_F(ProtectedFormat, ReplyWithoutNonceObjectFails) {
    EXPECT_FALSE(Unpack(PackReply(7, R"({"status":"SUCCESS"})", *serverKey_)).ok());
    EXPECT_FALSE(Unpack(PackReply(7, R"(status SUCCESS)", *serverKey_)).ok());
}

TEST_F(ProtectedFormat, ShortPacketsFail) {
    std::string full = PackReply(7, Body("{}"), *serverKey_);
    auto packet = DecodeBase64(full).value();
    packet.resize(131);
    EXPECT_EQ(Unpack(EncodeBase64(packet)).error().message(),
              "reply refused: signed packet of 131 bytes is too short");
    packet.resize(3);
    EXPECT_FALSE(Unpack(EncodeBase64(packet), kFlagsReport).ok());
    EXPECT_FALSE(Unpack(EncodeBase64(std::vector<std::uint8_t>{2, 0, 0, 0, 1, 2, 3}), kFlagsReport).ok());
}

TEST_F(ProtectedFormat, FlippedBodyByteFailsTheCrc) {
    auto packet =
        DecodeBase64(PackReply(7, Body(R"({"status":"SUCCESS","version":3})"), *serverKey_)).value();
    for (std::size_t at = 132; at < packet.size(); at += 7) {
        auto damaged = packet;
        damaged[at] ^= 0x10;
        const vexa::Error refused = Unpack(EncodeBase64(damaged)).error();
        EXPECT_EQ(refused.code(), vexa::ErrorCode::kProtocol) << "byte " << at;
        EXPECT_EQ(refused.message(), "reply refused: the body does not match its CRC-32") << "byte " << at;
    }
    auto plainCrc = DecodeBase64(PackReply(3, Body("{}"), *serverKey_)).value();
    plainCrc.back() ^= 1;
    EXPECT_FALSE(Unpack(EncodeBase64(plainCrc), kFlagCrc).ok());
}

TEST_F(ProtectedFormat, RepliesToSignedRequestsMustBeSigned) {
    const std::string body = Body(R"({"status":"SUCCESS","version":9})");
    EXPECT_EQ(Unpack(PackReply(0, body, *serverKey_)).error().message(), "reply refused: not signed");
    EXPECT_FALSE(Unpack(PackReply(1, body, *serverKey_)).ok());
    EXPECT_FALSE(Unpack(PackReply(3, body, *serverKey_)).ok());
    EXPECT_FALSE(Unpack(PackReply(7, body, *otherKey_)).ok());
    // Unsigned requests may take unsigned replies, but those never count as verified.
    auto plain = Unpack(PackReply(0, body, *serverKey_), kFlagsReport);
    ASSERT_TRUE(plain.ok());
    EXPECT_FALSE(plain->verified);
}

TEST_F(ProtectedFormat, NulInBodyOrNonBase64Fails) {
    std::string body = Body("{\"a\":\"x\"}");
    body[5] = '\0';
    EXPECT_FALSE(Unpack(PackReply(7, body, *serverKey_)).ok());  // NUL after unscrambling
    EXPECT_FALSE(Unpack(PackReply(6, body, *serverKey_)).ok());  // NUL on the wire
    EXPECT_FALSE(Unpack("<html>not found</html>").ok());
    EXPECT_FALSE(Unpack("").ok());
}

TEST_F(ProtectedFormat, PublicKeyReadsOnlyPemPublicKeys) {
    EXPECT_FALSE(RsaPublicKey::FromPem("").ok());
    EXPECT_FALSE(RsaPublicKey::FromPem("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n").ok());
    auto key = RsaPublicKey::FromPem(serverKey_->PublicPem());
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(key->BlockSize(), 128u);
    EXPECT_FALSE(key->Recover(std::vector<std::uint8_t>(127, 1)).ok());
}

}  // namespace
}  // namespace vexa::net
