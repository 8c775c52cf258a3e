// HotkeySlot: one of the four global hotkeys as the settings page holds it and the main window's
// dispatch reads it: the stored key and modifiers, the id it is registered under, and whether the
// system accepted it. A plain value; no threads of its own.
#pragma once

#include <cstdint>

#include "settings/hotkey_value.h"

namespace vexa::ui {

// One global hotkey: start/stop (slot 0, id 1000), pause/resume (1, 1001), select the region
// (2, 1002), show/hide the main window (3, 1003).
struct HotkeySlot {
    settings::HotkeyValue value;
    uint32_t id = 0;
    bool registered = false;
};

}  // namespace vexa::ui
