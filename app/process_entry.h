// The desktop program from its entry point to its exit code: locale, the crash filter, the command
// line, the log, the skin archive, the single-instance rule, the main window and the event loop,
// then the shutdown in order. Exit codes: 0 normal (also after handing over to a running
// instance), -1 when start-up fails (no window), 99 after a crash.
// Runs on the first thread, which becomes the user-interface thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vexa::app {

inline constexpr int kExitStartFailed = -1;
inline constexpr int kExitCrashed = 99;
inline constexpr std::chrono::seconds kCrashExitDelay{15};

struct CommandLine {
    bool autostart = false;
};

// Every element, the program path included, is compared case-insensitively by prefix with
// "-logid=", "-logfile=", "-lognet=" (accepted and ignored) and "-autostart" (longer elements that
// begin with it count too).
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// A fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) or an uncaught C++ exception on any
// thread: the faulting thread sleeps for `delay` while the others run on, then the process ends
// with exit code 99. The handlers run on an alternate stack, so a stack overflow is caught too.
void InstallCrashFilter(std::chrono::milliseconds delay = kCrashExitDelay);

// Linux has no elevation prompt: the program runs with the rights it was started with.
[[nodiscard]] inline bool EnsureElevated() {
    return true;
}

int ProcessEntry(int argc, char** argv);

}  // namespace vexa::app
