#include "app/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vexa::app {

bool FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

namespace {

FileStamp StampFromStat(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return StampFromStat(st);
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a FIFO must not hang us
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string text;
    char chunk[16384];
    while (text.size() < limit) {
        const ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(chunk, std::min(static_cast<std::size_t>(got), limit - text.size()));
    }
    return text;
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, mode_t mode) {
    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    const bool written = ::fchmod(fd.Get(), mode) == 0 &&
                         WriteAll(fd.Get(), contents.data(), contents.size()) && ::fsync(fd.Get()) == 0;
    fd.Reset();
    // The folder is not synced: after a crash the name holds the old or the new file, both whole.
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool MakeFolders(const std::string& path, std::string* error) {
    std::size_t next = 1;
    while (next <= path.size()) {
        next = path.find('/', next);
        if (next == std::string::npos) next = path.size();
        const std::string part = path.substr(0, next);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error) *error = part + ": " + std::strerror(errno);
            return false;
        }
        ++next;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error) *error = path + ": not a folder";
        return false;
    }
    return true;
}

std::optional<FileLock> FileLock::Acquire(const std::string& path, mode_t create_mode) {
    for (;;) {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, create_mode));
        if (!fd.Valid()) return std::nullopt;
        int locked;
        do {
            locked = ::flock(fd.Get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) return std::nullopt;
        // A writer may have renamed a new file over the name while we waited: lock that one instead.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd.Get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return FileLock(std::move(fd));
        }
    }
}

}  // namespace vexa::app
