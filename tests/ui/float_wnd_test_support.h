// What the floating bar's window tests share: the skin linked into the program, a shell of their own
// over a settings store in a temporary folder (the record page that owns the bar in the program is
// played by FakeHost), and a clock the test moves itself. User-interface thread only.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/settings_ini.h"
#include "app/settings_key.h"
#include "tests/support/temp_folder.h"
#include "toolkit/application.h"
#include "toolkit/skin_archive.h"
#include "toolkit/window.h"
#include "ui/float_wnd.h"
#include "ui/shell.h"

namespace vexa::ui::testing {

inline void UseProgramSkin() {
    if (toolkit::processSkin()) return;
    auto skin = toolkit::SkinArchive::openEmbedded();
    ASSERT_TRUE(skin.ok()) << skin.error().message();
    toolkit::setProcessSkin(skin.value());
}

class PlainWindow : public toolkit::Window {
  public:
    [[nodiscard]] std::string windowClassName() const override { return "Vexa_Test_Window"; }
};

// The shell the main window would be: a settings store in a fresh folder and a stand-in main window.
class TestShell final : public Shell {
  public:
    TestShell()
        : settings_(app::SettingsKey::Open(folder_.File("settings.reg")).value()),
          ini_(folder_.File("VexaRecorder.ini")) {
        Register(this);
    }
    ~TestShell() override { Unregister(this); }
    TestShell(const TestShell&) = delete;
    TestShell& operator=(const TestShell&) = delete;

    [[nodiscard]] std::string StorePath() const { return folder_.File("settings.reg"); }

    [[nodiscard]] app::SettingsKey& Settings() override { return *settings_; }
    [[nodiscard]] app::SettingsIni& Ini() override { return ini_; }
    [[nodiscard]] const DeviceLists& Devices() const override { return devices_; }
    [[nodiscard]] QSize ScreenSize() const override { return toolkit::primaryScreenSize(); }
    [[nodiscard]] toolkit::Window& MainWindow() override { return main_; }
    [[nodiscard]] desktop::HotkeyService* Hotkeys() override { return nullptr; }

  private:
    test::TempFolder folder_;
    std::unique_ptr<app::SettingsKey> settings_;
    app::SettingsIni ini_;
    DeviceLists devices_;
    PlainWindow main_;
};

// The record page as the bar sees it.
class FakeHost : public FloatWndHost {
  public:
    [[nodiscard]] int RecordingState() const override { return state; }
    [[nodiscard]] bool FloatAutoHide() const override { return auto_hide; }
    void SetFloatAutoHide(bool on) override { auto_hide = on; }
    void OnFloatCommand(FloatCommand command) override {
        commands.push_back(command);
        if (on_command) on_command(command);
    }

    int state = 0;
    bool auto_hide = false;
    std::vector<FloatCommand> commands;
    std::function<void(FloatCommand)> on_command;
};

// A clock that moves only when the test says so.
struct ManualTime {
    SteadyTime now = SteadyTime{} + std::chrono::hours(1000);
    [[nodiscard]] TimeSource Source() {
        return [this] { return now; };
    }
};

}  // namespace vexa::ui::testing
