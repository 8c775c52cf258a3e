#include "settings/ini_document.h"

#include <algorithm>

#include "settings/joined.h"

namespace vexa::settings {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names compare without case, and without allocating.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i])) return false;
    }
    return true;
}

// "[name]" -> name; other lines -> nullopt.
std::optional<std::string_view> HeaderName(std::string_view line) {
    line = Trim(line);
    if (!line.starts_with('[')) return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> SplitKeyLine(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Why a section, key or value cannot be written as one line that reads back the same; empty when
// it can.
std::string_view Unwritable(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view trimmed_key = Trim(key);
    if (Trim(section).empty() || trimmed_key.empty()) return "an empty section or key name";
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return "a line break";
    if (section.find(']') != std::string_view::npos) return "']' in a section name";
    if (key.find('=') != std::string_view::npos) return "'=' in a key";
    if (trimmed_key.front() == ';' || trimmed_key.front() == '[')
        return "a key that reads as a comment or section";
    return {};
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument document;
    document.lines_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    while (!text.empty()) {
        const auto end = text.find('\n');
        document.lines_.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return document;
}

std::optional<std::size_t> IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (const auto name = HeaderName(lines_[i]); name && SameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    while (end < lines_.size() && !HeaderName(lines_[end])) ++end;
    return end;
}

std::optional<std::size_t> IniDocument::FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (const auto line = SplitKeyLine(lines_[i]); line && SameName(line->key, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (!header) return std::nullopt;
    const auto index = FindKey(*header, key);
    if (!index) return std::nullopt;
    std::string_view value = SplitKeyLine(lines_[*index])->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

Error IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (const std::string_view reason = Unwritable(section, key, value); !reason.empty())
        return Error(ErrorCode::kInvalidArgument,
                     Joined({"[", section, "] ", key, " cannot be stored: ", reason}));
    const std::string_view trimmed_key = Trim(key);
    const std::string_view trimmed_section = Trim(section);
    const auto header = FindSection(trimmed_section);
    if (!header) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back(Joined({"[", trimmed_section, "]"}));
        lines_.push_back(std::string(trimmed_key) + "=" + std::string(value));
        return {};
    }
    if (const auto index = FindKey(*header, trimmed_key)) {
        const std::string spelling(SplitKeyLine(lines_[*index])->key);
        lines_[*index] = spelling + "=" + std::string(value);
        return {};
    }
    std::size_t insert = SectionEnd(*header);
    while (insert > *header + 1 && Trim(lines_[insert - 1]).empty()) --insert;  // keep the blank separator
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert),
                  std::string(trimmed_key) + "=" + std::string(value));
    return {};
}

std::string IniDocument::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace vexa::settings
