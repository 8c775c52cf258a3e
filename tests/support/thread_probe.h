// What the kernel says about the threads of this process, for tests that must know a thread is
// asleep or gone rather than guess from the time that passed: the threads carrying a name, and the
// system call a thread is blocked in (/proc/self/task/<tid>/syscall). Linux only; any thread.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa::test {

// The ids of this process's threads whose name (comm) is `name`.
[[nodiscard]] std::vector<pid_t> ThreadsNamed(const std::string& name);

// The system call a thread sleeps in: its number and first arguments.
struct BlockedCall {
    long number = 0;
    std::array<std::uint64_t, 6> args{};
};
// Null while the thread runs, sleeps outside a system call, or is gone.
[[nodiscard]] std::optional<BlockedCall> BlockedIn(pid_t thread);

// True when the thread sleeps in poll() or ppoll() with no time-out at all.
[[nodiscard]] bool SleepsInPollWithoutTimeout(pid_t thread);
// True when the thread sleeps in poll() or ppoll() on exactly `descriptors` descriptors.
[[nodiscard]] bool SleepsInPollOn(pid_t thread, std::uint64_t descriptors);
// True when exactly one thread carries `name` and it sleeps in poll() or ppoll() on `descriptors`.
[[nodiscard]] bool NamedThreadSleepsInPollOn(const std::string& name, std::uint64_t descriptors);

// How often the thread has gone to sleep of its own accord (voluntary context switches); -1 when
// it is gone.
[[nodiscard]] long TimesAsleep(pid_t thread);
// Waits (generously) until the one thread named `name` has gone to sleep `times` more times: a
// thread that sleeps between the turns of its loop has run a whole turn since the call. The proof,
// for a check that such a thread did nothing, that it looked.
[[nodiscard]] bool NamedThreadTurnsOver(const std::string& name, int times = 2);

}  // namespace vexa::test
