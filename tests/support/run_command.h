// Test helpers for programs run through the shell: a command's exit code and everything it
// printed, and the last line of such output (where vexa-record names the file it wrote).
// Each call has its own pipe: calls may run on several threads at once.
#pragma once

#include <string>

namespace vexa::test {

struct CommandResult {
    int exit_code = -1;  // -1 when the command could not be started or was ended by a signal
    std::string out;     // its standard output, and whatever the command itself sends there
};

// Runs `command` with /bin/sh and waits for it to end.
[[nodiscard]] CommandResult RunCommand(const std::string& command);

// The last line of `text` without the line ends after it; all of `text` when it has one line.
[[nodiscard]] std::string LastLine(std::string text);

}  // namespace vexa::test
