#include "platform/sync/waitable.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

timespec ToTimespec(int64_t ns) {
    if (ns < 0) ns = 0;
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Polls the descriptors until one is readable or the deadline passes; ppoll restarts after signals.
// Returns the index of a readable descriptor, -1 on time-out, -2 on failure.
int PollUntil(std::vector<pollfd>& fds, int64_t timeout100ns) {
    const bool infinite = timeout100ns < 0;
    const int64_t deadline = infinite ? 0 : PerformanceCounter() + timeout100ns * 100;
    for (;;) {
        timespec ts = ToTimespec(infinite ? 0 : deadline - PerformanceCounter());
        int rc = ppoll(fds.data(), fds.size(), infinite ? nullptr : &ts, nullptr);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return -2;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents & (POLLERR | POLLNVAL)) return -2;
            if (fds[i].revents & POLLIN) return static_cast<int>(i);
        }
        if (!infinite && PerformanceCounter() >= deadline) return -1;
    }
}

}  // namespace

Waitable::~Waitable() {
    if (fd_ >= 0) close(fd_);
}

Error Waitable::CreationError(const std::string& what) const {
    return Valid() ? Error{} : Error::FromErrno(create_errno_, "cannot create " + what);
}

bool Waitable::TryConsume() {
    uint64_t value = 0;
    return read(fd_, &value, sizeof value) == sizeof value;
}

WaitResult Waitable::Wait(int64_t timeout100ns) {
    Waitable* self = this;
    size_t index = 0;
    return WaitAny(std::span<Waitable* const>(&self, 1), timeout100ns, &index);
}

Semaphore::Semaphore(uint32_t initial)
    : Waitable(eventfd(initial, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC)) {}

bool Semaphore::Release(uint32_t count) {
    if (count == 0) return true;
    if (count > 0x7FFFFFFFu) return false;
    uint64_t value = count;
    return write(NativeHandle(), &value, sizeof value) == sizeof value;
}

Event::Event() : Waitable(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void Event::Set() {
    uint64_t one = 1;
    // A full counter already means "signalled"; nothing more to record.
    [[maybe_unused]] ssize_t n = write(NativeHandle(), &one, sizeof one);
}

WaitResult WaitAny(std::span<Waitable* const> objects, int64_t timeout100ns, size_t* index) {
    std::vector<pollfd> fds;
    fds.reserve(objects.size());
    for (Waitable* w : objects) fds.push_back(pollfd{w->NativeHandle(), POLLIN, 0});
    if (fds.empty()) {
        if (timeout100ns < 0) return WaitResult::kFailed;
        Sleep100ns(timeout100ns);
        return WaitResult::kTimeout;
    }
    const bool infinite = timeout100ns < 0;
    const int64_t deadline = infinite ? 0 : PerformanceCounter() + timeout100ns * 100;
    for (;;) {
        int64_t left = infinite ? kInfinite : (deadline - PerformanceCounter()) / 100;
        if (!infinite && left < 0) left = 0;
        int ready = PollUntil(fds, left);
        if (ready == -1) return WaitResult::kTimeout;
        if (ready == -2) return WaitResult::kFailed;
        // Another waiter may have consumed the signal first: then wait on.
        if (objects[static_cast<size_t>(ready)]->TryConsume()) {
            if (index) *index = static_cast<size_t>(ready);
            return WaitResult::kSignaled;
        }
        if (!infinite && PerformanceCounter() >= deadline) return WaitResult::kTimeout;
    }
}

}  // namespace vexa::platform
