// How a new camera picture is stamped against the held one, so that pictures faster than the
// recording's frame rate collapse into the held frame and queued stamps stay at least one frame
// interval apart. Pure; thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vexa::engine {

struct StampDecision {
    int64_t stamp = 0;        // the new frame's stamp
    bool queue_held = false;  // the held frame goes to the encoder; otherwise it is replaced
};

// now: the session time of the new picture; held_stamp is read only when has_held.
[[nodiscard]] constexpr StampDecision StampNewFrame(bool has_held, int64_t held_stamp, int64_t now,
                                                    int64_t frame_interval) {
    if (!has_held) return {now, false};
    if (held_stamp < now) return {std::max(held_stamp + frame_interval, now), true};
    return {held_stamp, false};
}

}  // namespace vexa::engine
