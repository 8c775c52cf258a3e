// A ui::Shell for tests of the recorder's windows without the real main window: a settings store
// in a private folder, a plain visible main window on the display, the cameras the platform finds
// (or device lists of the test's own), and helpers that drive the real pointer and keyboard with
// the X test extension.
// One thread (the test's, which is the user-interface thread).
#pragma once

#include <QPoint>

#include <memory>
#include <utility>

#include "app/settings_ini.h"
#include "app/settings_key.h"
#include "tests/support/temp_folder.h"
#include "toolkit/window.h"
#include "ui/shell.h"

struct _XDisplay;  // Xlib's Display, kept out of this header: its macros clash with the toolkit

namespace vexa::test {

class TestMainWindow : public toolkit::Window {
  public:
    [[nodiscard]] std::string windowClassName() const override { return "VexaRecorder_Main_Window"; }
};

class TestShell : public ui::Shell {
  public:
    TestShell();  // registers itself; the main window is shown at 40, 40
    ~TestShell() override;

    [[nodiscard]] app::SettingsKey& Settings() override { return *settings_; }
    [[nodiscard]] app::SettingsIni& Ini() override { return ini_; }
    [[nodiscard]] const ui::DeviceLists& Devices() const override { return devices_; }
    [[nodiscard]] QSize ScreenSize() const override;
    [[nodiscard]] toolkit::Window& MainWindow() override { return main_; }
    [[nodiscard]] desktop::HotkeyService* Hotkeys() override { return nullptr; }
    [[nodiscard]] TestMainWindow& Main() { return main_; }
    // Replaces the device lists (the cameras the platform finds, no sound devices) before the pages
    // read them.
    void SetDevices(ui::DeviceLists devices) { devices_ = std::move(devices); }

  private:
    // First: windows take the process's skin when they are constructed.
    [[maybe_unused]] const bool skin_installed_;
    TempFolder folder_;
    std::unique_ptr<app::SettingsKey> settings_;
    app::SettingsIni ini_;
    ui::DeviceLists devices_;
    TestMainWindow main_;
};

// Runs the event loop for `ms` milliseconds.
void Pump(int ms);
// Runs the event loop until `done` holds or `ms` pass; returns `done`'s last answer.
template <class Done>
bool PumpUntil(Done done, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) return true;
        Pump(10);
    }
    return done();
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
