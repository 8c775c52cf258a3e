#include "platform/process/detached_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

extern char** environ;

namespace vexa::platform {
namespace {

// What goes through the pipe: the exec's errno, or the program's exit status.
struct Report {
    enum Kind : int { kExecFailed = 1, kExited = 2 } kind;
    int value;
};

void Send(int fd, Report::Kind kind, int value) {
    const Report report{kind, value};
    [[maybe_unused]] const ssize_t written = ::write(fd, &report, sizeof report);
}

// Runs in the middle process (only async-signal-safe calls): the program's status when it ends
// within `watch_ms`, polled every 10 ms.
void Watch(pid_t program, long watch_ms, int fd) {
    const timespec step{0, 10'000'000};
    for (long waited = 0; waited < watch_ms; waited += 10) {
        int status = 0;
        const pid_t ended = waitpid(program, &status, WNOHANG);
        if (ended == program) {
            Send(fd, Report::kExited, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return;
        }
        if (ended < 0 && errno != EINTR) return;
        nanosleep(&step, nullptr);
    }
}

// Runs in the grandchild between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecProgram(const char* file, char* const* argv, int error_pipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);  // no descriptor of ours reaches the program
    execve(file, argv, environ);
    Send(error_pipe, Report::kExecFailed, errno);
    _exit(127);
}

}  // namespace

Error LaunchDetached(const std::string& path, const std::vector<std::string>& arguments) {
    const Result<std::optional<int>> launched = LaunchAndWatch(path, arguments, std::chrono::milliseconds(0));
    return launched.ok() ? Error() : launched.error();
}

Result<std::optional<int>> LaunchAndWatch(const std::string& path, const std::vector<std::string>& arguments,
                                          std::chrono::milliseconds watch) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string what = "cannot start " + path;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return Error::FromErrno(errno, what);
    UniqueFd read_end(fds[0]);
    UniqueFd write_end(fds[1]);
    const pid_t child = fork();
    if (child < 0) return Error::FromErrno(errno, what);
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) ExecProgram(path.c_str(), argv.data(), write_end.Get());
        if (grandchild < 0) Send(write_end.Get(), Report::kExecFailed, errno);
        if (grandchild > 0) Watch(grandchild, static_cast<long>(watch.count()), write_end.Get());
        _exit(0);
    }
    write_end.Reset();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    Report report{};
    ssize_t got = 0;
    do {
        got = read(read_end.Get(), &report, sizeof report);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof report) && report.kind == Report::kExecFailed)
        return Error::FromErrno(report.value, what);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Error(ErrorCode::kInternal, what + ": the launching process failed");
    if (got == static_cast<ssize_t>(sizeof report)) return std::optional<int>(report.value);
    return std::optional<int>();
}

}  // namespace vexa::platform
