// Starting another program detached from this process: in a session of its own, adopted by init
// (a double fork, the middle process reaped at once), so nothing is left to wait for and it
// outlives the caller. The program gets a clean signal mask and none of our descriptors. A pipe
// closed on exec tells whether the exec itself worked. Thread-safe.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::platform {

// Runs the program at `path` with `argv` (argv[0] first). Ok when the program was executed;
// otherwise why it could not be started (missing, not executable, no processes left).
[[nodiscard]] Error LaunchDetached(const std::string& path, const std::vector<std::string>& argv);

}  // namespace vexa::platform
