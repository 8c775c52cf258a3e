// Joined({"[", section, "]"}): one string made by appending its parts in order.
// Used where a chain of operator+ would start with a literal and a temporary string: GCC 12 at -O3
// misreads that insertion as an overlapping copy (-Wrestrict). Pure; thread-safe.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace vexa::settings {

[[nodiscard]] inline std::string Joined(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) text.append(part);
    return text;
}

}  // namespace vexa::settings
