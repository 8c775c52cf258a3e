// The real VexaRecorder, started for a test on the test environment's display: a private copy of
// the program in a fresh folder (so its ini beside the program is the test's own), a fresh HOME,
// and helpers to find its windows, drive them with the X test extension and look at what the screen
// shows, and the texts its controls show (the program publishes them in test builds). It runs with
// the Chinese texts (LANGUAGE=zh_CN) unless a test sets another locale. Also here: the names its windows
// carry, the tabs' points in its main window, and a wait for a condition. One thread; the program is killed
// when the object goes.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen/x11_connection.h"
#include "tests/support/temp_folder.h"

namespace vexa::test {

// The main window's class; the title of the main window and the message boxes; the title of the
// windows without one of their own (the program's name).
inline constexpr const char* kMainWindowClass = "VexaRecorder_Main_Window";
inline constexpr const char* kTitle = "Miravo";
inline constexpr const char* kUntitled = "VexaRecorder";

// Points of the tabs down the left of the 960 x 593 main window.
inline constexpr int kScreenTabX = 76, kScreenTabY = 92;
inline constexpr int kSoundTabX = 76, kSoundTabY = 150;
inline constexpr int kCameraTabX = 76, kCameraTabY = 208;
inline constexpr int kSettingsTabX = 76, kSettingsTabY = 266;

// Polls `condition` every 50 ms until it holds or `timeout` passes; true when it held.
[[nodiscard]] bool WaitFor(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = std::chrono::seconds(20));

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

    // An environment variable for the starts that follow, replacing the inherited one; an empty
    // value leaves it unset.
    void SetEnvironment(const std::string& name, const std::string& value);

    // Starts one more copy of the program with the arguments; returns its process id.
    pid_t Start(const std::vector<std::string>& arguments = {});
    // Waits for the process to end; its exit code (-1 as 255), or nullopt on time-out or signal.
    std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds timeout);
    [[nodiscard]] bool Running(pid_t pid);

    // The first top-level window with that class and title, waited for up to `timeout`.
    std::optional<WindowState> FindWindow(const std::string& window_class, const std::string& title,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits until the window's viewable state is `viewable`; false on time-out.
    bool WaitViewable(unsigned long window, bool viewable,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));
    [[nodiscard]] WindowState State(unsigned long window);

    // A plain mapped window of our own with that class and title (kept until the object goes).
    unsigned long CreateWindow(const std::string& window_class, const std::string& title);

    // Mouse and keys through XTest, at root coordinates. Each returns once the X server has sent
    // the events on, so input sent later through any connection reaches the program after them.
    void Click(int x, int y, int button = 1);
    void DoubleClick(int x, int y);
    void PressKey(const char* keysym_name);
    void MoveTo(int x, int y);

    // The controls of the window's layout, by name: {text, tooltip}, as last painted.
    [[nodiscard]] std::map<std::string, std::pair<std::string, std::string>> ControlTexts(
        unsigned long window);

    // What the screen shows in a rectangle of root coordinates, one value per pixel, row by row.
    [[nodiscard]] std::vector<unsigned long> Pixels(int x, int y, int width, int height);
    // True when the rectangle shows one colour only (no text, no picture in it).
    [[nodiscard]] bool Plain(int x, int y, int width, int height);
    // Moves the pointer onto a control at (x, y) that looks different under the pointer, and waits
    // until it does. The program handles its input in order, so every key and click sent before
    // has been handled by then: the proof that a moment has passed for a check that nothing
    // happened. The pointer must not be on the control already.
    [[nodiscard]] bool HoverSeen(int x, int y);

    [[nodiscard]] const TempFolder& Folder() const { return folder_; }
    [[nodiscard]] std::string Home() const { return folder_.File("home"); }
    [[nodiscard]] std::string IniText() const;
    [[nodiscard]] std::string SettingsText() const;
    [[nodiscard]] std::string LogText() const;

  private:
    TempFolder folder_;
    std::string program_;
    std::unique_ptr<platform::X11Connection> connection_;  // a window gone meanwhile is no fatal error
    Display* display_ = nullptr;
    std::vector<pid_t> started_;
    std::map<std::string, std::string> environment_;  // replaces the inherited variables of these names
};

}  // namespace vexa::test
