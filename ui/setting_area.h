// CSettingArea: the settings page ("main_setting_area"). It reads every value once at start-up and
// writes each change at once; other parts read the current values from its controls through the
// accessors below. It owns the four global hotkeys: their packed values, identifiers 1000..1003
// and whether the system accepted them, and keeps them registered with the shell's hotkey service
// until they change. The main window initialises it and hands it to the record page.
// Threads: user-interface thread only. The folder chooser runs beside the event loop and answers
// on the user-interface thread; an answer arriving after the page is gone is dropped.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "settings/hotkey_value.h"
#include "toolkit/container.h"
#include "ui/hotkey_slot.h"
#include "ui/setting_rules.h"

namespace vexa::toolkit {
class Button;
class CheckBox;
class Combo;
class Edit;
class Option;
struct Notification;
}  // namespace vexa::toolkit

namespace vexa::ui {

// "Ctrl+", "Alt+", "Shift+" (in that order) and the key ("A", "7", "F7"); empty for a slot the
// system did not accept or a key outside the list.
[[nodiscard]] std::string HotkeyText(const HotkeySlot& slot);

// The control's tooltip up to its first line break, then "\r\n" and the slot's HotkeyText when
// that is not empty.
void AppendHotkeyToTooltip(toolkit::Control& control, const HotkeySlot& slot);

class CFileList;
class Shell;
struct SettingControls;

class CSettingArea : public toolkit::Container {
  public:
    static constexpr uint32_t kFirstHotkeyId = 1000;
    static constexpr std::size_t kHotkeyCount = 4;
    // The record page's buttons that show the hotkeys of slots 0, 1 and 2.
    static constexpr std::array<const char*, 3> kHotkeyButtons = {"start_stop_btn", "pause_continue_btn",
                                                                  "sel_rgn_btn"};

    CSettingArea();
    ~CSettingArea() override;

    // Finds the page's controls, reads the stored values into them, creates the output folder
    // when needed, registers the hotkeys and attaches the handlers. Fails when a control is
    // missing or the output folder cannot be had; the main window then fails too. `shell` gives the
    // settings store, the main window and the hotkey service; `recordings`, when given, is told of
    // every new output folder (both outlive the page).
    [[nodiscard]] Error Init(Shell& shell, CFileList* recordings = nullptr);

    // --- the values other parts read at the moment of use ---
    // The folder for new recordings, as "output_dir" shows it.
    [[nodiscard]] std::string OutputFolder() const;
    // The number the selected "desktop_frames" item shows (0 when none is selected), and its text.
    [[nodiscard]] uint32_t FrameRate() const;
    [[nodiscard]] std::string FrameRateText() const;
    // "record_mouse": draw the cursor into screen recordings.
    [[nodiscard]] bool RecordMouse() const;
    // "constant_frame_rate": one picture per frame period (recordings for video editors).
    [[nodiscard]] bool ConstantFrameRate() const;
    // "start_begin_record" checked: the program starts recording at launch.
    [[nodiscard]] bool StartBeginRecord() const;
    // The count-down before a recording starts: "count_down_val" seconds while "count_down" is
    // checked, zero while it is not.
    [[nodiscard]] std::chrono::seconds CountDown() const;
    // "record_hide_wnd" checked: no floating control bar while recording.
    [[nodiscard]] bool RecordHideWnd() const;
    // "hide_desk_area_wnd" checked: the region frame stays hidden while recording.
    [[nodiscard]] bool HideDeskAreaWnd() const;
    [[nodiscard]] const std::array<HotkeySlot, kHotkeyCount>& HotkeySlots() const { return hotkeys_; }

  private:
    [[nodiscard]] Error FindControls();
    [[nodiscard]] Error LoadOutputFolder();
    void LoadFlag(toolkit::CheckBox* SettingControls::*box);
    void LoadFrameRate();
    void LoadHotkeys();
    void ShowHotkeyReach();
    void ShowHotkeyNotice();
    void LoadCountDown();
    void LoadCloseChoice();
    void AttachHandlers();

    void OnSettingsNotify(toolkit::Notification& n);
    void OnHotkeyOption(toolkit::Notification& n);
    void ApplyHotkey(toolkit::Notification& n);
    void FolderPicker();
    void OnFolderChosen(const std::string& folder);

    void RegisterHotkey(HotkeySlot& slot);
    void ShowKeyComboBorder(const HotkeySlot& slot);
    void ShowHotkeyOnButton(std::size_t slot);
    void ShowCloseChoiceTooltip(bool exits);
    [[nodiscard]] int SelectedHotkeySlot() const;

    std::unique_ptr<SettingControls> controls_;
    std::string autostart_failure_;  // the message of a failed autostart change, shown after its click
    std::array<HotkeySlot, kHotkeyCount> hotkeys_{};
    CFileList* recordings_ = nullptr;
    Shell* shell_ = nullptr;        // from Init on
    bool choosing_folder_ = false;  // the folder chooser is up
    // Expires with the page: a chooser's late answer finds it gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace vexa::ui
