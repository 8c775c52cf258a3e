// Counters of one recording, for --stats and tests. The session shares them (shared_ptr) so they can
// be read after the session is gone. Counters are atomics, safe from any thread; the encoder names
// are set during set-up on the recording thread, before any stream thread runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace vexa::engine {

struct SessionStats {
    std::atomic<uint64_t> frames_captured{0};  // screen or camera pictures passed to an encoder
    std::atomic<uint64_t> cursor_records{0};   // cursor records made
    std::atomic<uint64_t> frames_encoded{0};   // pictures sent to a video encoder
    std::atomic<uint64_t> frames_dropped{0};   // pictures lost on the way (conversion, pool, decoder)
    std::atomic<uint64_t> reselections{0};     // screen method selections after the first
    std::atomic<uint64_t> packets_written{0};
    std::atomic<uint64_t> bytes_written{0};
    std::atomic<uint64_t> write_errors{0};
    std::string video_encoder;
    std::string audio_encoder;
};

}  // namespace vexa::engine
