// RunValue: "start with the session" as an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/VexaRecorder.desktop, whose Exec line holds the command
//   "<full path of the program>" -autostart
// The entry is written or removed only at the moment of use. The check accepts only an entry that
// starts exactly this program (paths compare exactly; the option case-insensitively), so an entry
// of another copy reads as unchecked; removing deletes the entry whoever wrote it.
// Thread-safe (no shared state besides the file).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace vexa::settings {

class RunValue {
  public:
    explicit RunValue(std::string entry_path = DefaultPath());

    [[nodiscard]] static std::string DefaultPath();

    // The command stored for a program: a double quote, the path, a double quote, " -autostart".
    [[nodiscard]] static std::string CommandFor(std::string_view program_path);

    // Writes the entry atomically (through a symbolic link to its target); fails when the folder or
    // file cannot be written, and writes nothing for a path the entry cannot hold (not valid UTF-8,
    // or a control character other than tab, line feed and carriage return).
    [[nodiscard]] Error Write(std::string_view program_path);

    // Deletes the entry (a symbolic link, not its target); succeeds when no entry exists afterwards.
    [[nodiscard]] Error Remove();

    // The stored command, decoded from the Exec line; nullopt when there is no entry, no Exec line,
    // or the entry is hidden (disabled).
    [[nodiscard]] std::optional<std::string> ReadCommand() const;

    // Whether the entry starts `program_path` with "-autostart".
    [[nodiscard]] bool IsCheckedFor(std::string_view program_path) const;

    [[nodiscard]] const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Exec-line quoting of the desktop entry format, exposed for tests.
[[nodiscard]] std::string ExecLineFor(std::string_view program_path);
[[nodiscard]] std::optional<std::string> DecodeExecLine(std::string_view exec);

}  // namespace vexa::settings
