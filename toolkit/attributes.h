// Parsers for the attribute values of skin layouts ("#FF303030", "5,2,20,25", "true") and for
// attribute lists applied at run time (`bordersize="1" bkcolor="#FF303030"`).
// Every parser returns nothing for a malformed value; callers then leave the property unchanged.
// Thread-safety: pure functions.
#pragma once

#include <QColor>
#include <QMargins>
#include <QRect>
#include <QSize>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::toolkit {

using AttributeList = std::vector<std::pair<std::string, std::string>>;

[[nodiscard]] std::optional<int> parseInt(std::string_view text);
[[nodiscard]] std::optional<bool> parseBool(std::string_view text);
// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB".
[[nodiscard]] std::optional<QColor> parseColor(std::string_view text);
// Exactly `N` comma-separated integers.
template <std::size_t N>
[[nodiscard]] std::optional<std::array<int, N>> parseInts(std::string_view text);
// "l,t,r,b" with r >= l and b >= t, as the rectangle from (l, t) to (r, b) exclusive.
[[nodiscard]] std::optional<QRect> parseRect(std::string_view text);
// "l,t,r,b" as four non-negative margins.
[[nodiscard]] std::optional<QMargins> parseMargins(std::string_view text);
// "w,h" with both non-negative.
[[nodiscard]] std::optional<QSize> parseSize(std::string_view text);

// `name="value" name2='value2'`; parsing stops at the first malformed pair and keeps what came before.
[[nodiscard]] AttributeList parseAttributeList(std::string_view text);

extern template std::optional<std::array<int, 2>> parseInts<2>(std::string_view);
extern template std::optional<std::array<int, 4>> parseInts<4>(std::string_view);

}  // namespace vexa::toolkit
