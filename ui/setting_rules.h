// The settings page's rules without a window: the hotkey key list and which of its keys a slot is
// offered, a tooltip with its hotkey line, and the combo items that stored values select.
// Plain functions of plain values; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/hotkey_value.h"

namespace vexa::ui {

// One entry of the hotkey combo: a virtual-key code (as the settings store it) and its text.
struct HotkeyKey {
    uint8_t code = 0;
    std::string_view text;
    constexpr bool operator==(const HotkeyKey&) const = default;
};

// The 49 entries of the combo in their order: "A".."Z", "0".."9", "F1".."F12", and last "无"
// (code 0, no key).
[[nodiscard]] std::span<const HotkeyKey> HotkeyKeys();

// Whether the system is asked for the key at all: exactly the first 48 entries of HotkeyKeys().
[[nodiscard]] bool IsRegistrableKey(uint8_t key_code);

// What the combo shows while one slot is edited.
struct KeyOffer {
    std::vector<HotkeyKey> items;
    // The position of the edited slot's own key; none when its key is not in the list (or is a key
    // an earlier slot uses), and then "无" (the last item) is selected and stored for the slot.
    std::optional<std::size_t> selected;
};

// The keys offered to slot `edited` of the slots holding `values`: every key of the list except those the
// first slot using them is another slot; "无" is always offered. So two slots never share a key.
[[nodiscard]] KeyOffer OfferedKeys(std::span<const settings::HotkeyValue> values, std::size_t edited);

// `tooltip` up to its first carriage return, then "\r\n" and `hotkey_text` when that is not empty.
[[nodiscard]] std::string TooltipWithHotkey(std::string_view tooltip, std::string_view hotkey_text);

// The number an item's text shows ("20" -> 20); 0 when the text does not start with a digit.
[[nodiscard]] uint32_t ItemNumber(std::string_view text);

// The frame-rate item a stored rate selects: the first item showing that number, else the item
// "20", else the first item; none for an empty list.
[[nodiscard]] std::optional<std::size_t> FrameRateItem(std::span<const std::string> item_texts,
                                                       uint32_t stored_rate);

}  // namespace vexa::ui
