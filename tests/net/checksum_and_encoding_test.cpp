#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/scramble.h"

namespace net {
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

TEST(Crc32, ContinuesAcrossPieces) {
    auto whole = Bytes("123456789");
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        std::span<const std::uint8_t> all(whole);
        EXPECT_EQ(Crc32(all.subspan(cut), Crc32(all.first(cut))), 0xCBF43926u) << "cut at " << cut;
    }
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
        ASSERT_TRUE(decoded.has_value()) << length;
        EXPECT_EQ(*decoded, piece) << length;
    }
}

TEST(Base64, SkipsLineBreaksButRejectsMalformedText) {
    EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy\n"), Bytes("foobar"));
    for (std::string_view bad : {"Zg=", "Z===", "Zg", "Zm9", "Zg==Zg==", "Zm9v!", "Zg=a", "=Zg=", "Zm-v"}) {
        EXPECT_FALSE(DecodeBase64(bad).has_value()) << bad;
    }
}

TEST(Base64, EscapesTheThreeCharactersThatBreakAQuery) {
    EXPECT_EQ(EscapeBase64ForQuery("a+b/c=="), "a%2Bb%2Fc%3D%3D");
    EXPECT_EQ(EscapeBase64ForQuery("plainText09"), "plainText09");
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
}  // namespace net
