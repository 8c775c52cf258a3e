// The user's folders as the freedesktop rules name them. Each call reads the environment and,
// for the documents folder, ~/.config/user-dirs.dirs afresh. Thread-safe as long as nobody
// changes the environment meanwhile.
#pragma once

#include <string>

namespace vexa::settings {

// $HOME, else the password database entry; empty when neither is known.
[[nodiscard]] std::string HomeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
[[nodiscard]] std::string ConfigHome();

// XDG_DOCUMENTS_DIR from <config home>/user-dirs.dirs, else ~/Documents. Never ends in '/'.
[[nodiscard]] std::string DocumentsFolder();

}  // namespace vexa::settings
