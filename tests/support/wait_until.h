// Waiting in tests for a condition itself, never for a fixed time: polls `done` every few
// milliseconds until it holds or the generous deadline passes (a loaded machine only makes the wait
// longer). Any thread; `done` runs on the calling thread.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vexa::test {

inline constexpr std::chrono::seconds kGenerousWait{20};

// True as soon as `done` holds; false when it still does not after `timeout`.
[[nodiscard]] inline bool WaitUntil(const std::function<bool()>& done,
                                    std::chrono::milliseconds timeout = kGenerousWait) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace vexa::test
