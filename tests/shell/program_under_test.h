// The real VexaRecorder, started for a test on the test environment's display: a private copy of
// the program in a fresh folder (so its ini beside the program is the test's own), a fresh HOME,
// and helpers to find its windows and drive them with the X test extension.
// One thread; the program is killed when the object goes.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vexa::test {

struct WindowState {
    unsigned long window = 0;
    bool viewable = false;
    int x = 0, y = 0, width = 0, height = 0;  // in root coordinates
};

class ProgramUnderTest {
  public:
    ProgramUnderTest();  // copies the program; starts nothing
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Starts one more copy of the program with the arguments; returns its process id.
    pid_t Start(const std::vector<std::string>& arguments = {});
    // Waits for the process to end; its exit code (-1 as 255), or nullopt on time-out or signal.
    std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds timeout);
    [[nodiscard]] bool Running(pid_t pid);

    // The first top-level window with that class and title, waited for up to `timeout`.
    std::optional<WindowState> FindWindow(const std::string& window_class, const std::string& title,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the window's viewable state is `viewable`; false on time-out.
    bool WaitViewable(unsigned long window, bool viewable,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
    [[nodiscard]] WindowState State(unsigned long window);

    // A plain mapped window of our own with that class and title (kept until the object goes).
    unsigned long CreateWindow(const std::string& window_class, const std::string& title);

    // Mouse and keys through XTest, at root coordinates.
    void Click(int x, int y, int button = 1);
    void DoubleClick(int x, int y);
    void PressKey(const char* keysym_name);

    [[nodiscard]] const TempFolder& Folder() const { return folder_; }
    [[nodiscard]] std::string Home() const { return folder_.File("home"); }
    [[nodiscard]] std::string IniText() const;
    [[nodiscard]] std::string SettingsText() const;
    [[nodiscard]] std::string LogText() const;

  private:
    TempFolder folder_;
    std::string program_;
    Display* display_ = nullptr;
    std::vector<pid_t> started_;
};

}  // namespace vexa::test
