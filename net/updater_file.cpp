#include "net/updater_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/crc32.h"

namespace net {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

std::filesystem::path WithSuffix(const std::filesystem::path& file, const char* suffix) {
    return std::filesystem::path(file.native() + suffix);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(std::size_t(written));
    }
    return true;
}

bool WriteNewFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755));
    if (fd.Get() < 0) return false;
    // The mode of open() applies only to new files; a stale file keeps its own.
    return ::fchmod(fd.Get(), 0755) == 0 && WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0 && fd.Close();
}

}  // namespace

std::uint32_t FileCrc32OrZero(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return 0;
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

bool InstallUpdater(const std::filesystem::path& updater, std::span<const std::uint8_t> bytes) {
    const auto incoming = WithSuffix(updater, "_willdel");
    const auto backup = WithSuffix(updater, "_backup");
    bool installed = false;
    if (WriteNewFile(incoming, bytes)) {
        // Only a backup made by this call may be moved back; a missing updater is simply installed.
        const bool backedUp = std::rename(updater.c_str(), backup.c_str()) == 0;
        if (backedUp || errno == ENOENT) {
            installed = std::rename(incoming.c_str(), updater.c_str()) == 0;
            if (!installed && backedUp) (void)std::rename(backup.c_str(), updater.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove(incoming, ignored);
    std::filesystem::remove(backup, ignored);
    return installed;
}

}  // namespace net
