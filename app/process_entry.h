// The desktop program from its entry point to its exit code: locale, the crash filter, the command
// line, the log, the skin archive, the single-instance rule, the main window and the event loop,
// then the shutdown in order. Exit codes: 0 normal (also after handing over to a running
// instance), -1 when start-up fails (no window), 99 after a crash.
// Runs on the first thread, which becomes the user-interface thread.
#pragma once

#include <string>
#include <vector>

#include "app/crash_filter.h"

namespace vexa::app {

inline constexpr int kExitStartFailed = -1;

struct CommandLine {
    bool autostart = false;
};

// Every element, the program path included, is compared case-insensitively by prefix with
// "-logid=", "-logfile=", "-lognet=" (accepted and ignored) and "-autostart" (longer elements that
// begin with it count too).
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

int ProcessEntry(int argc, char** argv);

}  // namespace vexa::app
