// A ui::Shell for tests of the recorder's windows without the real main window. By default: a
// settings store and ini in a private folder, a plain visible main window on the display, the
// cameras the platform finds (or device lists of the test's own), the primary screen's size and no
// hotkey service. TestShellOptions replace any of these with the test's own: a main window it
// builds (the main layout, say), a fixed screen size, a real hotkey service, a store and ini it
// keeps across several shells. Also here: the program's skin for the process, event-loop pumps,
// and helpers that drive the real pointer and keyboard with the X test extension.
// Ownership: whatever the options name is the test's and must outlive the shell.
// One thread (the test's, which is the user-interface thread).
#pragma once

#include <QPoint>
#include <QSize>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "settings/settings_ini.h"
#include "settings/settings_key.h"
#include "tests/support/temp_folder.h"
#include "toolkit/window.h"
#include "ui/shell.h"

struct _XDisplay;  // Xlib's Display, kept out of this header: its macros clash with the toolkit

namespace vexa::test {

// Makes the skin linked into the program the process's skin, unless one is set already. Windows
// take the process's skin when they are constructed, so this comes before the first window.
// Throws std::runtime_error naming the reason when the skin cannot be opened.
void UseProgramSkin();

class TestMainWindow : public toolkit::Window {
  public:
    [[nodiscard]] std::string windowClassName() const override { return "VexaRecorder_Main_Window"; }
};

struct TestShellOptions {
    // The window the pages see as the main window; null: the shell's own TestMainWindow.
    toolkit::Window* main_window = nullptr;
    // Whether the shell's own main window is created (shown at 40, 40), or stays a window the
    // window system never knew (an owner for windows that must not depend on one on the display).
    bool create_main_window = true;
    // The screen size the pages see; unset: the primary screen's.
    std::optional<QSize> screen_size = std::nullopt;
    // The service the pages register their hotkeys with; null: none, as without an X display.
    desktop::HotkeyService* hotkeys = nullptr;
    // A store and an ini the test keeps (for values written before the shell exists, or shared by
    // the shells of several main windows in turn); null: fresh ones in the shell's private folder.
    settings::SettingsKey* settings = nullptr;
    settings::SettingsIni* ini = nullptr;
};

class TestShell : public ui::Shell {
  public:
    // Installs the program's skin and registers itself; throws std::runtime_error when the store
    // cannot be opened or the main window cannot be created.
    explicit TestShell(TestShellOptions options = {});
    ~TestShell() override;
    TestShell(const TestShell&) = delete;
    TestShell& operator=(const TestShell&) = delete;

    [[nodiscard]] settings::SettingsKey& Settings() override { return *settings_; }
    [[nodiscard]] settings::SettingsIni& Ini() override { return *ini_; }
    [[nodiscard]] const ui::DeviceLists& Devices() const override { return devices_; }
    [[nodiscard]] QSize ScreenSize() const override;
    [[nodiscard]] toolkit::Window& MainWindow() override { return *main_; }
    [[nodiscard]] desktop::HotkeyService* Hotkeys() override { return hotkeys_; }
    // The main window, for the test to drive.
    [[nodiscard]] toolkit::Window& Main() { return *main_; }
    // Replaces the device lists (the cameras the platform finds, no sound devices) before the pages
    // read them.
    void SetDevices(ui::DeviceLists devices) { devices_ = std::move(devices); }

  private:
    // First: windows take the process's skin when they are constructed.
    [[maybe_unused]] const bool skin_installed_;
    TempFolder folder_;
    std::unique_ptr<settings::SettingsKey> own_settings_;  // null when the test lends its store
    std::unique_ptr<settings::SettingsIni> own_ini_;       // null when the test lends its ini
    std::unique_ptr<TestMainWindow> own_main_;             // null when the test gives its main window
    settings::SettingsKey* settings_ = nullptr;
    settings::SettingsIni* ini_ = nullptr;
    toolkit::Window* main_ = nullptr;
    desktop::HotkeyService* hotkeys_ = nullptr;
    std::optional<QSize> screen_size_;
    ui::DeviceLists devices_;
};

// Runs the event loop for `span`.
void Pump(std::chrono::milliseconds span);
inline void Pump(int ms) {
    Pump(std::chrono::milliseconds(ms));
}
// Runs the event loop until `done` holds or `timeout` passes; returns `done`'s last answer.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
inline bool PumpUntil(const std::function<bool()>& done, int ms) {
    return PumpUntil(done, std::chrono::milliseconds(ms));
}

// The pointer and keyboard of the display, through XTest.
class TestInput {
  public:
    TestInput();
    ~TestInput();
    TestInput(const TestInput&) = delete;
    TestInput& operator=(const TestInput&) = delete;

    void MoveTo(QPoint screen);
    void Press();
    void Release();
    void Click(QPoint screen);
    // Drags with the left button from `from` to `to` in a few steps.
    void Drag(QPoint from, QPoint to);
    void Key(const char* keysym_name, bool down);

  private:
    _XDisplay* display_ = nullptr;
};

}  // namespace vexa::test
