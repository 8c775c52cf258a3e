// Where the running program lives: the one place that asks /proc/self/exe.
// Thread-safe.
#pragma once

#include <string>

namespace vexa::settings {

// Full path of the program file; empty when the link cannot be read.
[[nodiscard]] std::string ProgramPath();

// The program's folder with a trailing '/'; empty when ProgramPath() is empty.
[[nodiscard]] std::string ProgramFolder();

}  // namespace vexa::settings
