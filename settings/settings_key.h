// SettingsKey: the per-user settings store, one text file (see reg_text.h) at
// $XDG_CONFIG_HOME/Vexa/VexaRecorder/settings.reg. It is opened or created once; values are
// read whole (Find), and each write replaces the whole file atomically under an exclusive file
// lock, so that another process writing at the same moment never loses a value. Reads see the newest file
// (checked by its inode and time).
//
// Ownership: the main window owns the one SettingsKey of the process; others borrow it.
// Thread-safety: every member function is thread-safe (one internal mutex).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file_io.h"
#include "settings/reg_text.h"
#include "platform/error.h"

namespace vexa::settings {

class SettingsKey {
  public:
    // Opens the store at `path`, creating its folders and an empty store when missing. Fails, and
    // logs why, when the folder or the file cannot be made, or when an existing file cannot be read
    // and replaced (a folder in its place, no permission, a read-only file system): every change
    // would be lost otherwise.
    [[nodiscard]] static Result<std::unique_ptr<SettingsKey>> Open(std::string path);

    // $XDG_CONFIG_HOME/Vexa/VexaRecorder/settings.reg (~/.config when the variable is unset).
    [[nodiscard]] static std::string DefaultPath();

    // Typed reads: present only when the stored type and size are exactly right.
    [[nodiscard]] std::optional<uint32_t> ReadDword(std::string_view name) const;
    [[nodiscard]] std::optional<std::array<uint8_t, 16>> ReadBinary16(std::string_view name) const;
    [[nodiscard]] std::optional<RegValue> Find(std::string_view name) const;
    [[nodiscard]] RegValues Snapshot() const;

    // Each write is one atomic file replacement (through a symbolic link to its target). Fails when
    // the name is not a valid value name or the file cannot be read whole or replaced; the store is
    // then unchanged.
    [[nodiscard]] Error WriteDword(std::string_view name, uint32_t value);
    [[nodiscard]] Error WriteBinary(std::string_view name, std::string_view bytes);
    [[nodiscard]] Error WriteString(std::string_view name, std::string_view text);
    [[nodiscard]] Error WriteValue(std::string_view name, uint32_t type, std::string_view data);
    [[nodiscard]] Error Delete(std::string_view name);

    [[nodiscard]] const std::string& Path() const { return path_; }

  private:
    // Only Open() makes keys, so every key has its folder and file.
    struct OpenedByOpen {
        explicit OpenedByOpen() = default;
    };

  public:
    SettingsKey(OpenedByOpen, std::string path) : path_(std::move(path)) {}

  private:
    // Re-reads the file when it changed since the last look. Caller holds mutex_.
    void RefreshLocked() const;
    template <typename Change>
    [[nodiscard]] Error Modify(Change change);

    const std::string path_;
    mutable std::mutex mutex_;
    mutable RegValues values_;
    mutable std::optional<FileStamp> stamp_;
};

// Opens the current user's store at SettingsKey::DefaultPath(). On failure also prints one line
// saying why to standard error; the caller then fails its start-up.
[[nodiscard]] Result<std::unique_ptr<SettingsKey>> OpenUserSettings();

}  // namespace vexa::settings
