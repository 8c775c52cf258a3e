#include "cli/control_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/log/log.h"

namespace vexa::cli {
namespace {

sigset_t ControlSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    return set;
}

}  // namespace

bool LineReader::ReadAvailable(const std::function<void(const std::string&)>& on_line) {
    char buf[kMaxLine];
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n <= 0) return n < 0 && (errno == EINTR || errno == EAGAIN);
    const char* next = buf;
    const char* const end = buf + n;
    while (next < end) {
        const auto* line_end =
            static_cast<const char*>(std::memchr(next, '\n', static_cast<size_t>(end - next)));
        const char* stop = line_end ? line_end : end;
        if (pending_.size() + static_cast<size_t>(stop - next) > kMaxLine) {
            log::Warning("standard input: a line longer than " + std::to_string(kMaxLine) +
                         " bytes is no command; the input is no longer read");
            pending_.clear();
            return false;
        }
        pending_.append(next, stop);
        if (!line_end) break;
        if (on_line) on_line(pending_);
        pending_.clear();
        next = line_end + 1;
    }
    return true;
}

bool BlockControlSignals() {
    const sigset_t set = ControlSignals();
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

int RunControlLoop(engine::SessionSlot& slot, double duration_seconds,
                   const std::function<void(const std::string&)>& on_input_line) {
    const sigset_t set = ControlSignals();
    const int sfd = signalfd(-1, &set, SFD_CLOEXEC);
    if (sfd < 0) return SIGTERM;
    LineReader lines(STDIN_FILENO);
    bool stdin_open = true;
    bool paused = false;
    const int64_t limit = std::llround(duration_seconds * 1e9);
    int failure_fd = -1;
    slot.With([&](engine::CCapture& s) { failure_fd = s.FailureEvent().NativeHandle(); });
    for (;;) {
        int64_t recorded = 0;
        bool failed = false;
        slot.With([&](engine::CCapture& s) {
            recorded = s.SessionTimeNow();
            failed = !s.FailureStop().ok();
        });
        if (failed) {
            close(sfd);
            return kEndedByFailure;
        }
        if (limit > 0 && recorded >= limit) {
            close(sfd);
            return 0;
        }
        // Sleeps until the duration is reached, a signal, input or the session's failure: no wake-up
        // in between (a paused recording has no deadline; SIGUSR1 resumes it).
        timespec until{};
        const timespec* timeout = nullptr;
        if (limit > 0 && !paused) {
            const int64_t left = std::max<int64_t>(limit - recorded, 0);
            until = {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
            timeout = &until;
        }
        // The failure event only wakes the loop; the session's record says why.
        pollfd fds[3] = {{failure_fd, POLLIN, 0},
                         {sfd, POLLIN, 0},
                         {STDIN_FILENO, static_cast<short>(stdin_open ? POLLIN : 0), 0}};
        if (ppoll(fds, stdin_open ? 3 : 2, timeout, nullptr) <= 0) continue;
        if (fds[0].revents & POLLIN) continue;
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(sfd, &info, sizeof info) != sizeof info) continue;
            if (info.ssi_signo == SIGUSR1) {
                paused = !paused;
                slot.With([&](engine::CCapture& s) { paused ? s.Pause() : s.Resume(); });
                continue;
            }
            close(sfd);
            return static_cast<int>(info.ssi_signo);
        }
        if (stdin_open && (fds[2].revents & (POLLIN | POLLHUP)))
            stdin_open = lines.ReadAvailable(on_input_line);
    }
}

}  // namespace vexa::cli
