#include "ui/setting_area.h"

#include <string>
#include <utility>

#include "settings/close_choice.h"
#include "settings/output_folder.h"
#include "settings/program_folder.h"
#include "settings/run_value.h"
#include "settings/settings_catalog.h"
#include "settings/settings_ini.h"
#include "settings/settings_key.h"
#include "platform/desktop/hotkey_service.h"
#include "platform/log/log.h"
#include "toolkit/button.h"
#include "toolkit/combo.h"
#include "toolkit/folder_chooser.h"
#include "toolkit/label.h"
#include "toolkit/native_dialogs.h"
#include "toolkit/paint_manager.h"
#include "toolkit/window.h"
#include "ui/failure_text.h"
#include "ui/file_list.h"
#include "ui/shell.h"
#include "toolkit/translate.h"

namespace vexa::ui {

// The page's controls, found once at set-up; all of them exist after a successful FindControls().
struct SettingControls {
    toolkit::Edit* output_dir = nullptr;
    toolkit::Button* browse = nullptr;
    toolkit::Combo* frames = nullptr;
    toolkit::CheckBox* record_mouse = nullptr;
    toolkit::CheckBox* constant_frame_rate = nullptr;
    std::array<toolkit::Option*, CSettingArea::kHotkeyCount> hotkey_options{};
    toolkit::CheckBox* ctrl = nullptr;
    toolkit::CheckBox* shift = nullptr;
    toolkit::CheckBox* alt = nullptr;
    toolkit::Combo* key_combo = nullptr;
    toolkit::CheckBox* boot_start = nullptr;
    toolkit::CheckBox* start_begin = nullptr;
    toolkit::CheckBox* count_down = nullptr;
    toolkit::Combo* count_down_val = nullptr;
    toolkit::CheckBox* record_hide_wnd = nullptr;
    toolkit::CheckBox* close_to_exit = nullptr;
    toolkit::CheckBox* close_to_hide = nullptr;
    toolkit::CheckBox* hide_desk_area_wnd = nullptr;
};

namespace {

constexpr const char* kFolderChooserTitle = "选择录制文件存储目录";
constexpr const char* kCaption = "Miravo";
constexpr const char* kAutostartFailedText = "设置开机启动失败！";
// Sent by the autostart box to itself, so that its failure's message runs after the click.
constexpr const char* kAutostartFailed = "autostart_failed";
constexpr const char* kCloseExitsTip = "退出程序";
constexpr const char* kCloseHidesTip = "最小化到系统托盘";
constexpr const char* kHotkeysNeedFocus = "此桌面不提供全局快捷键服务：热键可能只在本程序窗口获得焦点时有效";
constexpr const char* kHotkeyNotice =
    "此桌面不提供全局快捷键服务：热键只在本程序窗口获得焦点时有效（点击关闭此提示）";
const QColor kKeyComboBorder = QColor::fromRgba(0xFF656565);
const QColor kKeyComboRefused = QColor::fromRgba(0xFFFF0000);

constexpr const settings::Setting* kHotkeySettings[] = {&settings::kHotkeyStartStop, &settings::kHotkeyPause,
                                                        &settings::kHotkeySelectRegion,
                                                        &settings::kHotkeyShowHide};
constexpr const char* kHotkeyOptions[] = {"start_stop_item", "pause_continue_item", "select_desktop_rgn_item",
                                          "show_hide_main_wnd"};

// The check boxes that store nothing but their own state, under their own name.
struct FlagBox {
    toolkit::CheckBox* SettingControls::*box;
    const settings::Setting* setting;
};
constexpr FlagBox kFlagBoxes[] = {
    {&SettingControls::record_mouse, &settings::kRecordMouse},
    {&SettingControls::constant_frame_rate, &settings::kConstantFrameRate},
    {&SettingControls::start_begin, &settings::kStartBeginRecord},
    {&SettingControls::record_hide_wnd, &settings::kRecordHideWnd},
    {&SettingControls::hide_desk_area_wnd, &settings::kHideDeskAreaWnd},
};

// The modifier boxes and the HotkeyValue flag each one sets.
struct ModifierBox {
    toolkit::CheckBox* SettingControls::*box;
    uint8_t flag;
};
constexpr ModifierBox kModifierBoxes[] = {
    {&SettingControls::ctrl, settings::HotkeyValue::kCtrl},
    {&SettingControls::shift, settings::HotkeyValue::kShift},
    {&SettingControls::alt, settings::HotkeyValue::kAlt},
};

// Finds `name` inside `page` as a T; the first failure is kept in `error`.
template <class T>
void FindAs(toolkit::Control& page, std::string_view name, T*& out, Error& error) {
    out = dynamic_cast<T*>(toolkit::findChild(page, name));
    if (!out && error.ok())
        error = Error(ErrorCode::kNotFound, "settings page: control " + std::string(name) + " is missing");
}

bool IsChecked(const toolkit::CheckBox* box) {
    return box && box->isChecked();
}

// "start with the session": the autostart entry for this program, or none. The failure is logged
// and returned.
Error SetAutostart(bool on) {
    settings::RunValue entry;
    const std::string program = settings::ProgramPath();
    Error result;
    if (!on)
        result = entry.Remove();
    else if (program.empty())
        result = Error(ErrorCode::kNotFound, "the program's own path is unknown");
    else
        result = entry.Write(program);
    log::Failure(result, "start with the session");
    return result;
}

}  // namespace

std::string HotkeyText(const HotkeySlot& slot) {
    if (!slot.registered) return {};
    return desktop::HotkeyService::ChordText(slot.value.modifiers, slot.value.key_code);
}

void AppendHotkeyToTooltip(toolkit::Control& control, const HotkeySlot& slot) {
    control.setToolTip(TooltipWithHotkey(control.toolTip(), HotkeyText(slot)));
}

CSettingArea::CSettingArea() : controls_(std::make_unique<SettingControls>()) {}

CSettingArea::~CSettingArea() {}

// The set-up steps in their order; the first failure ends it.
Error CSettingArea::Init(Shell& shell, CFileList* recordings) {
    shell_ = &shell;
    recordings_ = recordings;
    // The page is set up as if shown, and keeps the visibility it had.
    const bool was_hidden = !isVisible();
    if (was_hidden) setVisible(true);
    Error error = FindControls();
    if (error.ok()) error = LoadOutputFolder();
    if (error.ok()) {
        LoadFrameRate();
        LoadFlag(&SettingControls::record_mouse);
        LoadFlag(&SettingControls::constant_frame_rate);
        LoadHotkeys();
        controls_->boot_start->setChecked(settings::RunValue().IsCheckedFor(settings::ProgramPath()), false);
        LoadFlag(&SettingControls::start_begin);
        LoadCountDown();
        LoadFlag(&SettingControls::record_hide_wnd);
        LoadCloseChoice();
        LoadFlag(&SettingControls::hide_desk_area_wnd);
        AttachHandlers();
    }
    if (was_hidden) setVisible(false);
    return error;
}

Error CSettingArea::FindControls() {
    SettingControls& c = *controls_;
    Error error;
    FindAs(*this, "output_dir", c.output_dir, error);
    FindAs(*this, "browse_btn", c.browse, error);
    FindAs(*this, "desktop_frames", c.frames, error);
    FindAs(*this, "record_mouse", c.record_mouse, error);
    FindAs(*this, "constant_frame_rate", c.constant_frame_rate, error);
    for (std::size_t slot = 0; slot < kHotkeyCount; ++slot)
        FindAs(*this, kHotkeyOptions[slot], c.hotkey_options[slot], error);
    FindAs(*this, "ctrl_key", c.ctrl, error);
    FindAs(*this, "shift_key", c.shift, error);
    FindAs(*this, "alt_key", c.alt, error);
    FindAs(*this, "key_combo", c.key_combo, error);
    FindAs(*this, "boot_start_program", c.boot_start, error);
    FindAs(*this, "start_begin_record", c.start_begin, error);
    FindAs(*this, "count_down", c.count_down, error);
    FindAs(*this, "count_down_val", c.count_down_val, error);
    FindAs(*this, "record_hide_wnd", c.record_hide_wnd, error);
    FindAs(*this, "close_to_exit", c.close_to_exit, error);
    FindAs(*this, "close_to_hide", c.close_to_hide, error);
    FindAs(*this, "hide_desk_area_wnd", c.hide_desk_area_wnd, error);
    return error;
}

// The stored folder while it exists; else "Miravo文件" in the documents folder, created and stored.
Error CSettingArea::LoadOutputFolder() {
    Result<std::string> folder = settings::ResolveOutputFolder(shell_->Settings());
    if (!folder.ok()) return folder.error().Within("settings page");
    controls_->output_dir->setText(*folder);
    return {};
}

// A box that shows one stored 0/1 value under its own name.
void CSettingArea::LoadFlag(toolkit::CheckBox* SettingControls::*box) {
    for (const FlagBox& flag : kFlagBoxes) {
        if (flag.box == box)
            (controls_.get()->*box)->setChecked(ReadSetting(shell_->Settings(), *flag.setting) == 1, false);
    }
}

void CSettingArea::LoadFrameRate() {
    toolkit::Combo& frames = *controls_->frames;
    std::vector<std::string> texts;
    for (int i = 0; i < frames.count(); ++i) texts.push_back(frames.itemAt(i)->text());
    const uint32_t stored = ReadSetting(shell_->Settings(), settings::kDesktopFrames);
    if (const auto item = FrameRateItem(texts, stored)) frames.selectItem(static_cast<int>(*item), false);
}

// Each slot's stored value (bits 3..23 cleared) is kept even when its key cannot be registered.
// The page then shows slot 0, and the record page's buttons show their hotkeys.
void CSettingArea::LoadHotkeys() {
    for (std::size_t slot = 0; slot < kHotkeyCount; ++slot) {
        HotkeySlot& s = hotkeys_[slot];
        s.id = kFirstHotkeyId + static_cast<uint32_t>(slot);
        s.value = settings::HotkeyValue::Unpack(ReadSetting(shell_->Settings(), *kHotkeySettings[slot]));
        RegisterHotkey(s);
        if (s.registered) log::Writef(log::Level::kInfo, "hotkey %u is %s", s.id, HotkeyText(s).c_str());
    }
    toolkit::Option& first = *controls_->hotkey_options[0];
    first.setSelected(true, false);
    toolkit::Notification selected;
    selected.type = "selectchanged";
    selected.sender = &first;
    OnHotkeyOption(selected);
    for (std::size_t slot = 0; slot < kHotkeyButtons.size(); ++slot) ShowHotkeyOnButton(slot);
    ShowHotkeyReach();
}

// X11 grabs under a Wayland desktop reach the program only while it has the focus: the hotkey list
// says so in its tooltips, and the record page once in a notice (remembered in the store).
void CSettingArea::ShowHotkeyReach() {
    const desktop::HotkeyService* service = shell_->Hotkeys();
    if (!service || service->Global()) return;
    log::Warning(std::string("settings page: ") + kHotkeysNeedFocus);
    for (toolkit::Option* option : controls_->hotkey_options)
        option->setToolTip(toolkit::Tr(kHotkeysNeedFocus));
    controls_->key_combo->setToolTip(toolkit::Tr(kHotkeysNeedFocus));
    if (ReadSetting(shell_->Settings(), settings::kHotkeyFocusNotice) == 1) return;
    ShowHotkeyNotice();
}

// A bar across the foot of the record page; a click on it closes it.
void CSettingArea::ShowHotkeyNotice() {
    auto* page = shell_->MainWindow().paintManager().find<toolkit::Container>("main_record_area");
    if (!page) return;
    auto notice = std::make_unique<toolkit::Button>();
    notice->setName("hotkey_focus_notice");
    notice->setText(toolkit::Tr(kHotkeyNotice));
    notice->setFloat(true);
    constexpr int kHeight = 30, kMargin = 20;
    const QSize page_size = page->rect().isEmpty() ? QSize(808, 545) : page->rect().size();
    notice->setFloatPos(
        QRect(kMargin, page_size.height() - kHeight - 8, page_size.width() - 2 * kMargin, kHeight));
    notice->setBkColor(QColor(0xFF, 0xD8, 0x6B));
    notice->setAttribute("textcolor", "#FF202020");
    notice->setAttribute("align", "center");
    notice->addNotifyHandler([](toolkit::Notification& n) {
        if (n.type == "click" && n.sender) n.sender->setVisible(false);
        return true;
    });
    page->add(std::move(notice));
    StoreSetting(shell_->Settings(), settings::kHotkeyFocusNotice, 1);
    log::Info("record page: the notice that the hotkeys need the focus is shown (once)");
}

// "count_down_val" 1..5 (0 or missing reads as 3, above 5 as 5); then the box's handler stores
// "count_down" back and enables the seconds with it.
void CSettingArea::LoadCountDown() {
    settings::SettingsKey& key = shell_->Settings();
    controls_->count_down->setChecked(ReadSetting(key, settings::kCountDown) == 1, false);
    const uint32_t seconds = ReadSetting(key, settings::kCountDownVal);
    controls_->count_down_val->selectItem(static_cast<int>(seconds) - 1, false);
    toolkit::Notification changed;
    changed.type = "selectchanged";
    changed.sender = controls_->count_down;
    OnSettingsNotify(changed);
}

// "close_to" chooses first; the ini's "CloseWnd" overrides it and is written back. The close
// button's tooltip names what the close button will do.
void CSettingArea::LoadCloseChoice() {
    Shell& shell = *shell_;
    const bool exits = settings::CloseButtonExits(shell.Settings(), shell.Ini());
    (exits ? controls_->close_to_exit : controls_->close_to_hide)->setSelected(true, false);
    ShowCloseChoiceTooltip(exits);
    log::Failure(shell.Ini().WriteString("soft", "CloseWnd", exits ? "Yes" : "No"),
                 "cannot store the close choice");
}

void CSettingArea::AttachHandlers() {
    SettingControls& c = *controls_;
    auto settings = [this](toolkit::Notification& n) {
        OnSettingsNotify(n);
        return true;
    };
    for (toolkit::Control* control :
         {static_cast<toolkit::Control*>(c.browse), static_cast<toolkit::Control*>(c.frames),
          static_cast<toolkit::Control*>(c.count_down_val), static_cast<toolkit::Control*>(c.record_mouse),
          static_cast<toolkit::Control*>(c.boot_start), static_cast<toolkit::Control*>(c.start_begin),
          static_cast<toolkit::Control*>(c.count_down), static_cast<toolkit::Control*>(c.record_hide_wnd),
          static_cast<toolkit::Control*>(c.close_to_hide), static_cast<toolkit::Control*>(c.close_to_exit),
          static_cast<toolkit::Control*>(c.hide_desk_area_wnd),
          static_cast<toolkit::Control*>(c.constant_frame_rate)})
        control->addNotifyHandler(settings);
    for (toolkit::Option* option : c.hotkey_options) {
        option->addNotifyHandler([this](toolkit::Notification& n) {
            OnHotkeyOption(n);
            return true;
        });
    }
    auto apply = [this](toolkit::Notification& n) {
        ApplyHotkey(n);
        return true;
    };
    for (const ModifierBox& modifier : kModifierBoxes) (c.*modifier.box)->addNotifyHandler(apply);
    c.key_combo->addNotifyHandler(apply);
}

void CSettingArea::OnSettingsNotify(toolkit::Notification& n) {
    Shell* shell = shell_;
    if (!shell) return;
    SettingControls& c = *controls_;
    settings::SettingsKey& key = shell->Settings();
    if (n.type == "click") {
        if (n.sender == c.browse) FolderPicker();
        return;
    }
    if (n.type == kAutostartFailed) {
        toolkit::showMessageBox(&shell->MainWindow(), std::exchange(autostart_failure_, {}), kCaption,
                                toolkit::MessageIcon::kError);
        return;
    }
    if (n.type == "itemselect") {
        if (n.sender == c.frames) {
            if (const uint32_t rate = FrameRate(); rate != 0)
                StoreSetting(key, settings::kDesktopFrames, rate);
        } else if (n.sender == c.count_down_val) {
            const int index = c.count_down_val->currentSelection();
            if (index >= 0 && index < 5)
                StoreSetting(key, settings::kCountDownVal, static_cast<uint32_t>(index + 1));
        }
        return;
    }
    if (n.type != "selectchanged") return;
    for (const FlagBox& flag : kFlagBoxes) {
        if (n.sender == c.*flag.box) StoreSetting(key, *flag.setting, IsChecked(c.*flag.box) ? 1 : 0);
    }
    if (n.sender == c.count_down) {
        const bool on = c.count_down->isChecked();
        StoreSetting(key, settings::kCountDown, on ? 1 : 0);
        c.count_down_val->setEnabled(on);
        if (toolkit::Control* item = c.count_down_val->itemAt(c.count_down_val->currentSelection()))
            item->setEnabled(on);
    } else if (n.sender == c.boot_start) {
        if (Error e = SetAutostart(c.boot_start->isChecked()); !e.ok()) {
            // The box shows what the desktop will do; the message comes after this handler.
            c.boot_start->setChecked(settings::RunValue().IsCheckedFor(settings::ProgramPath()), false);
            autostart_failure_ = LogPointingText(kAutostartFailedText, e, log::DefaultLogPath());
            if (toolkit::PaintManager* m = manager())
                m->sendNotify(c.boot_start, kAutostartFailed, 0, 0, true);
        }
    } else if (n.sender == c.close_to_hide || n.sender == c.close_to_exit) {
        const bool exits = c.close_to_exit->isSelected();
        settings::StoreCloseChoice(key, shell->Ini(), exits);
        ShowCloseChoiceTooltip(exits);
    }
}

// A hotkey option was chosen: the modifier boxes and the key list show its slot. The list offers
// no key another slot uses; a slot whose key is not offered gets "无", which is stored at once.
void CSettingArea::OnHotkeyOption(toolkit::Notification& n) {
    SettingControls& c = *controls_;
    const auto option = std::find(c.hotkey_options.begin(), c.hotkey_options.end(), n.sender);
    if (n.type != "selectchanged" || option == c.hotkey_options.end() || !(*option)->isSelected()) return;
    const auto slot = static_cast<std::size_t>(option - c.hotkey_options.begin());
    const HotkeySlot& edited = hotkeys_[slot];
    c.key_combo->removeAll();
    for (const ModifierBox& modifier : kModifierBoxes)
        (c.*modifier.box)->setChecked((edited.value.modifiers & modifier.flag) != 0, false);
    std::array<settings::HotkeyValue, kHotkeyCount> values;
    for (std::size_t i = 0; i < kHotkeyCount; ++i) values[i] = hotkeys_[i].value;
    const KeyOffer offer = OfferedKeys(values, slot);
    for (const HotkeyKey& key : offer.items) c.key_combo->addItem(std::string(key.text), key.code, 24);
    if (offer.selected)
        c.key_combo->selectItem(static_cast<int>(*offer.selected), false);
    else
        c.key_combo->selectItem(c.key_combo->count() - 1, true);
    ShowKeyComboBorder(hotkeys_[slot]);
}

// A modifier box or the key list changed the edited slot: register the new chord in place of the
// old one and store it, also when the system refuses it.
void CSettingArea::ApplyHotkey(toolkit::Notification& n) {
    SettingControls& c = *controls_;
    const int edited = SelectedHotkeySlot();
    Shell* shell = shell_;
    if (edited < 0 || !shell) return;
    HotkeySlot& slot = hotkeys_[static_cast<std::size_t>(edited)];
    settings::HotkeyValue value = slot.value;
    if (n.type == "selectchanged") {
        const auto modifier = std::find_if(std::begin(kModifierBoxes), std::end(kModifierBoxes),
                                           [&](const ModifierBox& m) { return n.sender == c.*m.box; });
        if (modifier == std::end(kModifierBoxes)) return;
        value.modifiers = (c.*modifier->box)->isChecked() ? value.modifiers | modifier->flag
                                                          : value.modifiers & ~modifier->flag;
    } else if (n.type == "itemselect" && n.sender == c.key_combo) {
        const toolkit::Control* item = c.key_combo->itemAt(c.key_combo->currentSelection());
        if (!item) return;
        value.key_code = static_cast<uint8_t>(item->tag());
    } else {
        return;
    }
    if (value == slot.value) return;
    if (slot.registered && shell->Hotkeys()) shell->Hotkeys()->Unregister(static_cast<int>(slot.id));
    slot.registered = false;
    slot.value = value;
    RegisterHotkey(slot);
    ShowKeyComboBorder(slot);
    StoreSetting(shell->Settings(), *kHotkeySettings[edited], value.Pack());
    log::Writef(log::Level::kInfo, "hotkey %u changed to %08x (%s)", slot.id, value.Pack(),
                slot.registered ? "registered" : "not registered");
    if (static_cast<std::size_t>(edited) < kHotkeyButtons.size())
        ShowHotkeyOnButton(static_cast<std::size_t>(edited));
}

// The chooser runs beside the event loop; its answer is stored and shown here, on the
// user-interface thread, unless the page is gone by then.
void CSettingArea::FolderPicker() {
    Shell* shell = shell_;
    if (!shell || choosing_folder_) return;
    choosing_folder_ = true;
    controls_->browse->invalidate();
    toolkit::chooseFolder(shell->MainWindow(), toolkit::Tr(kFolderChooserTitle), OutputFolder(),
                          [this, alive = std::weak_ptr<int>(alive_)](std::optional<std::string> folder) {
                              if (alive.expired()) return;
                              choosing_folder_ = false;
                              if (folder) OnFolderChosen(*folder);
                              // The pointer left the browse button for the chooser.
                              if (manager()) manager()->mouseLeave();
                          });
}

void CSettingArea::OnFolderChosen(const std::string& folder) {
    Shell* shell = shell_;
    if (!shell) return;
    log::Failure(shell->Settings().WriteString(settings::kOutputDir.name, folder),
                 "cannot store the output folder " + folder);
    controls_->output_dir->setText(folder);
    log::Writef(log::Level::kInfo, "output folder is now %s", folder.c_str());
    // The recordings list stops watching the old folder, shows the new one's recordings and
    // watches it.
    if (recordings_) recordings_->ChangeFolder(folder);
}

void CSettingArea::RegisterHotkey(HotkeySlot& slot) {
    slot.registered = false;
    desktop::HotkeyService* service = shell_->Hotkeys();
    if (!service || !IsRegistrableKey(slot.value.key_code)) return;
    const Error result =
        service->Register(static_cast<int>(slot.id), slot.value.modifiers, slot.value.key_code);
    slot.registered = result.ok();
    log::Failure(result, "hotkey " + std::to_string(slot.id));
}

void CSettingArea::ShowKeyComboBorder(const HotkeySlot& slot) {
    controls_->key_combo->setBorderColor(slot.registered ? kKeyComboBorder : kKeyComboRefused);
}

void CSettingArea::ShowHotkeyOnButton(std::size_t slot) {
    if (!manager()) return;
    if (toolkit::Control* button = manager()->findControl(kHotkeyButtons.at(slot)))
        AppendHotkeyToTooltip(*button, hotkeys_[slot]);
}

void CSettingArea::ShowCloseChoiceTooltip(bool exits) {
    if (!manager()) return;
    if (auto* close = manager()->find<toolkit::Button>("main_closebtn"))
        close->setToolTip(toolkit::Tr(exits ? kCloseExitsTip : kCloseHidesTip));
}

int CSettingArea::SelectedHotkeySlot() const {
    const auto& options = controls_->hotkey_options;
    for (std::size_t slot = 0; slot < options.size(); ++slot) {
        if (options[slot] && options[slot]->isSelected()) return static_cast<int>(slot);
    }
    return -1;
}

std::string CSettingArea::OutputFolder() const {
    return controls_->output_dir ? controls_->output_dir->text() : std::string();
}

uint32_t CSettingArea::FrameRate() const {
    return ItemNumber(FrameRateText());
}

std::string CSettingArea::FrameRateText() const {
    const toolkit::Combo* frames = controls_->frames;
    const toolkit::Control* item = frames ? frames->itemAt(frames->currentSelection()) : nullptr;
    return item ? item->text() : std::string();
}

bool CSettingArea::RecordMouse() const {
    return IsChecked(controls_->record_mouse);
}

bool CSettingArea::ConstantFrameRate() const {
    return IsChecked(controls_->constant_frame_rate);
}

bool CSettingArea::StartBeginRecord() const {
    return IsChecked(controls_->start_begin);
}

std::chrono::seconds CSettingArea::CountDown() const {
    if (!IsChecked(controls_->count_down)) return std::chrono::seconds(0);
    return std::chrono::seconds(controls_->count_down_val->currentSelection() + 1);
}

bool CSettingArea::RecordHideWnd() const {
    return IsChecked(controls_->record_hide_wnd);
}

bool CSettingArea::HideDeskAreaWnd() const {
    return IsChecked(controls_->hide_desk_area_wnd);
}

}  // namespace vexa::ui
