#include "ui/setting_area.h"

#include <string>

#include "app/close_choice.h"
#include "app/settings_catalog.h"
#include "app/settings_ini.h"
#include "app/settings_key.h"
#include "platform/desktop/hotkey_service.h"
#include "platform/log/log.h"
#include "toolkit/button.h"
#include "toolkit/paint_manager.h"
#include "toolkit/window.h"
#include "ui/shell.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {

CSettingArea* instance = nullptr;

constexpr const app::Setting* kHotkeySettings[] = {
    &app::settings::kHotkeyStartStop, &app::settings::kHotkeyPause, &app::settings::kHotkeySelectRegion,
    &app::settings::kHotkeyShowHide};

}  // namespace

bool IsRegistrableKey(uint8_t key) {
    return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || (key >= 0x70 && key <= 0x7B);
}

std::string HotkeyText(const HotkeySlot& slot) {
    if (!slot.registered) return {};
    return desktop::HotkeyService::ChordText(slot.value.modifiers, slot.value.key_code);
}

void AppendHotkeyToTooltip(toolkit::Control& control, const HotkeySlot& slot) {
    std::string tip = control.toolTip();
    tip = tip.substr(0, tip.find('\r'));
    if (const std::string text = HotkeyText(slot); !text.empty()) tip += "\r\n" + text;
    control.setToolTip(std::move(tip));
}

CSettingArea::CSettingArea() {
    instance = this;
}

CSettingArea::~CSettingArea() {
    if (instance == this) instance = nullptr;
}

CSettingArea* CSettingArea::Instance() {
    return instance;
}

Error CSettingArea::Init() {
    if (Error missing = RequireControls(*this, "settings page",
                                        {"output_dir",
                                         "browse_btn",
                                         "desktop_frames",
                                         "record_mouse",
                                         "start_stop_item",
                                         "pause_continue_item",
                                         "select_desktop_rgn_item",
                                         "show_hide_main_wnd",
                                         "ctrl_key",
                                         "shift_key",
                                         "alt_key",
                                         "key_combo",
                                         "boot_start_program",
                                         "start_begin_record",
                                         "count_down",
                                         "count_down_val",
                                         "record_hide_wnd",
                                         "close_to_exit",
                                         "close_to_hide",
                                         "hide_desk_area_wnd"});
        !missing.ok()) {
        return missing;
    }
    if (!Shell::Get()) return Error(ErrorCode::kInternal, "settings page: no main window");
    LoadHotkeys();
    auto* start_begin = dynamic_cast<toolkit::CheckBox*>(toolkit::findChild(*this, "start_begin_record"));
    if (start_begin)
        start_begin->setChecked(ReadSetting(Shell::Get()->Settings(), app::settings::kStartBeginRecord) != 0,
                                false);
    LoadCloseChoice();
    return {};
}

bool CSettingArea::StartBeginRecord() const {
    return IsBoxSelected(const_cast<CSettingArea&>(*this), "start_begin_record");
}

// Each slot's stored value (bits 3..23 cleared) is kept even when its key cannot be registered.
void CSettingArea::LoadHotkeys() {
    Shell& shell = *Shell::Get();
    for (size_t slot = 0; slot < hotkeys_.size(); ++slot) {
        HotkeySlot& s = hotkeys_[slot];
        s.id = kFirstHotkeyId + static_cast<uint32_t>(slot);
        s.value = app::HotkeyValue::Unpack(ReadSetting(shell.Settings(), *kHotkeySettings[slot]));
        s.registered = false;
        if (!IsRegistrableKey(s.value.key_code) || !shell.Hotkeys()) continue;
        const Error result =
            shell.Hotkeys()->Register(static_cast<int>(s.id), s.value.modifiers, s.value.key_code);
        s.registered = result.ok();
        if (result.ok())
            log::Writef(log::Level::kInfo, "hotkey %u registered", s.id);
        else
            log::Failure(result, "hotkey " + std::to_string(s.id));
    }
}

// "close_to" chooses first; the ini's "CloseWnd" overrides it, and the choice is written back
// to both. The close button's tooltip names what the close button will do.
void CSettingArea::LoadCloseChoice() {
    Shell& shell = *Shell::Get();
    auto* to_exit = dynamic_cast<toolkit::Option*>(toolkit::findChild(*this, "close_to_exit"));
    auto* to_hide = dynamic_cast<toolkit::Option*>(toolkit::findChild(*this, "close_to_hide"));
    if (!to_exit || !to_hide) return;
    const bool exits = app::CloseButtonExits(shell.Settings(), shell.Ini());
    (exits ? to_exit : to_hide)->setSelected(true, false);
    if (auto* close = shell.MainWindow().paintManager().find<toolkit::Button>("main_closebtn"))
        close->setToolTip(exits ? "退出程序" : "最小化到系统托盘");
    app::StoreCloseChoice(shell.Settings(), shell.Ini(), exits);
}

}  // namespace vexa::ui
