// The main window's rule for a global hotkey: which slot it is, and whether its action may run in
// the program's present state. A pure function of plain values, so every condition is testable
// without windows. Thread-safe.
#pragma once

#include <cstdint>
#include <span>

#include "toolkit/window.h"
#include "ui/hotkey_slot.h"

namespace vexa::app {

// The message the hotkey service posts to the main window: wparam the slot id, lparam the modifiers.
inline constexpr std::uint32_t kMsgHotkey = toolkit::kUserMessage + 127;

enum class HotkeyAction { kNone, kToggleRecording, kTogglePause, kSelectRegion, kShowHideMainWindow };

// What the dispatch looks at when a hotkey arrives.
struct HotkeyContext {
    bool record_page = false;  // the record page exists
    int mode = -1;             // 0 screen, 1 sound only, 2 camera (-1 none yet)
    int state = 0;             // 0 idle, 1 recording, 2 paused
    bool any_sound_selected = false;
    bool any_camera_selected = false;
    bool main_enabled = true;    // false while a modal window (the exit prompt) or a start runs
    bool counting_down = false;  // a start is counting down: start/stop takes it back
};

// The first slot whose id is `id`, that is registered, and whose modifier bits (0..2) equal those
// of `modifiers` decides: start/stop needs a usable mode with its sources and an enabled main
// window, or a start counting down (which it takes back); pause needs a recording or paused state; region
// selection needs screen mode, idle and an enabled main window; show/hide needs an enabled main window.
[[nodiscard]] HotkeyAction DispatchHotkey(std::span<const ui::HotkeySlot> hotkeys, std::uintptr_t id,
                                          std::intptr_t modifiers, const HotkeyContext& context);

}  // namespace vexa::app
