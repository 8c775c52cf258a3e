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
    bool help = false;  // "--help" or "-h" after the program path: print UsageText() and exit 0
};

// Every element, the program path included, is compared case-insensitively by prefix with
// "-logid=", "-logfile=", "-lognet=" (accepted and ignored) and "-autostart" (longer elements that
// begin with it count too). "--help" and "-h" count exactly as written, and not as the program path.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints: the options above and the files the program uses. The man page is made from
// it at build time (help2man), so it is written in the layout help2man reads.
[[nodiscard]] const char* UsageText();

int ProcessEntry(int argc, char** argv);

}  // namespace vexa::app
