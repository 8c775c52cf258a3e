#include "net/updater_file.h"

#include <array>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/crc32.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace vexa::net {
namespace {

using vexa::platform::UniqueFd;

std::filesystem::path WithSuffix(const std::filesystem::path& file, const char* suffix) {
    return std::filesystem::path(file.native() + suffix);
}

vexa::Error WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& file) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return vexa::Error::FromErrno(errno, "cannot write " + file.string());
        if (written == 0) return vexa::Error(vexa::ErrorCode::kNoSpace, "cannot write " + file.string());
        bytes = bytes.subspan(std::size_t(written));
    }
    return {};
}

// A file made by this call alone: a stale name is unlinked (a symbolic or hard link goes, its target
// stays untouched), and O_EXCL refuses whatever appears under the name in the meantime, links included.
vexa::Error WriteNewFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT)
        return vexa::Error::FromErrno(errno, "cannot remove stale " + file.string());
    UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
    if (!fd.Valid()) return vexa::Error::FromErrno(errno, "cannot create " + file.string());
    // The mode of open() passes through the umask; the updater must be executable whatever it is.
    if (::fchmod(fd.Get(), 0755) != 0)
        return vexa::Error::FromErrno(errno, "cannot make " + file.string() + " executable");
    if (vexa::Error error = WriteAll(fd.Get(), bytes, file); !error.ok()) return error;
    // fsync reports the write errors that close() could report late.
    if (::fsync(fd.Get()) != 0) return vexa::Error::FromErrno(errno, "cannot write " + file.string());
    return {};
}

vexa::Error Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return {};
    return vexa::Error::FromErrno(errno, "cannot rename " + from.string() + " to " + to.string());
}

// Moves the present updater aside, the new one in, and the old one back when that fails.
vexa::Error SwapIn(const std::filesystem::path& incoming, const std::filesystem::path& updater,
                   const std::filesystem::path& backup) {
    // Only a backup made by this call may be moved back; a missing updater is simply installed.
    vexa::Error aside = Rename(updater, backup);
    if (!aside.ok() && aside.native_code() != ENOENT) return aside;
    vexa::Error in = Rename(incoming, updater);
    if (!in.ok() && aside.ok()) (void)Rename(backup, updater);
    return in;
}

}  // namespace

std::uint32_t FileCrc32OrZero(const std::filesystem::path& file) {
    // A FIFO by the updater's name would block the read, and with it the program's exit.
    vexa::Result<UniqueFd> opened = vexa::platform::OpenRegularFile(file.string(), O_RDONLY);
    if (!opened.ok()) return 0;
    const UniqueFd fd = std::move(opened).value();
    std::array<std::uint8_t, 64 * 1024> block;
    std::uint32_t crc = 0;
    std::size_t total = 0;
    for (;;) {
        ssize_t got = ::read(fd.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 0;
        if (got == 0) break;
        crc = Crc32(std::span(block.data(), std::size_t(got)), crc);
        total += std::size_t(got);
    }
    return total == 0 ? 0 : crc;
}

vexa::Error InstallUpdater(const std::filesystem::path& updater, std::span<const std::uint8_t> bytes) {
    const auto incoming = WithSuffix(updater, "_willdel");
    const auto backup = WithSuffix(updater, "_backup");
    vexa::Error result = WriteNewFile(incoming, bytes);
    if (result.ok()) result = SwapIn(incoming, updater, backup);
    std::error_code ignored;
    std::filesystem::remove(incoming, ignored);
    std::filesystem::remove(backup, ignored);
    return result;
}

}  // namespace vexa::net
