// Helpers of the screen-source tests: waiting for what another thread does, and a small cursor.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "platform/screen/screen_backend.h"

namespace vexa::engine::screen_test {

// Polls until done() holds or the time-out passes; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A visible white 4 × 4 cursor at (x, y).
inline platform::CursorImage Arrow(int x, int y) {
    platform::CursorImage c;
    c.visible = true;
    c.x = x;
    c.y = y;
    c.handle = 7;
    c.width = c.height = 4;
    c.argb.assign(16, 0xFFFFFFFFu);
    return c;
}

}  // namespace vexa::engine::screen_test
