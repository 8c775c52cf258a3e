#include "tests/support/thread_probe.h"

#include "tests/support/wait_until.h"

#include <sys/syscall.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vexa::test {

std::vector<pid_t> ThreadsNamed(const std::string& name) {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string thread_name;
        if (std::getline(comm, thread_name) && thread_name == name)
            found.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return found;
}

std::optional<BlockedCall> BlockedIn(pid_t thread) {
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // "running", "-1 sp pc" (blocked outside a system call), or "number arg1 ... arg6 sp pc".
    std::istringstream words(line);
    BlockedCall call;
    if (!(words >> call.number) || call.number < 0) return std::nullopt;
    for (std::uint64_t& arg : call.args) {
        std::string word;
        if (!(words >> word)) return std::nullopt;
        arg = std::stoull(word, nullptr, 16);
    }
    return call;
}

namespace {

bool IsPoll(const BlockedCall& call) {
#ifdef SYS_poll
    if (call.number == SYS_poll) return true;
#endif
    return call.number == SYS_ppoll;
}

}  // namespace

bool SleepsInPollWithoutTimeout(pid_t thread) {
    const std::optional<BlockedCall> call = BlockedIn(thread);
    if (!call || !IsPoll(*call)) return false;
    if (call->number == SYS_ppoll) return call->args[2] == 0;  // no timespec
    return static_cast<int>(call->args[2]) < 0;                // poll: the time-out in ms
}

bool SleepsInPollOn(pid_t thread, std::uint64_t descriptors) {
    const std::optional<BlockedCall> call = BlockedIn(thread);
    return call && IsPoll(*call) && call->args[1] == descriptors;
}

long TimesAsleep(pid_t thread) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    const std::string key = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    }
    return -1;
}

bool NamedThreadTurnsOver(const std::string& name, int times) {
    const std::vector<pid_t> threads = ThreadsNamed(name);
    if (threads.size() != 1) return false;
    const long before = TimesAsleep(threads[0]);
    return before >= 0 && WaitUntil([&] { return TimesAsleep(threads[0]) >= before + times; });
}

bool NamedThreadSleepsInPollOn(const std::string& name, std::uint64_t descriptors) {
    const std::vector<pid_t> threads = ThreadsNamed(name);
    return threads.size() == 1 && SleepsInPollOn(threads[0], descriptors);
}

}  // namespace vexa::test
