#include "app/hotkey_dispatch.h"

namespace vexa::app {
namespace {

bool MayToggleRecording(const HotkeyContext& c) {
    if (c.record_page && c.counting_down) return true;
    if (!c.record_page || c.mode < 0 || c.mode > 2 || !c.main_enabled) return false;
    if (c.mode == 1) return c.any_sound_selected;
    if (c.mode == 2) return c.any_camera_selected;
    return true;
}

}  // namespace

HotkeyAction DispatchHotkey(std::span<const ui::HotkeySlot> hotkeys, std::uintptr_t id,
                            std::intptr_t modifiers, const HotkeyContext& c) {
    for (size_t slot = 0; slot < hotkeys.size(); ++slot) {
        const ui::HotkeySlot& s = hotkeys[slot];
        if (s.id != id || !s.registered ||
            (s.value.modifiers & 7u) != (static_cast<uint32_t>(modifiers) & 7u))
            continue;
        switch (slot) {
            case 0:
                return MayToggleRecording(c) ? HotkeyAction::kToggleRecording : HotkeyAction::kNone;
            case 1:
                return c.record_page && (c.state == 1 || c.state == 2) ? HotkeyAction::kTogglePause
                                                                       : HotkeyAction::kNone;
            case 2:
                return c.record_page && c.mode == 0 && c.state == 0 && c.main_enabled
                           ? HotkeyAction::kSelectRegion
                           : HotkeyAction::kNone;
            case 3:
                return c.main_enabled ? HotkeyAction::kShowHideMainWindow : HotkeyAction::kNone;
            default:
                return HotkeyAction::kNone;
        }
    }
    return HotkeyAction::kNone;
}

}  // namespace vexa::app
