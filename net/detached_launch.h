// Starts a program detached from this process: in a session of its own, not a child that must be
// waited for, and outliving the recorder. Thread-safe.
#pragma once

#include <filesystem>
#include <string>

#include "platform/error.h"

namespace vexa::net {

// Runs `program` with `argument` as its only argument. Ok when the program was executed; otherwise
// why it could not be started (missing, not executable, no processes left).
[[nodiscard]] vexa::Error LaunchDetached(const std::filesystem::path& program, const std::string& argument);

}  // namespace vexa::net
