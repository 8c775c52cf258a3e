// The recordings list in the real VexaRecorder on the virtual display: the output folder is
// "<documents>/Miravo文件" of the test's own HOME; a fake xdg-open first on PATH records what the
// program opens, so the rows' order and their buttons can be checked from outside.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/shell/program_under_test.h"  // Xlib, after gtest
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

namespace vexa::test {
namespace {

namespace fs = std::filesystem;

// Points of the main window (960 x 593): the list's rows are 34 pixels high; a row's name stands in
// the 150 x 20 pixels from kNameLeft to the left of its centre line.
constexpr int kFirstRowY = 386;
constexpr int kRowHeight = 34;
constexpr int kNameX = 280;
constexpr int kNameLeft = 205, kNameWidth = 150, kNameHeight = 20;
constexpr int kPlayX = 732, kOpenDirX = 772, kDeleteX = 812;

class FileListE2eTest : public ::testing::Test {
  protected:
    FileListE2eTest() {
        WriteFile(fs::path(program_.Home()) / ".config" / "user-dirs.dirs",
                  "XDG_DOCUMENTS_DIR=\"$HOME/文档\"\n");
        fs::create_directories(folder_);
        WriteFile(bin_ / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + opened_.string() + "'\n",
                  true);
    }

    // Starts the program and waits until its list shows `rows` rows.
    WindowState Start(int rows) {
        program_.Start();
        const auto window = program_.FindWindow(kMainWindowClass, kTitle);
        if (!window || !program_.WaitViewable(window->window, true)) {
            ADD_FAILURE() << "no main window; log:\n" << program_.LogText();
            return {};
        }
        const WindowState main = program_.State(window->window);
        EXPECT_TRUE(WaitForRows(main, rows)) << "the list did not show " << rows << " rows";
        return main;
    }
    // Waits until row `rows - 1` shows a name and row `rows` none: the list has that many rows.
    bool WaitForRows(const WindowState& w, int rows) {
        auto named = [&](int row) {
            return !program_.Plain(w.x + kNameLeft, w.y + kFirstRowY + row * kRowHeight - kNameHeight / 2,
                                   kNameWidth, kNameHeight);
        };
        return WaitFor([&] { return (rows == 0 || named(rows - 1)) && !named(rows); });
    }
    void ClickRow(const WindowState& w, int x, int row) {
        program_.Click(w.x + x, w.y + kFirstRowY + row * kRowHeight);
    }
    void DoubleClickRow(const WindowState& w, int row) {
        program_.DoubleClick(w.x + kNameX, w.y + kFirstRowY + row * kRowHeight);
    }
    // What the fake xdg-open was given since the last call, once it has been given something.
    std::string Opened() {
        (void)WaitFor([&] { return !ReadFile(opened_).empty(); });
        const std::string text = ReadFile(opened_);
        fs::remove(opened_);
        return text;
    }
    std::string File(const std::string& name) const { return (folder_ / name).string(); }

    ProgramUnderTest program_;
    fs::path folder_ = fs::path(program_.Home()) / "文档" / "Miravo文件";
    fs::path bin_ = program_.Folder().Path() / "bin";
    fs::path opened_ = program_.Folder().Path() / "opened";
    ScopedEnv path_{"PATH", bin_.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")};
    ScopedEnv no_bus_{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"};
};

TEST_F(FileListE2eTest, RowsComeNewestFirstFollowTheFolderAndTheirButtonsActOnTheirFile) {
    WriteFile(File("20240105_090000.mp4"), "x");
    WriteFile(File("20240105_100000.mp4"), "x");
    WriteFile(File("notes.txt"), "x");
    const WindowState main = Start(2);

    DoubleClickRow(main, 1);
    EXPECT_EQ(Opened(), File("20240105_090000.mp4") + "\n");

    // A new recording comes first; its buttons play it and show its folder.
    WriteFile(File("20240106_080000.mp4"), "x");
    ASSERT_TRUE(WaitForRows(main, 3));
    ClickRow(main, kPlayX, 0);
    EXPECT_EQ(Opened(), File("20240106_080000.mp4") + "\n");
    ClickRow(main, kOpenDirX, 0);
    EXPECT_EQ(Opened(), folder_.string() + "\n");

    // Deleted elsewhere, it goes; the delete button deletes the next one.
    fs::remove(File("20240106_080000.mp4"));
    ASSERT_TRUE(WaitForRows(main, 2));
    ClickRow(main, kDeleteX, 0);
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(File("20240105_100000.mp4")); }));
    EXPECT_TRUE(fs::exists(File("20240105_090000.mp4")));
}

}  // namespace
}  // namespace vexa::test
