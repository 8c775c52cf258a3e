// CMainWnd: the program's one main window "Miravo" (class "VexaRecorder_Main_Window", 960 x 593,
// dragged by its 50-pixel caption) and the owner of process-wide state: the settings store, the
// ini, the device lists, the primary screen's size, the identity values and the update check. It
// builds "MainWnd.xml" through CControlCreate, routes the global hotkeys to the record page,
// brings itself to the front for a second start, asks on closing (exit or tray) and keeps the
// tray icon while it sits in the tray.
//
// Ownership: AppMain owns the one object. The pages belong to its control tree; the window keeps
// them at creation and hands each page the others it works with, as references.
// Threads: everything on the user-interface thread. Other threads reach it by posting or sending
// messages: the hotkey service posts kMsgHotkey, a second instance posts kMsgActivateMain, the
// recordings list's watcher sends MSG_FOLDER_CHANGES.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "settings/identity_values.h"
#include "settings/settings_ini.h"
#include "settings/settings_key.h"
#include "platform/error.h"
#include "toolkit/tray_icon.h"
#include "toolkit/window.h"
#include "ui/shell.h"

namespace vexa::net {
class NetworkLibrary;
class UpdateThread;
}  // namespace vexa::net

namespace vexa::ui {
class CFileList;
class CRecordArea;
class CSettingArea;
}  // namespace vexa::ui

namespace vexa::app {

class CLeftTabBar;
class CTitleBar;

inline constexpr std::uint32_t kMsgActivateMain = toolkit::kUserMessage + 100;
inline constexpr std::uint32_t kMsgTrayIcon = toolkit::kUserMessage + 126;

inline constexpr const char* kMainWindowClass = "VexaRecorder_Main_Window";
inline constexpr const char* kMainWindowTitle = "Miravo";

class CMainWnd final : public toolkit::Window, public toolkit::NotifyReceiver, public ui::Shell {
  public:
    // The construction steps: program paths, the network library (a message box when it fails),
    // the identity values, the update check.
    CMainWnd();
    ~CMainWnd() override;

    // Why the window could not be created (after create() returned false).
    [[nodiscard]] const Error& CreateError() const { return create_error_; }

    // --- toolkit::Window ---
    [[nodiscard]] std::string windowClassName() const override { return kMainWindowClass; }
    bool onCreate() override;
    bool onCloseRequest() override;
    void onDestroy() override;
    void onFinalMessage() override;
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& message) override;
    [[nodiscard]] toolkit::HitTest hitTest(const QPoint& client) const override;
    bool onMouse(const toolkit::MouseInput& input) override;
    void notify(toolkit::Notification& notification) override;

    // --- ui::Shell ---
    [[nodiscard]] settings::SettingsKey& Settings() override { return *settings_; }
    [[nodiscard]] settings::SettingsIni& Ini() override { return ini_; }
    [[nodiscard]] const ui::DeviceLists& Devices() const override { return devices_; }
    [[nodiscard]] QSize ScreenSize() const override { return screen_size_; }
    [[nodiscard]] toolkit::Window& MainWindow() override { return *this; }
    [[nodiscard]] desktop::HotkeyService* Hotkeys() override { return hotkeys_.get(); }

    // The pages, from creation on (null before, or when creation failed).
    [[nodiscard]] ui::CRecordArea* RecordPage() const { return record_; }
    [[nodiscard]] const ui::CSettingArea* SettingsPage() const { return setting_; }

    // The primary screen now has `size` (physical pixels): kept for the pages, told to the record page.
    void OnDisplayChange(const QSize& size);
    // wparam of MSG_EXIT_OR_TRAY: true exits, false goes to the tray.
    void ExitOrTray(bool exit);
    [[nodiscard]] bool InTray() const { return tray_.Shown(); }

  private:
    [[nodiscard]] Error Create();
    // Finds the title bar, the tab bar, the record page, the settings page and the recordings list.
    [[nodiscard]] Error FindPages();
    void ShowExitChoice();
    void OnTrayIcon(toolkit::TrayClick click);
    void RestoreFromTray();
    void OnHotkey(std::uintptr_t id, std::intptr_t modifiers);
    void ShowWindowMenu();
    void StartHotkeys();

    std::string program_folder_;
    std::unique_ptr<net::NetworkLibrary> network_;
    std::unique_ptr<net::UpdateThread> update_;
    settings::SettingsIni ini_;
    settings::IdentityValues identity_;
    std::unique_ptr<settings::SettingsKey> settings_;
    ui::DeviceLists devices_;
    QSize screen_size_;
    std::unique_ptr<desktop::HotkeyService> hotkeys_;
    toolkit::TrayIcon tray_;
    // The control tree's pages, kept at creation.
    CTitleBar* title_ = nullptr;
    CLeftTabBar* tabs_ = nullptr;
    ui::CRecordArea* record_ = nullptr;
    ui::CSettingArea* setting_ = nullptr;
    ui::CFileList* files_ = nullptr;
    Error create_error_;
};

}  // namespace vexa::app
