// The desktop program's rules without windows: the command line, the hotkey dispatch, and the crash
// filter's exit and report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/hotkey_dispatch.h"
#include "app/process_entry.h"
#include "platform/log/log.h"
#include "tests/support/temp_folder.h"

namespace vexa::app {
namespace {

TEST(CommandLineTest, AutostartIsAnyCasePrefixOfAnyElementAndTheLogOptionsChangeNothing) {
    EXPECT_FALSE(ParseCommandLine({"/usr/bin/VexaRecorder"}).autostart);
    EXPECT_TRUE(ParseCommandLine({"/usr/bin/VexaRecorder", "-AUTOSTART"}).autostart);
    EXPECT_TRUE(ParseCommandLine({"prog", "-autostartnow"}).autostart);
    EXPECT_FALSE(ParseCommandLine({"prog", "--autostart", "autostart", "-auto"}).autostart);
    EXPECT_FALSE(ParseCommandLine({"prog", "-logid=1", "-LOGFILE=x", "-lognet=y"}).autostart);
    EXPECT_TRUE(ParseCommandLine({"-autostart"}).autostart);  // the program path is looked at too
}

TEST(CommandLineTest, HelpIsAnExactArgumentAfterTheProgramPath) {
    EXPECT_TRUE(ParseCommandLine({"prog", "--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"prog", "-autostart", "-h"}).help);
    EXPECT_FALSE(ParseCommandLine({"--help"}).help);  // a program path is never an option
    EXPECT_FALSE(ParseCommandLine({"prog", "--HELP", "-help", "--helpme", "-H"}).help);
    EXPECT_FALSE(ParseCommandLine({"prog", "-autostart"}).help);
}

std::array<ui::HotkeySlot, 4> RegisteredSlots() {
    std::array<ui::HotkeySlot, 4> hotkeys{};
    for (uint32_t i = 0; i < 4; ++i)
        hotkeys[i] = {settings::HotkeyValue{static_cast<uint8_t>(0x76 + i), 0}, 1000 + i, true};
    hotkeys[2].value.modifiers = settings::HotkeyValue::kCtrl | settings::HotkeyValue::kShift;
    return hotkeys;
}

TEST(HotkeyDispatchTest, EachSlotActsOnlyInTheStatesThatAllowIt) {
    const auto hotkeys = RegisteredSlots();
    const HotkeyContext idle_screen{.record_page = true, .mode = 0, .state = 0};
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, idle_screen), HotkeyAction::kToggleRecording);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1001, 0, idle_screen), HotkeyAction::kNone);  // nothing to pause
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6, idle_screen), HotkeyAction::kSelectRegion);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1003, 0, idle_screen), HotkeyAction::kShowHideMainWindow);

    HotkeyContext recording = idle_screen;
    recording.state = 1;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1001, 0, recording), HotkeyAction::kTogglePause);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6, recording), HotkeyAction::kNone);  // only while idle
    recording.state = 2;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1001, 0, recording), HotkeyAction::kTogglePause);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, recording), HotkeyAction::kToggleRecording);  // stops

    HotkeyContext sound = idle_screen;
    sound.mode = 1;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, sound), HotkeyAction::kNone);  // no sound source ticked
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6, sound), HotkeyAction::kNone);  // region is screen mode only
    sound.any_sound_selected = true;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, sound), HotkeyAction::kToggleRecording);
    HotkeyContext camera = idle_screen;
    camera.mode = 2;
    camera.any_sound_selected = true;  // sound does not count for the camera mode
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, camera), HotkeyAction::kNone);
    camera.any_camera_selected = true;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, camera), HotkeyAction::kToggleRecording);
    HotkeyContext settings_tab = idle_screen;
    settings_tab.mode = 3;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, settings_tab), HotkeyAction::kNone);
}

TEST(HotkeyDispatchTest, AModalWindowBlocksEverythingButPause) {
    const auto hotkeys = RegisteredSlots();
    const HotkeyContext prompt_open{.record_page = true, .mode = 0, .state = 1, .main_enabled = false};
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, prompt_open), HotkeyAction::kNone);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1001, 0, prompt_open), HotkeyAction::kTogglePause);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1003, 0, prompt_open), HotkeyAction::kNone);
    HotkeyContext idle_prompt = prompt_open;
    idle_prompt.state = 0;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6, idle_prompt), HotkeyAction::kNone);
}

// A start counting down has disabled the main window; start/stop still reaches it (to take it
// back), even in a mode whose sources have gone meanwhile, but nothing else does.
TEST(HotkeyDispatchTest, AStartCountingDownCanBeTakenBackAndNothingElseRuns) {
    const auto hotkeys = RegisteredSlots();
    HotkeyContext counting{
        .record_page = true, .mode = 1, .state = 0, .main_enabled = false, .counting_down = true};
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, counting), HotkeyAction::kToggleRecording);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1001, 0, counting), HotkeyAction::kNone);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6, counting), HotkeyAction::kNone);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1003, 0, counting), HotkeyAction::kNone);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 1, counting), HotkeyAction::kNone);  // its chord only
    counting.record_page = false;
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, counting), HotkeyAction::kNone);
}

TEST(HotkeyDispatchTest, TheIdModifiersAndRegistrationMustAllMatch) {
    auto hotkeys = RegisteredSlots();
    const HotkeyContext idle{.record_page = true, .mode = 0};
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 2, idle), HotkeyAction::kNone);  // Ctrl alone
    EXPECT_EQ(DispatchHotkey(hotkeys, 1002, 6 | 8 | 0x10000, idle),
              HotkeyAction::kSelectRegion);  // other bits ignored
    EXPECT_EQ(DispatchHotkey(hotkeys, 999, 0, idle), HotkeyAction::kNone);
    hotkeys[3].registered = false;  // the system refused it: its events cannot count
    EXPECT_EQ(DispatchHotkey(hotkeys, 1003, 0, idle), HotkeyAction::kNone);
    EXPECT_EQ(DispatchHotkey(hotkeys, 1000, 0, HotkeyContext{}), HotkeyAction::kNone);  // no record page
}

// A crash on a worker thread: the process lives on for the delay (its main thread keeps counting)
// and then ends with 99.
TEST(CrashFilterTest, AWorkerThreadsCrashEndsTheProcessWith99AfterTheDelayWhileOthersRunOn) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipe_fds[0]);
        InstallCrashFilter(std::chrono::milliseconds(1500));
        std::thread([] { raise(SIGSEGV); }).detach();  // the crash under test
        for (char tick = 0;; ++tick) {                 // the main thread runs on and reports that it does
            (void)!write(pipe_fds[1], &tick, 1);
            usleep(100'000);
        }
    }
    close(pipe_fds[1]);
    int ticks = 0;
    char byte;
    while (read(pipe_fds[0], &byte, 1) == 1) ++ticks;
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const auto lived = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), kExitCrashed);
    EXPECT_GE(lived, std::chrono::milliseconds(1400));
    EXPECT_GE(ticks, 3);  // it ticked on after the crash (about 15 times): it was not stopped
}

// Each crash leaves one line in the log's form naming what happened, where, and on which thread,
// then the backtrace's frames; the process still ends with 99.
TEST(CrashFilterTest, EachCrashIsLoggedWithItsCauseItsThreadAndABacktraceBeforeTheExit) {
    const std::pair<void (*)(), const char*> cases[] = {
        {[] {
             volatile uintptr_t bad = 16;
             *reinterpret_cast<int*>(bad) = 1;
         },
         R"(SIGSEGV \(invalid memory access\) at address 0x10)"},
        {[] { abort(); }, R"(SIGABRT \(abort\) sent by process \d+)"},
        {[] { throw std::runtime_error("the disk is on fire"); },
         R"(uncaught exception "the disk is on fire")"}};
    for (const auto& [crash, cause] : cases) {
        test::TempFolder folder;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            InstallCrashFilter(std::chrono::milliseconds(100));
            if (!ReportCrashesTo(folder.File("log")).ok()) _exit(3);
            std::thread([crash = crash] {
                pthread_setname_np(pthread_self(), "vexa-crasher");
                crash();
            }).join();
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitCrashed) << status;
        const std::string text = test::ReadFile(folder.File("log"));
        const std::regex line(
            std::string(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+) vexa-crasher\] ERROR crash: )") +
            cause + R"( in thread \1 \(vexa-crasher\); backtrace:)");
        EXPECT_TRUE(std::regex_match(text.substr(0, text.find('\n')), line)) << text;
        EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 4) << text;  // the line and its frames
    }
}

// The handler's own time stamp is the log's, at the edges of the calendar.
TEST(CrashFilterTest, TheReportsTimeStampIsTheLogsForLeapDaysCenturiesAndTheEpoch) {
    for (const time_t t : {0L, 951825599L, 1709251199L, 4107542399L, 4107542400L, 2147483648L}) {
        tm local{};
        ASSERT_TRUE(localtime_r(&t, &local));
        char stamp[32];
        const size_t n = FormatCrashStamp(stamp, sizeof stamp, {t, 987'654'321}, local.tm_gmtoff);
        const auto when = std::chrono::system_clock::from_time_t(t) + std::chrono::milliseconds(987);
        EXPECT_EQ(std::string(stamp, n), log::FormatLine(log::Level::kInfo, "", when, 1, "").substr(0, 23));
    }
}

}  // namespace
}  // namespace vexa::app
