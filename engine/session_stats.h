// Counters of one recording, for --stats and tests. The session shares them (shared_ptr) so they can
// be read after the session is gone. Counters are atomics, safe from any thread; the encoder names
// are set during set-up on the recording thread, before any stream thread runs. The failure record
// is thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

// The failure that ended a recording by itself (its file could not be written), kept once.
class FailureRecord {
  public:
    // Keeps the first failure; false when one was kept already (or e is ok).
    bool Keep(const Error& e) {
        platform::SpinGuard guard(lock_);
        if (e.ok() || !error_.ok()) return false;
        error_ = e;
        return true;
    }
    // The kept failure, or ok.
    [[nodiscard]] Error Get() const {
        platform::SpinGuard guard(lock_);
        return error_;
    }

  private:
    mutable platform::SpinLock lock_;
    Error error_ GUARDED_BY(lock_);
};

struct SessionStats {
    std::atomic<uint64_t> frames_captured{0};   // screen or camera pictures passed to an encoder
    std::atomic<uint64_t> cursor_records{0};    // cursor records made
    std::atomic<uint64_t> frames_encoded{0};    // pictures sent to a video encoder
    std::atomic<uint64_t> frames_dropped{0};    // pictures lost on the way (conversion, pool, decoder)
    std::atomic<uint64_t> frames_replaced{0};   // pictures replaced by a newer one within one frame period
    std::atomic<uint64_t> reselections{0};      // screen method selections after the first
    std::atomic<uint64_t> pixels_converted{0};  // screen pixels grabbed and converted (changed blocks)
    std::atomic<uint64_t> packets_written{0};
    std::atomic<uint64_t> bytes_written{0};
    std::atomic<uint64_t> write_errors{0};  // packets that did not reach the file
    std::atomic<uint64_t> syncs{0};         // times what was written was pushed to the disk
    FailureRecord failure;                  // why the recording ended itself, if it did
    FailureRecord unfinished;               // why the whole file stays fragmented (its finishing copy failed)
    std::string video_encoder;
    std::string audio_encoder;
};

}  // namespace vexa::engine
