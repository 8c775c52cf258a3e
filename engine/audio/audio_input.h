// AudioInput: one opened sound device of a sound stream: its capture client and buffer event, its
// capture format, the queue of captured blocks (capture thread → mix thread) and its pool of free
// blocks (shared by both threads). The filter source and the resampler of the mixer belong to the
// mix thread alone (SoundMixer).
//
// Owned by CAudio. The queue and pool are thread-safe; the rest is set up before the threads start
// and read-only afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/audio/audio_block.h"
#include "platform/audio/audio_system.h"
#include "platform/sync/waitable.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace vexa::engine {

// The device period used when a device reports none: 3 ms in 100-ns units.
inline constexpr int64_t kDefaultDevicePeriod = 30'000;

struct AudioInput {
    const void* row = nullptr;  // the panel row it was built from (for live volume)
    std::unique_ptr<platform::AudioClient> client;
    std::unique_ptr<platform::Event> event;  // signalled by the client when data arrived
    bool has_volume = false;
    int64_t device_period = kDefaultDevicePeriod;
    uint32_t buffer_frames = 0;  // capacity of every block of this input
    AVSampleFormat sample_format = AV_SAMPLE_FMT_NONE;
    int sample_rate = 0;
    int bytes_per_frame = 0;
    uint64_t channel_layout = 0;
    int channels = 0;
    std::string description;  // for the log: "speaker 'x' volume 80 (s16 48000 Hz 2 ch)"
    BlockQueue captured;
    BlockQueue free_pool;

    // A block of this input from its pool, writable and with buffer_frames samples of room; a new one
    // when the pool is empty. Null when out of memory.
    [[nodiscard]] AudioBlock* TakeFreeBlock(int index);
    void GiveBack(AudioBlock* block) { free_pool.Push(block); }
};

// A new block whose frame has room for capacity samples of the format. Null when out of memory.
[[nodiscard]] AudioBlock* NewAudioBlock(AVSampleFormat format, uint64_t layout, int rate, int capacity);
// Makes a pooled block's frame writable again with room for capacity samples (the encoder or the mix
// graph may still hold a reference to its old buffer). False when out of memory.
[[nodiscard]] bool RenewAudioBlock(AudioBlock* block, int capacity);

}  // namespace vexa::engine
