// HotkeyValue: the packed form of a global hotkey as the "hotkey_%u" values store it:
// key code in bits 24..31, modifier flags in bits 0..2 (1 Alt, 2 Ctrl, 4 Shift), bits 3..23 zero.
// A plain value type; thread-safe.
#pragma once

#include <cstdint>

namespace vexa::settings {

struct HotkeyValue {
    static constexpr uint8_t kAlt = 1;
    static constexpr uint8_t kCtrl = 2;
    static constexpr uint8_t kShift = 4;
    static constexpr uint32_t kUsedBits = 0xff000007u;

    uint8_t key_code = 0;
    uint8_t modifiers = 0;  // kAlt | kCtrl | kShift

    // Bits 3..23 of a stored value are ignored.
    [[nodiscard]] static constexpr HotkeyValue Unpack(uint32_t packed) {
        return {static_cast<uint8_t>(packed >> 24), static_cast<uint8_t>(packed & 7u)};
    }
    [[nodiscard]] constexpr uint32_t Pack() const {
        return static_cast<uint32_t>(key_code) << 24 | (modifiers & 7u);
    }
    constexpr bool operator==(const HotkeyValue&) const = default;
};

}  // namespace vexa::settings
