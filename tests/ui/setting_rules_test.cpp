// The settings page's rules without a window: the key list, which keys a slot is offered, the text
// of a chord and the tooltip line, and which combo items stored values select.
#include "ui/setting_rules.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "ui/setting_area.h"

namespace vexa::ui {
namespace {

using settings::HotkeyValue;

// The list as the page describes it, built independently of the table under test.
std::vector<std::pair<uint8_t, std::string>> ExpectedKeyList() {
    std::vector<std::pair<uint8_t, std::string>> keys;
    for (char c = 'A'; c <= 'Z'; ++c) keys.emplace_back(static_cast<uint8_t>(c), std::string(1, c));
    for (char c = '0'; c <= '9'; ++c) keys.emplace_back(static_cast<uint8_t>(c), std::string(1, c));
    for (int f = 1; f <= 12; ++f)
        keys.emplace_back(static_cast<uint8_t>(0x6F + f), std::string("F").append(std::to_string(f)));
    keys.emplace_back(0, "无");
    return keys;
}

std::array<HotkeyValue, 4> Defaults() {
    return {HotkeyValue{0x76, 0}, HotkeyValue{0x77, 0}, HotkeyValue{0x75, 0}, HotkeyValue{0x78, 0}};
}

bool Offers(const KeyOffer& offer, uint8_t code) {
    return std::any_of(offer.items.begin(), offer.items.end(),
                       [&](const HotkeyKey& k) { return k.code == code; });
}

TEST(HotkeyKeyList, HoldsTheFortyEightRegistrableKeysInOrderThenNoKey) {
    const auto expected = ExpectedKeyList();
    const auto keys = HotkeyKeys();
    ASSERT_EQ(keys.size(), 49u);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].code, expected[i].first) << i;
        EXPECT_EQ(keys[i].text, expected[i].second) << i;
    }
    std::set<uint8_t> registrable;
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) registrable.insert(expected[i].first);
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(IsRegistrableKey(static_cast<uint8_t>(code)),
                  registrable.count(static_cast<uint8_t>(code)) == 1)
            << code;
}

TEST(OfferedKeys, ASlotIsNotOfferedTheKeysOfOtherSlotsButAlwaysNoKey) {
    const auto values = Defaults();
    const KeyOffer pause = OfferedKeys(values, 1);
    EXPECT_EQ(pause.items.size(), 49u - 3u);
    EXPECT_FALSE(Offers(pause, 0x76));  // F7 belongs to start/stop
    EXPECT_FALSE(Offers(pause, 0x75));
    EXPECT_FALSE(Offers(pause, 0x78));
    ASSERT_TRUE(pause.selected);
    EXPECT_EQ(pause.items[*pause.selected].text, "F8");
    EXPECT_EQ(pause.items.back().text, "无");
    // The order of the list is kept: the items are the list with the other values' keys taken out.
    const auto all = HotkeyKeys();
    std::size_t next = 0;
    for (const HotkeyKey& item : pause.items) {
        while (next < all.size() && !(all[next] == item)) ++next;
        ASSERT_LT(next, all.size()) << item.text << " is out of order";
    }
}

TEST(OfferedKeys, AKeyOutsideTheListOrTakenByAnEarlierSlotSelectsNothingSoNoKeyIsStored) {
    auto values = Defaults();
    values[3].key_code = 0x20;  // space, stored by hand
    const KeyOffer space = OfferedKeys(values, 3);
    EXPECT_FALSE(space.selected);
    EXPECT_EQ(space.items.size(), 49u - 3u);

    values = Defaults();
    values[1].key_code = 0x76;  // shares F7 with slot 0: the earlier slot keeps it
    EXPECT_FALSE(OfferedKeys(values, 1).selected);
    EXPECT_FALSE(Offers(OfferedKeys(values, 1), 0x76));
    const KeyOffer first = OfferedKeys(values, 0);
    ASSERT_TRUE(first.selected);
    EXPECT_EQ(first.items[*first.selected].code, 0x76);

    const std::array<HotkeyValue, 4> none{};  // every slot without a key
    const KeyOffer none_first = OfferedKeys(none, 0);
    EXPECT_EQ(none_first.items.size(), 49u);
    EXPECT_EQ(none_first.selected, 48u);  // its own "无"
    EXPECT_FALSE(OfferedKeys(none, 2).selected);
    EXPECT_EQ(OfferedKeys(none, 2).items.size(), 49u);

    values = Defaults();
    values[2] = HotkeyValue{'A', HotkeyValue::kAlt};
    const KeyOffer letter = OfferedKeys(values, 2);
    EXPECT_EQ(letter.selected, 0u);
    EXPECT_TRUE(Offers(letter, 0x75));  // F6 is free again
}

// Whatever a user picks, in any order, from what the list offers: two values never share a key,
// "无" apart, and a slot whose key the list shows always finds it selected.
TEST(OfferedKeys, PickingOnlyOfferedKeysNeverLetsTwoSlotsShareAKey) {
    std::mt19937 random(20261209);
    auto values = Defaults();
    for (int step = 0; step < 5000; ++step) {
        const std::size_t slot = random() % 4;
        const KeyOffer offer = OfferedKeys(values, slot);
        if (offer.selected) {
            ASSERT_EQ(offer.items[*offer.selected].code, values[slot].key_code);
        }
        const HotkeyKey& pick = offer.items[random() % offer.items.size()];
        values[slot].key_code = pick.code;
        std::set<uint8_t> used;
        for (const HotkeyValue& value : values) {
            if (value.key_code != 0) {
                ASSERT_TRUE(used.insert(value.key_code).second) << "step " << step;
            }
        }
    }
}

TEST(HotkeyText, NamesCtrlAltShiftInThatOrderThenTheKeyAndNothingForARefusedSlot) {
    const auto text = [](uint8_t modifiers, uint8_t key, bool registered = true) {
        return HotkeyText(HotkeySlot{HotkeyValue{key, modifiers}, 1000, registered});
    };
    EXPECT_EQ(text(HotkeyValue::kCtrl | HotkeyValue::kShift, 0x76), "Ctrl+Shift+F7");
    EXPECT_EQ(text(HotkeyValue::kAlt, 'A'), "Alt+A");
    EXPECT_EQ(text(HotkeyValue::kShift | HotkeyValue::kAlt | HotkeyValue::kCtrl, '9'), "Ctrl+Alt+Shift+9");
    EXPECT_EQ(text(0, 0x7B), "F12");
    EXPECT_EQ(text(0, 0x79), "F10");
    EXPECT_EQ(text(0, '0'), "0");
    EXPECT_EQ(text(HotkeyValue::kCtrl, 0x76, false), "");  // the system refused it
    EXPECT_EQ(text(HotkeyValue::kCtrl, 0x20), "");         // no key of the list
    EXPECT_EQ(text(0, 0), "");
}

TEST(TooltipWithHotkey, ReplacesEverythingFromTheFirstCarriageReturnByTheHotkeyLine) {
    EXPECT_EQ(TooltipWithHotkey("开始录制", "F7"), "开始录制\r\nF7");
    EXPECT_EQ(TooltipWithHotkey("开始录制\r\nF7", "Ctrl+F7"), "开始录制\r\nCtrl+F7");
    EXPECT_EQ(TooltipWithHotkey("开始录制\r\nF7", ""), "开始录制");
    EXPECT_EQ(TooltipWithHotkey("a\rb\r\nc", "F1"), "a\r\nF1");
    EXPECT_EQ(TooltipWithHotkey("one\ntwo", ""), "one\ntwo");  // a plain line break stays
    EXPECT_EQ(TooltipWithHotkey("", "F8"), "\r\nF8");
}

TEST(FrameRateItem, SelectsTheStoredRateElseTwentyElseTheFirstItem) {
    const std::vector<std::string> rates = {"1", "5", "10", "15", "20", "24", "30", "50"};
    EXPECT_EQ(FrameRateItem(rates, 50), 7u);
    EXPECT_EQ(FrameRateItem(rates, 1), 0u);
    EXPECT_EQ(FrameRateItem(rates, 25), 4u);  // not a listed rate
    EXPECT_EQ(FrameRateItem(rates, 0), 4u);   // missing
    EXPECT_EQ(FrameRateItem(std::vector<std::string>{"5", "60"}, 25), 0u);
    EXPECT_EQ(FrameRateItem(std::vector<std::string>{"5", "60"}, 60), 1u);
    EXPECT_EQ(FrameRateItem(std::vector<std::string>{}, 20), std::nullopt);
    EXPECT_EQ(ItemNumber("24"), 24u);
    EXPECT_EQ(ItemNumber("30 fps"), 30u);
    EXPECT_EQ(ItemNumber("fps"), 0u);
    EXPECT_EQ(ItemNumber(""), 0u);
}

}  // namespace
}  // namespace vexa::ui
