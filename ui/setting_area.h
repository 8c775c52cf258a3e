// CSettingArea: the settings page ("main_setting_area"). It reads every value once at start-up and
// writes each change at once; other parts read the current values from its controls. It owns the
// four global hotkeys: their packed values, identifiers 1000..1003 and whether the system accepted
// them. One per process, reachable through Instance() while it exists. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/hotkey_value.h"
#include "platform/error.h"
#include "toolkit/container.h"

namespace vexa::ui {

// One global hotkey: start/stop (slot 0, id 1000), pause/resume (1, 1001), select the region
// (2, 1002), show/hide the main window (3, 1003).
struct HotkeySlot {
    app::HotkeyValue value;
    uint32_t id = 0;
    bool registered = false;
};

// Whether the key code can be registered at all: A..Z, 0..9, F1..F12.
[[nodiscard]] bool IsRegistrableKey(uint8_t key_code);

// "Ctrl+", "Alt+", "Shift+" (in that order) and the key ("A", "7", "F7"); empty for a slot the
// system did not accept or a key outside the list.
[[nodiscard]] std::string HotkeyText(const HotkeySlot& slot);

// The control's tooltip up to its first line break, then "\r\n" and the slot's HotkeyText when
// that is not empty.
void AppendHotkeyToTooltip(toolkit::Control& control, const HotkeySlot& slot);

class CSettingArea : public toolkit::Container {
  public:
    static constexpr uint32_t kFirstHotkeyId = 1000;

    CSettingArea();
    ~CSettingArea() override;
    [[nodiscard]] static CSettingArea* Instance();

    // Finds the page's controls, reads the stored values and registers the hotkeys.
    [[nodiscard]] Error Init();

    [[nodiscard]] const std::array<HotkeySlot, 4>& HotkeySlots() const { return hotkeys_; }
    // "start_begin_record" checked: the program starts recording at launch.
    [[nodiscard]] bool StartBeginRecord() const;

  private:
    void LoadHotkeys();
    void LoadCloseChoice();

    std::array<HotkeySlot, 4> hotkeys_{};
};

}  // namespace vexa::ui
