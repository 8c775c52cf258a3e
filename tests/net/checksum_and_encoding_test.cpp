#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/query_escape.h"
#include "net/scramble.h"

namespace vexa::net {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Crc32, MatchesKnownVectors) {
    EXPECT_EQ(Crc32(Bytes("")), 0u);
    EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32(Bytes("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
    EXPECT_EQ(Crc32(std::vector<std::uint8_t>(32, 0)), 0x190A55ADu);
}

TEST(Crc32, ContinuesAcrossPiecesEvenEmptyOnes) {
    auto whole = Bytes("123456789");
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        std::span<const std::uint8_t> all(whole);
        EXPECT_EQ(Crc32(all.subspan(cut), Crc32(all.first(cut))), 0xCBF43926u) << "cut at " << cut;
    }
    EXPECT_EQ(Crc32(std::span<const std::uint8_t>(), 0xCBF43926u), 0xCBF43926u) << "a piece without data";
}

TEST(Base64, EncodesRfc4648Vectors) {
    EXPECT_EQ(EncodeBase64(Bytes("")), "");
    EXPECT_EQ(EncodeBase64(Bytes("f")), "Zg==");
    EXPECT_EQ(EncodeBase64(Bytes("fo")), "Zm8=");
    EXPECT_EQ(EncodeBase64(Bytes("foo")), "Zm9v");
    EXPECT_EQ(EncodeBase64(Bytes("foob")), "Zm9vYg==");
    EXPECT_EQ(EncodeBase64(Bytes("fooba")), "Zm9vYmE=");
    EXPECT_EQ(EncodeBase64(Bytes("foobar")), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64(std::vector<std::uint8_t>{0xFB, 0xFF, 0xBF}), "+/+/");
}

TEST(Base64, DecodesWhatItEncodesForEveryLengthAndByte) {
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(std::uint8_t(255 - i));
    for (std::size_t length = 0; length <= all.size(); length += 1 + length / 8) {
        std::vector<std::uint8_t> piece(all.begin(), all.begin() + std::ptrdiff_t(length));
        auto decoded = DecodeBase64(EncodeBase64(piece));
        ASSERT_TRUE(decoded.ok()) << length;
        EXPECT_EQ(*decoded, piece) << length;
    }
}

TEST(Base64, SkipsLineBreaksAndDropsPaddingButRejectsMalformedText) {
    EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy\n").value(), Bytes("foobar"));
    EXPECT_EQ(DecodeBase64(" Zm9v YmE=\t").value(), Bytes("fooba"));
    EXPECT_EQ(DecodeBase64("Zg==").value(), Bytes("f"));
    EXPECT_TRUE(DecodeBase64("").value().empty());
    // Padding anywhere but at the end, or three pads, would read as zero bits to OpenSSL.
    for (std::string_view bad :
         {"Zg=", "Z===", "Zg", "Zm9", "Zg==Zg==", "Zm9v!", "Zg=a", "=Zg=", "Zm-v", "===="}) {
        auto decoded = DecodeBase64(bad);
        EXPECT_FALSE(decoded.ok()) << bad;
        EXPECT_EQ(decoded.error().code(), vexa::ErrorCode::kProtocol) << bad;
    }
}

TEST(QueryValue, EscapesEverythingButUnreservedCharacters) {
    EXPECT_EQ(EscapeQueryValue("a+b/c=="), "a%2Bb%2Fc%3D%3D");
    EXPECT_EQ(EscapeQueryValue("plainText09-._~"), "plainText09-._~");
    EXPECT_EQ(EscapeQueryValue("x&softid=1 #?"), "x%26softid%3D1%20%23%3F");
    EXPECT_EQ(EscapeQueryValue("\xE6\x98\xA5%"), "%E6%98%A5%25");
    EXPECT_EQ(EscapeQueryValue(""), "");
}

TEST(Scramble, TurnsAbcIntoE9D9C9AndBack) {
    auto text = Bytes("abc");
    ScrambleInPlace(text);
    EXPECT_EQ(text, (std::vector<std::uint8_t>{0xE9, 0xD9, 0xC9}));
    ScrambleInPlace(text);
    EXPECT_EQ(text, Bytes("abc"));
    for (int b = 0; b < 256; ++b) EXPECT_EQ(ScrambleByte(ScrambleByte(std::uint8_t(b))), b);
}

}  // namespace
}  // namespace vexa::net
