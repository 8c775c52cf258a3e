// The desktop program's crash filter: a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) or
// an uncaught C++ exception on any thread is reported, then the faulting thread sleeps for a delay
// while the others run on, and the process ends with exit code 99.
//
// The report goes to the log file named by ReportCrashesTo (standard error without one): one line
// in the log's own form naming the signal, the faulting address (or the process that sent the
// signal) and the thread, then a backtrace, one frame a line. An uncaught exception's line carries
// its what(). Everything the signal handler does is async-signal-safe: the descriptor is opened at
// start-up (a rotated log is followed by opening its name again), the local time's offset from UTC
// is fixed at start-up, and the backtrace's library is loaded at start-up.
//
// Threads: install and name the log on the first thread before any other starts; the handlers run
// on whichever thread faulted, on an alternate stack where the thread has one (the installing
// thread gets one, so that even its stack overflow is reported).
#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>

#include "platform/error.h"

namespace vexa::app {

inline constexpr int kExitCrashed = 99;
inline constexpr std::chrono::seconds kCrashExitDelay{15};

void InstallCrashFilter(std::chrono::milliseconds delay = kCrashExitDelay);

// Opens `path` for appending (no symbolic link) and makes it the report's destination.
[[nodiscard]] Error ReportCrashesTo(const std::string& path);

// "YYYY-MM-DD hh:mm:ss.mmm" of `when` shifted by `utc_offset_seconds`, written into `out` with a
// terminating NUL (24 bytes are enough); async-signal-safe. Returns the characters written.
size_t FormatCrashStamp(char* out, size_t size, timespec when, long utc_offset_seconds);

}  // namespace vexa::app
