// Small file helpers shared by the settings store, the ini file and the autostart entry:
// file reads with a size cap, an exclusive lock that serialises read-modify-write cycles between
// processes, and atomic replacement under that lock (temporary file beside the file, fsync, rename).
//
// A name that is a symbolic link is written through: the lock and the replacement act on the link's
// final target, and the link stays. Temporary files are named "<file>.vexa-tmp.XXXXXX" (six letters
// or digits); one that a crash left behind is removed by the next replacement of the same file,
// which runs under the file's lock, when no other writer can own one.
// All functions are thread-safe (they share no state); FileLock objects are owned by one thread.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace vexa::settings {

using platform::UniqueFd;

// The largest file any store reads: real ones are a few kilobytes.
inline constexpr std::size_t kReadCap = std::size_t{64} << 20;

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

// A file's first bytes; `cut` tells that the file is longer than what was read.
struct FileText {
    std::string text;
    bool cut = false;
};

// At most `limit` bytes of the regular file at `path`. Fails when it is no regular file or cannot be
// read. For readers, which take what they can from a damaged or oversized file.
[[nodiscard]] Result<FileText> ReadFileText(const std::string& path, std::size_t limit = kReadCap);

// The whole regular file; a file longer than `limit` is a failure. For writers: a file read only in
// part is never written back without its tail.
[[nodiscard]] Result<std::string> ReadWholeFile(const std::string& path, std::size_t limit = kReadCap);

// Creates `path` and its missing parent folders (mode 0700).
[[nodiscard]] Error MakeFolders(const std::string& path);

// The folder part of a path ("/a/b/c" -> "/a/b"; "c" -> ".").
[[nodiscard]] std::string ParentFolder(const std::string& path);

// The file `path` finally names: symbolic links followed (a relative one from its own folder) until
// a name that is no link or does not exist yet. Fails on a loop of links.
[[nodiscard]] Result<std::string> LinkTarget(const std::string& path);

// An exclusive flock on the regular file `path` names (created empty when missing). Because writers
// replace the file by rename, the lock is taken on whatever inode the name points to once the lock
// is held. Fails when the file cannot be opened for reading and writing or is no regular file.
class FileLock {
  public:
    [[nodiscard]] static Result<FileLock> Acquire(const std::string& path, mode_t create_mode = 0600);

    // The locked file: the link target when the name given to Acquire is a symbolic link.
    [[nodiscard]] const std::string& Path() const { return path_; }

  private:
    FileLock(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
    UniqueFd fd_;  // closing the descriptor releases the lock
    std::string path_;
};

// Replaces the locked file by `contents` in one step: readers see the old or the new file, never a
// mix. Removes the file's leftover temporary files first. The new file gets `mode`. On failure the
// old file is untouched.
[[nodiscard]] Error WriteFileAtomically(const FileLock& lock, const std::string& contents,
                                        mode_t mode = 0600);

}  // namespace vexa::settings
