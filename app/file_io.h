// Small file helpers shared by the settings store, the ini file and the autostart entry:
// whole-file reads, atomic replacement (temporary file, fsync, rename) and an exclusive
// lock that serialises read-modify-write cycles between processes.
// All functions are thread-safe (they share no state); FileLock objects are owned by one thread.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace vexa::app {

using platform::UniqueFd;

// Identity of one version of a file; an atomic replacement always changes the inode.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};

    bool operator==(const FileStamp& other) const;
};

// Stamp of the file at `path`, or nullopt when it does not exist or cannot be examined.
[[nodiscard]] std::optional<FileStamp> StampOf(const std::string& path);

// The whole regular file, at most `limit` bytes; nullopt when it is no regular file or cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path,
                                                       std::size_t limit = std::size_t{64} << 20);

// Replaces `path` by `contents` in one step: readers see the old or the new file, never a mix.
// The new file gets `mode`. False when any step fails (the old file is then untouched).
[[nodiscard]] bool WriteFileAtomically(const std::string& path, const std::string& contents,
                                       mode_t mode = 0600);

// Creates `path` and its missing parent folders (mode 0700). False when that fails.
[[nodiscard]] bool MakeFolders(const std::string& path, std::string* error = nullptr);

// The folder part of a path ("/a/b/c" -> "/a/b"; "c" -> ".").
[[nodiscard]] std::string ParentFolder(const std::string& path);

// An exclusive flock on `path` (created empty when missing). Because writers replace the file by
// rename, the lock is taken on whatever inode the name points to once the lock is held.
class FileLock {
  public:
    [[nodiscard]] static std::optional<FileLock> Acquire(const std::string& path, mode_t create_mode = 0600);

  private:
    explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;  // closing the descriptor releases the lock
};

}  // namespace vexa::app
