#include "engine/audio/audio_block.h"

#include "engine/audio/audio_input.h"

namespace vexa::engine {

void FreeBlocks(BlockList& blocks) {
    while (AudioBlock* b = blocks.PopFront()) delete b;
}

AudioBlock* NewAudioBlock(AVSampleFormat format, uint64_t layout, int rate, int capacity) {
    auto block = std::make_unique<AudioBlock>();
    block->frame.reset(av_frame_alloc());
    if (!block->frame) return nullptr;
    AVFrame* f = block->frame.get();
    f->format = format;
    f->sample_rate = rate;
    f->nb_samples = capacity;
    if (av_channel_layout_from_mask(&f->ch_layout, layout) < 0) return nullptr;
    if (av_frame_get_buffer(f, 0) < 0) return nullptr;
    return block.release();
}

bool RenewAudioBlock(AudioBlock* block, int capacity) {
    block->frame->nb_samples = capacity;
    block->capture_time = 0;
    block->flags = 0;
    return av_frame_make_writable(block->frame.get()) >= 0;
}

AudioBlock* AudioInput::TakeFreeBlock(int index) {
    const int capacity = static_cast<int>(buffer_frames);
    if (AudioBlock* b = free_pool.Pop()) {
        if (RenewAudioBlock(b, capacity)) return b;
        delete b;
        return nullptr;
    }
    AudioBlock* b = NewAudioBlock(sample_format, channel_layout, sample_rate, capacity);
    if (b) {
        b->home = BlockHome::kInput;
        b->input = index;
    }
    return b;
}

}  // namespace vexa::engine
