// AudioBlock: a block of sound on its way from capture through mixing to the encoder, and
// BlockQueue, the locked list that carries blocks between the capture and mix threads.
//
// A block is an FFmpeg frame (its nb_samples is the block's sample count) plus the time of its run
// and the packet flags. Blocks are pooled and never freed while their stream runs; the owner mark
// says which pool a block goes back to. BlockQueue is thread-safe (its SpinLock); a block belongs to
// one list at a time.
#pragma once

#include <cstdint>

#include "engine/ffmpeg_ptr.h"
#include "engine/intrusive_list.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

enum class BlockHome : uint8_t {
    kInput,      // its input's free pool (the input's capture format)
    kResampled,  // the resampler-output pool (the encoder's format)
    kMixed,      // the sink-frame pool (frames the mix graph made)
};

struct AudioBlock : ListLink {
    FramePtr frame;
    int64_t capture_time = 0;  // session ticks at which the block ended
    uint32_t flags = 0;        // platform::kPacketDiscontinuity, kPacketSilent
    BlockHome home = BlockHome::kInput;
    int input = 0;  // the input whose pool a kInput block returns to

    [[nodiscard]] int Samples() const { return frame->nb_samples; }
};

using BlockList = IntrusiveList<AudioBlock>;

// Deletes every block of the list.
void FreeBlocks(BlockList& blocks);

class BlockQueue {
  public:
    BlockQueue() = default;
    ~BlockQueue() { FreeBlocks(blocks_); }
    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    void Push(AudioBlock* block) {
        platform::SpinGuard guard(lock_);
        blocks_.PushBack(block);
    }
    [[nodiscard]] AudioBlock* Pop() {
        platform::SpinGuard guard(lock_);
        return blocks_.PopFront();
    }
    [[nodiscard]] BlockList TakeAll() {
        platform::SpinGuard guard(lock_);
        return blocks_.TakeAll();
    }

  private:
    platform::SpinLock lock_;
    BlockList blocks_ GUARDED_BY(lock_);
};

}  // namespace vexa::engine
