// The recordings list as the tests and the benchmark see it: the list declared as on the record
// page, in an offscreen window that relays the watcher's message the way the main window does and
// plays the main window of a test shell (settings in a private folder, the program's skin).
// User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include <QApplication>

#include "tests/ui/test_shell.h"
#include "toolkit/window.h"
#include "ui/file_list.h"

namespace vexa::test {

// The offscreen Qt application and the program's skin; throws std::runtime_error without the skin.
// The caller keeps the application until the end (before static destruction).
[[nodiscard]] std::unique_ptr<QApplication> StartOffscreenUi(const char* program_name);

class FileListWindow : public toolkit::Window {
  public:
    static constexpr int kWidth = 700, kHeight = 200;  // about five rows in view

    std::string windowClassName() const override { return "Vexa_FileList_Test"; }
    bool onCreate() override;
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& m) override;
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
    FileListWindow window_;
    TestShell shell_{{.main_window = &window_}};
    ui::CFileList* list_ = nullptr;
};

}  // namespace vexa::test
