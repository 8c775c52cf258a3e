#include "net/detached_launch.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace net {
namespace {

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = ::read(fd, p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        size -= std::size_t(got);
    }
    return true;
}

// Runs in the forked children: only async-signal-safe calls from here on.
[[noreturn]] void RunGrandchild(const char* program, char* const argv[], int reportFd) {
    if (::setsid() < 0) ::_exit(126);
    pid_t grandchild = ::fork();
    if (grandchild < 0) {
        int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
        ::_exit(126);
    }
    if (grandchild > 0) ::_exit(0);  // the grandchild is handed to init
    ::execv(program, argv);
    int error = errno;  // exec failed: tell the launcher why
    (void)!::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

vexa::Error LaunchDetached(const std::filesystem::path& program, const std::string& argument) {
    std::string programText = program.string();
    std::string argumentText = argument;
    char* argv[] = {programText.data(), argumentText.data(), nullptr};
    const std::string what = "cannot start " + programText;

    int report[2];  // closes on a successful exec, carries errno otherwise
    if (::pipe2(report, O_CLOEXEC) != 0) return vexa::Error::FromErrno(errno, what);
    vexa::platform::UniqueFd reading(report[0]);
    vexa::platform::UniqueFd writing(report[1]);
    pid_t child = ::fork();
    if (child < 0) return vexa::Error::FromErrno(errno, what);
    if (child == 0) {
        ::close(report[0]);
        RunGrandchild(programText.c_str(), argv, report[1]);
    }
    writing.Reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = 0;
    if (ReadAll(reading.Get(), &execError, sizeof execError)) return vexa::Error::FromErrno(execError, what);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return vexa::Error(vexa::ErrorCode::kInternal, what + ": the launching process failed");
    }
    return {};
}

}  // namespace net
