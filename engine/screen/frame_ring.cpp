#include "engine/screen/frame_ring.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vexa::engine {

bool FrameRing::Init(AVPixelFormat format, int width, int height) {
    for (FramePtr& frame : frames_) {
        frame.reset(av_frame_alloc());
        if (!frame) return false;
        frame->format = format;
        frame->width = width;
        frame->height = height;
    }
    index_ = 0;
    return true;
}

AVFrame* FrameRing::Current() {
    AVFrame* frame = frames_[index_].get();
    if (!frame) return nullptr;
    if (!frame->buf[0] && av_frame_get_buffer(frame, 0) < 0) return nullptr;
    return av_frame_make_writable(frame) < 0 ? nullptr : frame;
}

void FrameRing::Advance() {
    AVFrame* frame = frames_[index_].get();
    if (frame && frame->buf[0] && !av_frame_is_writable(frame)) index_ = (index_ + 1) % kSize;
}

int FrameRing::SlotsAllocated() const {
    int n = 0;
    for (const FramePtr& frame : frames_) n += frame && frame->buf[0] ? 1 : 0;
    return n;
}

}  // namespace vexa::engine
