// The recordings list as the tests and the benchmark see it: the list declared as on the record
// page, in an offscreen window that relays the watcher's message the way the main window does, a
// shell of its own (settings in a private folder) and the program's skin.
// User-interface thread only.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>

#include "app/settings_ini.h"
#include "app/settings_key.h"
#include "tests/support/temp_folder.h"
#include "toolkit/window.h"
#include "ui/file_list.h"
#include "ui/shell.h"

namespace vexa::test {

// The offscreen Qt application and the program's skin; aborts without them. The caller keeps the
// application until the end (before static destruction).
[[nodiscard]] std::unique_ptr<QApplication> StartOffscreenUi(const char* program_name);

// Runs the event loop until `done` holds; false after `timeout`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

class FileListWindow : public toolkit::Window {
  public:
    static constexpr int kWidth = 700, kHeight = 200;  // about five rows in view

    std::string windowClassName() const override { return "Vexa_FileList_Test"; }
    bool onCreate() override;
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& m) override;
};

class TestShell final : public ui::Shell {
  public:
    TestShell(app::SettingsKey& key, app::SettingsIni& ini, toolkit::Window& window);
    ~TestShell() override;
    app::SettingsKey& Settings() override { return key_; }
    app::SettingsIni& Ini() override { return ini_; }
    const ui::DeviceLists& Devices() const override { return devices_; }
    QSize ScreenSize() const override { return {1920, 1080}; }
    toolkit::Window& MainWindow() override { return window_; }
    desktop::HotkeyService* Hotkeys() override { return nullptr; }

  private:
    app::SettingsKey& key_;
    app::SettingsIni& ini_;
    toolkit::Window& window_;
    ui::DeviceLists devices_;
};

// Settings with "output_dir" naming `folder`, the window with its list, and the shell.
class FileListUnderTest {
  public:
    explicit FileListUnderTest(const std::string& folder);  // throws std::runtime_error
    ~FileListUnderTest();

    [[nodiscard]] ui::CFileList& List() const { return *list_; }
    [[nodiscard]] FileListWindow& Window() { return window_; }
    // Lays the window out and paints it, as showing it would.
    void Render();

  private:
    TempFolder settings_folder_;
    std::unique_ptr<app::SettingsKey> settings_;
    app::SettingsIni ini_{settings_folder_.File("VexaRecorder.ini")};
    FileListWindow window_;
    std::unique_ptr<TestShell> shell_;
    ui::CFileList* list_ = nullptr;
};

}  // namespace vexa::test
