#include "toolkit/attributes.h"

#include <charconv>

namespace vexa::toolkit {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<int> parseInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<bool> parseBool(std::string_view text) {
    text = trim(text);
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    return std::nullopt;
}

std::optional<QColor> parseColor(std::string_view text) {
    text = trim(text);
    if (text.starts_with('#'))
        text.remove_prefix(1);
    else if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    else
        return std::nullopt;
    if (text.size() != 6 && text.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (text.size() == 6) value |= 0xFF000000u;
    return QColor::fromRgba(value);
}

template <std::size_t N>
std::optional<std::array<int, N>> parseInts(std::string_view text) {
    std::array<int, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        const auto comma = text.find(',');
        const bool last = i + 1 == N;
        if (last != (comma == std::string_view::npos)) return std::nullopt;
        const auto value = parseInt(text.substr(0, comma));
        if (!value) return std::nullopt;
        values[i] = *value;
        if (!last) text.remove_prefix(comma + 1);
    }
    return values;
}
template std::optional<std::array<int, 2>> parseInts<2>(std::string_view);
template std::optional<std::array<int, 4>> parseInts<4>(std::string_view);

std::optional<QRect> parseRect(std::string_view text) {
    const auto v = parseInts<4>(text);
    if (!v || (*v)[2] < (*v)[0] || (*v)[3] < (*v)[1]) return std::nullopt;
    return QRect(QPoint((*v)[0], (*v)[1]), QSize((*v)[2] - (*v)[0], (*v)[3] - (*v)[1]));
}

std::optional<QMargins> parseMargins(std::string_view text) {
    const auto v = parseInts<4>(text);
    if (!v) return std::nullopt;
    for (int x : *v) {
        if (x < 0) return std::nullopt;
    }
    return QMargins((*v)[0], (*v)[1], (*v)[2], (*v)[3]);
}

std::optional<QSize> parseSize(std::string_view text) {
    const auto v = parseInts<2>(text);
    if (!v || (*v)[0] < 0 || (*v)[1] < 0) return std::nullopt;
    return QSize((*v)[0], (*v)[1]);
}

AttributeList parseAttributeList(std::string_view text) {
    AttributeList result;
    std::size_t pos = 0;
    for (;;) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        const auto equals = text.find('=', pos);
        if (pos >= text.size() || equals == std::string_view::npos) break;
        const std::string_view name = trim(text.substr(pos, equals - pos));
        std::size_t quotePos = equals + 1;
        while (quotePos < text.size() && isSpace(text[quotePos])) ++quotePos;
        if (name.empty() || quotePos >= text.size() || (text[quotePos] != '"' && text[quotePos] != '\''))
            break;
        const auto close = text.find(text[quotePos], quotePos + 1);
        if (close == std::string_view::npos) break;
        result.emplace_back(std::string(name), std::string(text.substr(quotePos + 1, close - quotePos - 1)));
        pos = close + 1;
    }
    return result;
}

}  // namespace vexa::toolkit
