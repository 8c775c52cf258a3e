#include "platform/process/detached_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

extern char** environ;

namespace vexa::platform {
namespace {

void Report(int fd, int error) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
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
    Report(error_pipe, errno);
    _exit(127);
}

}  // namespace

Error LaunchDetached(const std::string& path, const std::vector<std::string>& arguments) {
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
        if (grandchild < 0) Report(write_end.Get(), errno);
        _exit(0);
    }
    write_end.Reset();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got = 0;
    do {
        got = read(read_end.Get(), &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof err)) return Error::FromErrno(err, what);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Error(ErrorCode::kInternal, what + ": the launching process failed");
    return {};
}

}  // namespace vexa::platform
