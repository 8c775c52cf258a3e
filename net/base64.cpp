#include "net/base64.h"

#include <array>

namespace net {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kInvalid = -1;
constexpr int kPad = -2;
constexpr int kSkip = -3;

constexpr std::array<int, 256> MakeDecodeTable() {
    std::array<int, 256> table{};
    table.fill(kInvalid);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = int(i);
    table['='] = kPad;
    for (char c : {' ', '\r', '\n', '\t'}) table[static_cast<unsigned char>(c)] = kSkip;
    return table;
}

constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (int shift : {18, 12, 6, 0}) out += kAlphabet[(v >> shift) & 63];
    }
    std::size_t rest = bytes.size() - i;
    if (rest == 0) return out;
    std::uint32_t v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t quad = 0;
    int count = 0;  // sextets in the current group
    int padding = 0;
    for (char c : text) {
        int value = kDecode[static_cast<unsigned char>(c)];
        if (value == kSkip) continue;
        if (value == kInvalid) return std::nullopt;
        if (value == kPad) {
            if (count < 2 || count + padding >= 4) return std::nullopt;
            ++padding;
            quad <<= 6;  // a pad stands for zero bits
            if (count + padding == 4) {
                out.push_back(std::uint8_t(quad >> 16));
                if (count == 3) out.push_back(std::uint8_t(quad >> 8));
                count = 4;  // group closed: only skipped characters may follow
            }
            continue;
        }
        if (padding > 0 || count == 4) return std::nullopt;  // data after padding
        quad = (quad << 6) | std::uint32_t(value);
        if (++count == 4) {
            out.push_back(std::uint8_t(quad >> 16));
            out.push_back(std::uint8_t(quad >> 8));
            out.push_back(std::uint8_t(quad));
            quad = 0;
            count = 0;
        }
    }
    if (count != 0 && count != 4) return std::nullopt;
    return out;
}

std::string EscapeBase64ForQuery(std::string_view base64) {
    std::string out;
    out.reserve(base64.size() + 16);
    for (char c : base64) {
        switch (c) {
            case '+':
                out += "%2B";
                break;
            case '=':
                out += "%3D";
                break;
            case '/':
                out += "%2F";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace net
