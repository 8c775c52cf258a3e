#include "settings/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>

#include "platform/regular_file.h"

namespace vexa::settings {

bool FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

namespace {

constexpr std::string_view kTempInfix = ".vexa-tmp.";
constexpr std::size_t kTempRandomLength = 6;  // the "XXXXXX" of mkostemp
constexpr int kMaxLinkHops = 40;              // as the kernel's own limit for one path

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

std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "<base>.vexa-tmp." followed by exactly the six letters or digits mkostemp puts there.
bool IsTemporaryOf(std::string_view name, std::string_view base) {
    if (!name.starts_with(base)) return false;
    name.remove_prefix(base.size());
    if (!name.starts_with(kTempInfix)) return false;
    name.remove_prefix(kTempInfix.size());
    return name.size() == kTempRandomLength && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// Removes the regular files beside `path` that are its temporary files. Best effort: what cannot be
// removed now is tried again at the next write.
void RemoveLeftoverTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string base = BaseName(path);
    std::error_code ec;
    fs::directory_iterator entry(ParentFolder(path), ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        if (!IsTemporaryOf(entry->path().filename().native(), base)) continue;
        std::error_code ignored;
        if (entry->symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(entry->path(), ignored);
    }
}

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return StampFromStat(st);
}

Result<FileText> ReadFileText(const std::string& path, std::size_t limit) {
    Result<UniqueFd> opened =
        platform::OpenRegularFile(path, O_RDONLY, 0, "cannot read");  // a FIFO must not hang us
    if (!opened.ok()) return opened.error();
    const UniqueFd fd = std::move(opened).value();
    FileText file;
    char chunk[16384];
    while (file.text.size() <= limit) {  // one byte beyond the limit tells that the file goes on
        const ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Error::FromErrno(errno, "cannot read " + path);
        }
        if (got == 0) break;
        file.text.append(chunk, std::min(static_cast<std::size_t>(got), limit + 1 - file.text.size()));
    }
    if (file.text.size() > limit) {
        file.text.resize(limit);
        file.cut = true;
    }
    return file;
}

Result<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    Result<FileText> file = ReadFileText(path, limit);
    if (!file.ok()) return file.error();
    if (file->cut)
        return Error(ErrorCode::kUnsupported, path + " is larger than " + SizeText(limit) +
                                                  ", so it is read only in part and never rewritten");
    return std::move(file->text);
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

Error MakeFolders(const std::string& path) {
    std::size_t next = 1;
    while (next <= path.size()) {
        next = path.find('/', next);
        if (next == std::string::npos) next = path.size();
        const std::string part = path.substr(0, next);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return Error::FromErrno(errno, "cannot create folder " + part);
        ++next;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Error::FromErrno(errno, "cannot create folder " + path);
    if (!S_ISDIR(st.st_mode)) return Error(ErrorCode::kInvalidArgument, path + " is not a folder");
    return {};
}

Result<std::string> LinkTarget(const std::string& path) {
    std::string name = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(name, ec).native();
        if (ec) return Error::FromErrno(ec.value(), "cannot read the link " + name);
        name = target.starts_with('/') ? target : ParentFolder(name) + "/" + target;
    }
    return Error(ErrorCode::kInvalidArgument, "too many symbolic links from " + path);
}

Result<FileLock> FileLock::Acquire(const std::string& path, mode_t create_mode) {
    for (;;) {
        Result<std::string> target = LinkTarget(path);
        if (!target.ok()) return target.error();
        const std::string& file = *target;
        Result<UniqueFd> opened = platform::OpenRegularFile(file, O_RDWR | O_CREAT | O_NOFOLLOW, create_mode);
        if (!opened.ok()) return opened.error();
        UniqueFd fd = std::move(opened).value();
        struct stat held {};
        if (::fstat(fd.Get(), &held) != 0) return Error::FromErrno(errno, "cannot examine " + file);
        int locked;
        do {
            locked = ::flock(fd.Get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) return Error::FromErrno(errno, "cannot lock " + file);
        // A writer may have renamed a new file over the name while we waited: lock that one instead.
        struct stat named {};
        if (::stat(file.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return FileLock(std::move(fd), file);
    }
}

Error WriteFileAtomically(const FileLock& lock, const std::string& contents, mode_t mode) {
    const std::string& path = lock.Path();
    RemoveLeftoverTemporaries(path);
    std::string temp = path + std::string(kTempInfix) + std::string(kTempRandomLength, 'X');
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) return Error::FromErrno(errno, "cannot create a temporary file beside " + path);
    Error error;
    if (::fchmod(fd.Get(), mode) != 0 || !WriteAll(fd.Get(), contents.data(), contents.size()) ||
        ::fsync(fd.Get()) != 0)
        error = Error::FromErrno(errno, "cannot write " + temp);
    fd.Reset();
    // The folder is not synced: after a crash the name holds the old or the new file, both whole.
    if (error.ok() && ::rename(temp.c_str(), path.c_str()) != 0)
        error = Error::FromErrno(errno, "cannot replace " + path);
    if (!error.ok()) ::unlink(temp.c_str());
    return error;
}

}  // namespace vexa::settings
