#include <gtest/gtest.h>

#include <string>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/protected_format.h"
#include "net/scramble.h"
#include "tests/net/test_rsa_key_pair.h"

namespace net {
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

    RsaPublicKey PublicKey() const { return *RsaPublicKey::FromPem(serverKey_->PublicPem()); }
    std::string Body(std::string_view json, std::string_view nonce = kNonce) const {
        return std::string(json) + R"({"nonce":")" + std::string(nonce) + R"("})";
    }
    std::optional<UnpackedReply> Unpack(const std::string& raw,
                                        std::uint32_t requestFlags = kFlagsWithReply) {
        auto key = PublicKey();
        return UnpackReply(raw, kNonce, requestFlags, &key);
    }

    static inline TestRsaKeyPair* serverKey_ = nullptr;
    static inline TestRsaKeyPair* otherKey_ = nullptr;
};

TEST(RequestText, AppendsTheNonceToTheQueryOrStandsAlone) {
    auto withQuery = SplitRequest("/client/queryversion?softid=1001&version=101&type=1", "42");
    ASSERT_TRUE(withQuery);
    EXPECT_EQ(withQuery->path, "/client/queryversion");
    EXPECT_EQ(withQuery->queryText, "softid=1001&version=101&type=1&nonce=42");

    auto bare = SplitRequest("/client/ping", "42");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->path, "/client/ping");
    EXPECT_EQ(bare->queryText, "nonce=42");

    auto twoMarks = SplitRequest("/a?b=1?c", "7");
    ASSERT_TRUE(twoMarks);
    EXPECT_EQ(twoMarks->path, "/a");
    EXPECT_EQ(twoMarks->queryText, "b=1?c&nonce=7");
}

TEST(RequestText, RefusesRequestsOf1024CharactersOrMore) {
    std::string request = "/p?" + std::string(1020, 'x');
    EXPECT_TRUE(SplitRequest(request, "1").has_value());  // 1023 characters
    request += 'x';
    EXPECT_FALSE(SplitRequest(request, "1").has_value());
    EXPECT_FALSE(BuildProtectedUrl(kFlagsReport, request, "1", nullptr).has_value());
}

TEST_F(ProtectedFormat, RequestPacketCarriesFlagsRsaCrcAndScrambledText) {
    auto key = PublicKey();
    auto url = BuildProtectedUrl(kFlagsWithReply, "/client/queryversion?softid=7", kNonce, &key);
    ASSERT_TRUE(url);
    const std::string prefix = "/client/queryversion?v_=";
    ASSERT_TRUE(url->starts_with(prefix));
    std::string encoded = url->substr(prefix.size());
    EXPECT_EQ(encoded.find_first_of("+/="), std::string::npos);

    auto packet = DecodeBase64(Unescape(encoded));
    ASSERT_TRUE(packet);
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
    ASSERT_TRUE(url);
    auto packet = DecodeBase64(Unescape(url->substr(url->find("?v_=") + 4)));
    ASSERT_TRUE(packet);
    EXPECT_EQ(Le32(*packet, 0), 1u);
    std::vector<std::uint8_t> text(packet->begin() + 4, packet->end());
    ScrambleInPlace(text);
    EXPECT_EQ(std::string(text.begin(), text.end()), "type=6&nonce=9");
}

TEST_F(ProtectedFormat, RsaRequestsNeedAUsableKey) {
    EXPECT_FALSE(BuildProtectedUrl(kFlagsWithReply, "/q?a=1", "1", nullptr).has_value());
    EXPECT_TRUE(BuildProtectedUrl(kFlagCrc, "/q?a=1", "1", nullptr).has_value());
    // Keys above 2048 bits are refused for requests.
    TestRsaKeyPair big(3072);
    auto bigKey = RsaPublicKey::FromPem(big.PublicPem());
    ASSERT_TRUE(bigKey);
    EXPECT_FALSE(BuildProtectedUrl(kFlagsWithReply, "/q?a=1", "1", &*bigKey).has_value());
}

TEST_F(ProtectedFormat, SignedReplyWithThisNonceIsVerifiedAndCutAtTheLastBrace) {
    auto reply = Unpack(PackReply(7, Body(R"({"status":"SUCCESS","version":3})"), *serverKey_));
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->verified);
    EXPECT_EQ(reply->text, R"({"status":"SUCCESS","version":3})");
}

TEST_F(ProtectedFormat, PlainFailedStatusPassesThroughUnverified) {
    const std::string raw = R"({"status":"FAILED","msg":"no"})";
    auto reply = Unpack(raw);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->text, raw);
    EXPECT_FALSE(reply->verified);
}

TEST_F(ProtectedFormat, AnotherNonceFailsUnlessTheBodyCarriesFailedStatus) {
    EXPECT_FALSE(Unpack(PackReply(7, Body(R"({"status":"SUCCESS"})", "999"), *serverKey_)));
    auto failed = Unpack(PackReply(7, Body(R"({"status":"FAILED"})", "999"), *serverKey_));
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->verified);
    EXPECT_EQ(failed->text, R"({"status":"FAILED"})");
    // A nonce that merely starts like ours is another nonce.
    EXPECT_FALSE(Unpack(PackReply(7, Body("{}", std::string(kNonce) + "0"), *serverKey_)));
}

TEST_F(ProtectedFormat, ReplyWithoutNonceObjectFails) {
    EXPECT_FALSE(Unpack(PackReply(7, R"({"status":"SUCCESS"})", *serverKey_)));
    EXPECT_FALSE(Unpack(PackReply(7, R"(status SUCCESS)", *serverKey_)));
}

TEST_F(ProtectedFormat, ShortPacketsFail) {
    std::string full = PackReply(7, Body("{}"), *serverKey_);
    auto packet = *DecodeBase64(full);
    packet.resize(131);
    EXPECT_FALSE(Unpack(EncodeBase64(packet)));
    packet.resize(3);
    EXPECT_FALSE(Unpack(EncodeBase64(packet), kFlagsReport));
    EXPECT_FALSE(Unpack(EncodeBase64(std::vector<std::uint8_t>{2, 0, 0, 0, 1, 2, 3}), kFlagsReport));
}

TEST_F(ProtectedFormat, FlippedBodyByteFailsTheCrc) {
    auto packet = *DecodeBase64(PackReply(7, Body(R"({"status":"SUCCESS","version":3})"), *serverKey_));
    for (std::size_t at = 132; at < packet.size(); at += 7) {
        auto damaged = packet;
        damaged[at] ^= 0x10;
        EXPECT_FALSE(Unpack(EncodeBase64(damaged))) << "byte " << at;
    }
    auto plainCrc = *DecodeBase64(PackReply(3, Body("{}"), *serverKey_));
    plainCrc.back() ^= 1;
    EXPECT_FALSE(Unpack(EncodeBase64(plainCrc), kFlagCrc));
}

TEST_F(ProtectedFormat, RepliesToSignedRequestsMustBeSigned) {
    const std::string body = Body(R"({"status":"SUCCESS","version":9})");
    EXPECT_FALSE(Unpack(PackReply(0, body, *serverKey_)));
    EXPECT_FALSE(Unpack(PackReply(1, body, *serverKey_)));
    EXPECT_FALSE(Unpack(PackReply(3, body, *serverKey_)));
    EXPECT_FALSE(Unpack(PackReply(7, body, *otherKey_)));
    // Unsigned requests may take unsigned replies, but those never count as verified.
    auto plain = Unpack(PackReply(0, body, *serverKey_), kFlagsReport);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->verified);
}

TEST_F(ProtectedFormat, NulInBodyOrNonBase64Fails) {
    std::string body = Body("{\"a\":\"x\"}");
    body[5] = '\0';
    EXPECT_FALSE(Unpack(PackReply(7, body, *serverKey_)));  // NUL after unscrambling
    EXPECT_FALSE(Unpack(PackReply(6, body, *serverKey_)));  // NUL on the wire
    EXPECT_FALSE(Unpack("<html>not found</html>"));
    EXPECT_FALSE(Unpack(""));
}

TEST_F(ProtectedFormat, PublicKeyReadsOnlyPemPublicKeys) {
    EXPECT_FALSE(RsaPublicKey::FromPem("").has_value());
    EXPECT_FALSE(RsaPublicKey::FromPem("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n"));
    auto key = RsaPublicKey::FromPem(serverKey_->PublicPem());
    ASSERT_TRUE(key);
    EXPECT_EQ(key->BlockSize(), 128u);
    EXPECT_FALSE(key->Recover(std::vector<std::uint8_t>(127, 1)).has_value());
}

}  // namespace
}  // namespace net
