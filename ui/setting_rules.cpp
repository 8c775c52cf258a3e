#include "ui/setting_rules.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vexa::ui {
namespace {

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kDigits = "0123456789";
constexpr std::array<std::string_view, 12> kFunctionKeys = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                                            "F7", "F8", "F9", "F10", "F11", "F12"};
constexpr uint8_t kF1 = 0x70;

constexpr std::array<HotkeyKey, 49> MakeKeyList() {
    std::array<HotkeyKey, 49> keys{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < kLetters.size(); ++i)
        keys[n++] = {static_cast<uint8_t>(kLetters[i]), kLetters.substr(i, 1)};
    for (std::size_t i = 0; i < kDigits.size(); ++i)
        keys[n++] = {static_cast<uint8_t>(kDigits[i]), kDigits.substr(i, 1)};
    for (std::size_t i = 0; i < kFunctionKeys.size(); ++i)
        keys[n++] = {static_cast<uint8_t>(kF1 + i), kFunctionKeys[i]};
    keys[n] = {0, "无"};
    return keys;
}

constexpr std::array<HotkeyKey, 49> kKeyList = MakeKeyList();

}  // namespace

std::span<const HotkeyKey> HotkeyKeys() {
    return kKeyList;
}

bool IsRegistrableKey(uint8_t key) {
    return key != 0 && std::any_of(kKeyList.begin(), kKeyList.end() - 1,
                                   [key](const HotkeyKey& entry) { return entry.code == key; });
}

KeyOffer OfferedKeys(std::span<const settings::HotkeyValue> values, std::size_t edited) {
    KeyOffer offer;
    for (std::size_t i = 0; i < kKeyList.size(); ++i) {
        const HotkeyKey& key = kKeyList[i];
        const auto user = std::find_if(values.begin(), values.end(), [&](const settings::HotkeyValue& value) {
            return value.key_code == key.code;
        });
        const bool always_offered = i + 1 == kKeyList.size();
        const bool mine = user != values.end() && static_cast<std::size_t>(user - values.begin()) == edited;
        if (user != values.end() && !mine && !always_offered) continue;
        if (mine) offer.selected = offer.items.size();
        offer.items.push_back(key);
    }
    return offer;
}

std::string TooltipWithHotkey(std::string_view tooltip, std::string_view hotkey_text) {
    std::string tip(tooltip.substr(0, tooltip.find('\r')));
    if (!hotkey_text.empty()) {
        tip += "\r\n";
        tip += hotkey_text;
    }
    return tip;
}

uint32_t ItemNumber(std::string_view text) {
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() ? number : 0;
}

std::optional<std::size_t> FrameRateItem(std::span<const std::string> item_texts, uint32_t stored_rate) {
    if (item_texts.empty()) return std::nullopt;
    const auto showing = [&](uint32_t rate) {
        return std::find_if(item_texts.begin(), item_texts.end(),
                            [rate](const std::string& text) { return ItemNumber(text) == rate; });
    };
    auto item = showing(stored_rate);
    if (item == item_texts.end()) item = std::find(item_texts.begin(), item_texts.end(), "20");
    if (item == item_texts.end()) return 0;
    return static_cast<std::size_t>(item - item_texts.begin());
}

}  // namespace vexa::ui
