// Region selection in the real VexaRecorder on the virtual display: the full-screen/region switch
// starts a selection over the other programs' windows, the chosen window becomes the frame's
// region, the store keeps it, and Esc gives everything back unchanged.
#include <gtest/gtest.h>

#include "tests/shell/program_under_test.h"

#include <X11/Xlib.h>

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

// The switch button inside the 960 x 593 main window.
constexpr int kSwitchX = 819, kSwitchY = 201;
// The region stored for a window at (100, 100) of 500 x 400: 100, 100, 599, 499 as 32-bit words.
constexpr const char* kStoredWindow =
    "\"desktop_select_rgn\"=hex:64,00,00,00,64,00,00,00,57,02,00,00,f3,01,00,00";

class RegionEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        x_ = XOpenDisplay(nullptr);
        if (!x_) GTEST_SKIP() << "needs the test display (tools/with-test-env.sh)";
        other_ = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 100, 100, 500, 400, 0, 0, 0x3060a0);
        XMapWindow(x_, other_);
        XSync(x_, False);
    }
    void TearDown() override {
        if (x_) XCloseDisplay(x_);
    }
    // Starts the program, presses the switch and waits for the selection overlay.
    std::optional<WindowState> StartSelection() {
        program_.Start();
        const auto main = program_.FindWindow(kMainWindowClass, kTitle);
        if (!main || !program_.WaitViewable(main->window, true)) return std::nullopt;
        main_ = program_.State(main->window);
        program_.Click(main_.x + kSwitchX, main_.y + kSwitchY);
        const auto overlay = program_.FindWindow("Screen_Rgn_Sel_Wnd", kUntitled);
        if (!overlay || !program_.WaitViewable(overlay->window, true)) return std::nullopt;
        return overlay;
    }

    Display* x_ = nullptr;
    ::Window other_ = 0;
    ProgramUnderTest program_;
    WindowState main_;
};

TEST_F(RegionEndToEnd, ClickingAWindowInTheSelectionMakesItTheFramedAndStoredRegion) {
    const auto overlay = StartSelection();
    ASSERT_TRUE(overlay) << program_.LogText();
    EXPECT_TRUE(program_.WaitViewable(main_.window, false));
    EXPECT_EQ(overlay->width, 1920);
    program_.Click(300, 300);
    const auto frame = program_.FindWindow("Screen_Region_Wnd", kUntitled);  // there from the start
    ASSERT_TRUE(frame);
    EXPECT_TRUE(WaitFor([&] {  // the handles reach 3 pixels out; the label sits above the region
        const WindowState shown = program_.State(frame->window);
        return shown.viewable && shown.x == 97 && shown.x + shown.width == 599 + 4 &&
               shown.y + shown.height == 499 + 4 && shown.y < 97;
    }));
    EXPECT_TRUE(program_.WaitViewable(main_.window, true));
    EXPECT_TRUE(WaitFor([&] { return program_.SettingsText().find(kStoredWindow) != std::string::npos; }))
        << program_.SettingsText();
}

TEST_F(RegionEndToEnd, EscEndsTheSelectionAndBringsTheWindowsBackWithTheRegionUnchanged) {
    const auto overlay = StartSelection();
    ASSERT_TRUE(overlay) << program_.LogText();
    program_.PressKey("Escape");
    EXPECT_TRUE(program_.WaitViewable(main_.window, true));
    const auto frame = program_.FindWindow("Screen_Region_Wnd", kUntitled);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(program_.WaitViewable(frame->window, true));
    EXPECT_EQ(program_.State(frame->window).x, -3);  // still around the whole screen
    EXPECT_EQ(program_.SettingsText().find("desktop_select_rgn"), std::string::npos);
}

}  // namespace
}  // namespace vexa::test
