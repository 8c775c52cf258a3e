// SettingsIni: "VexaRecorder.ini", sections "soft" and "config", read and written with the semantics
// of the profile functions. The file lies in the program's folder; where that folder cannot be
// written (an installed program) it lies at $XDG_CONFIG_HOME/Vexa/VexaRecorder.ini, and keys missing
// there are still read from the copy beside the program (for example the one an installer shipped).
// Every call reads the file afresh; writes replace it atomically under a file lock, keeping the
// other sections, keys and comments. A read-only file is never replaced.
// Thread-safety: all member functions are thread-safe (they share no mutable state).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace vexa::settings {

class SettingsIni {
  public:
    static constexpr std::string_view kFileName = "VexaRecorder.ini";
    static constexpr std::size_t kTextBuffer = 260;

    // `path` is read and written; `beside_program`, when not empty, is read for keys `path` lacks.
    explicit SettingsIni(std::string path, std::string beside_program = {});

    // The file of this installation: `program_folder` + kFileName when that folder is writable,
    // else `config_home`/Vexa/VexaRecorder.ini. The folder names end with '/' or not, either works.
    [[nodiscard]] static SettingsIni Locate(const std::string& program_folder,
                                            const std::string& config_home);
    // Locate() for the running program and the current user.
    [[nodiscard]] static SettingsIni ForThisProgram();

    // Like GetPrivateProfileIntA with default 0: the value's leading sign and digits; a missing or
    // empty value gives 0, as does a value without digits. Saturates at the 32-bit range.
    [[nodiscard]] int GetInt(std::string_view section, std::string_view key) const;

    // Like GetPrivateProfileStringA with an empty default: at most `buffer` - 1 characters.
    [[nodiscard]] std::string GetString(std::string_view section, std::string_view key,
                                        std::size_t buffer = kTextBuffer) const;

    // Like WritePrivateProfileStringA (through a symbolic link to its target). Fails when the file
    // is read-only or larger than 4 MiB, its folder cannot be written, or the text cannot be stored
    // on one line.
    [[nodiscard]] Error WriteString(std::string_view section, std::string_view key, std::string_view value);

    [[nodiscard]] const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string beside_program_;
};

}  // namespace vexa::settings
