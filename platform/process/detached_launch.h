// Starting another program detached from this process: in a session of its own, adopted by init
// (a double fork, the middle process reaped at once), so nothing is left to wait for and it
// outlives the caller. The program gets a clean signal mask and none of our descriptors. A pipe
// closed on exec tells whether the exec itself worked; the middle process may watch the program's
// first moments and report its exit status through the same pipe. Thread-safe.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::platform {

// Runs the program at `path` with `argv` (argv[0] first). Ok when the program was executed;
// otherwise why it could not be started (missing, not executable, no processes left).
[[nodiscard]] Error LaunchDetached(const std::string& path, const std::vector<std::string>& argv);
// The same, and waits up to `watch` for the program: its exit status when it ended by then (128 + the
// signal's number when a signal ended it), nothing when it still runs (it is left to run).
[[nodiscard]] Result<std::optional<int>> LaunchAndWatch(const std::string& path,
                                                        const std::vector<std::string>& argv,
                                                        std::chrono::milliseconds watch);

}  // namespace vexa::platform
