// IniDocument: an ini file held as its lines, read and changed the way the profile functions do:
// section and key names compare case-insensitively, the first match wins, values are trimmed and
// lose one pair of surrounding quotes, and a change touches only the one line it must, keeping the
// other sections, keys, comments and blank lines as they were.
// A value type; not thread-safe (each user holds its own).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexa::settings {

class IniDocument {
  public:
    [[nodiscard]] static IniDocument Parse(std::string_view text);

    [[nodiscard]] std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces the key's first line in the section, or adds it at the section's end, or adds the
    // section at the end of the document. Fails, changing nothing, for names or values that cannot
    // be written (line breaks, '=' in a key, ']' in a section, empty names).
    [[nodiscard]] Error Set(std::string_view section, std::string_view key, std::string_view value);

    [[nodiscard]] std::string Text() const;

  private:
    // Line index of the section header, or nullopt.
    [[nodiscard]] std::optional<std::size_t> FindSection(std::string_view section) const;
    // Line index of the key inside the section that starts after `header`, or nullopt.
    [[nodiscard]] std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const;
    [[nodiscard]] std::size_t SectionEnd(std::size_t header) const;

    std::vector<std::string> lines_;
};

}  // namespace vexa::settings
