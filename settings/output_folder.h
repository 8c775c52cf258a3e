// The folder for new recordings ("output_dir"): the stored folder when it still exists, else the
// default folder, "Miravo文件" inside the user's documents folder (XDG_DOCUMENTS_DIR of
// ~/.config/user-dirs.dirs, else ~/Documents).
// Thread-safe (SettingsKey is; the rest reads the environment and the file system).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_key.h"
#include "platform/error.h"

namespace vexa::settings {

inline constexpr std::string_view kOutputFolderName = "Miravo文件";

// <documents folder>/Miravo文件.
[[nodiscard]] std::string DefaultOutputFolder();

// The stored folder if "output_dir" is non-empty text naming an existing folder.
[[nodiscard]] std::optional<std::string> StoredOutputFolder(const SettingsKey& key);

// The settings page's start-up rule: the stored folder, or else the default folder, created
// (with the documents folder when that is missing) and stored at once. Fails when the default
// folder cannot be created.
[[nodiscard]] Result<std::string> ResolveOutputFolder(SettingsKey& key);

}  // namespace vexa::settings
