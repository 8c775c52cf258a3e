#include "settings/reg_text.h"

#include <cstdio>

namespace vexa::settings {

namespace {

constexpr std::string_view kHeader =
    "; Miravo settings: one value per line, \"name\"=dword:XXXXXXXX | hex:XX,... | hex(T):XX,... | \"text\"\n"
    "[VexaRecorder]\n";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsPlainTextByte(unsigned char c) {
    return c >= 0x20 && c != 0x7f;
}

// Reads a double-quoted string with \\ and \" escapes from the front of `text`.
std::optional<std::string> TakeQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) return std::nullopt;
            out += text[i];
        } else if (!IsPlainTextByte(static_cast<unsigned char>(c))) {
            return std::nullopt;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string bytes;
    if (text.empty()) return bytes;
    for (std::size_t i = 0;; i += 3) {
        if (i + 2 > text.size()) return std::nullopt;
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        if (i + 2 == text.size()) return bytes;
        if (text[i + 2] != ',') return std::nullopt;
    }
}

std::string FormatHexBytes(std::string_view data) {
    std::string out;
    char pair[4];
    for (const char c : data) {
        std::snprintf(pair, sizeof pair, out.empty() ? "%02x" : ",%02x", static_cast<unsigned char>(c));
        out += out.empty() ? std::string_view(pair, 2) : std::string_view(pair, 3);
    }
    return out;
}

std::optional<uint32_t> ParseHexNumber(std::string_view text, std::size_t max_digits) {
    if (text.empty() || text.size() > max_digits) return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace

bool IsValidValueName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    for (const char c : name) {
        if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
}

std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::optional<RegValue> ParseRegData(std::string_view text) {
    RegValue value;
    if (text.starts_with("dword:")) {
        const std::string_view digits = text.substr(6);
        const auto number = digits.size() == 8 ? ParseHexNumber(digits, 8) : std::nullopt;
        if (!number) return std::nullopt;
        value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8)
            value.data += static_cast<char>((*number >> shift) & 0xff);
        return value;
    }
    if (text.starts_with("hex:")) {
        auto bytes = ParseHexBytes(text.substr(4));
        if (!bytes) return std::nullopt;
        value.type = kRegBinary;
        value.data = std::move(*bytes);
        return value;
    }
    if (text.starts_with("hex(")) {
        const auto close = text.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const auto type = ParseHexNumber(text.substr(4, close - 4), 8);
        auto bytes = ParseHexBytes(text.substr(close + 2));
        if (!type || !bytes) return std::nullopt;
        value.type = *type;
        value.data = std::move(*bytes);
        return value;
    }
    auto quoted = TakeQuoted(text);
    if (!quoted || !text.empty()) return std::nullopt;
    value.type = kRegSz;
    value.data = std::move(*quoted);
    return value;
}

std::string FormatRegData(uint32_t type, std::string_view data) {
    if (type == kRegDword && data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = number << 8 | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        return text;
    }
    if (type == kRegBinary) return "hex:" + FormatHexBytes(data);
    if (type == kRegSz) {
        bool plain = true;
        for (const char c : data) plain = plain && IsPlainTextByte(static_cast<unsigned char>(c));
        if (plain) return Quote(data);
    }
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
    return prefix + FormatHexBytes(data);
}

RegValues ParseRegText(std::string_view text) {
    RegValues values;
    for (auto end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        auto name = TakeQuoted(line);
        if (!name || !IsValidValueName(*name) || !line.starts_with('=')) continue;
        auto value = ParseRegData(line.substr(1));
        if (!value) continue;
        value->name = std::move(*name);
        values[FoldName(value->name)] = std::move(*value);  // a later line wins, as in an import
    }
    return values;
}

std::string FormatRegText(const RegValues& values) {
    std::string text(kHeader);
    for (const auto& [folded, value] : values) {
        text += Quote(value.name);
        text += '=';
        text += FormatRegData(value.type, value.data);
        text += '\n';
    }
    return text;
}

}  // namespace vexa::settings
