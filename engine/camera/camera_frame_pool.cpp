#include "engine/camera/camera_frame_pool.h"

namespace vexa::engine {
namespace {

bool Fits(const AVFrame* f, AVPixelFormat format, int width, int height) {
    return f->format == format && f->width == width && f->height == height && f->data[0];
}

// Gives the frame buffers of the wanted shape, reusing the old ones when they fit.
bool Shape(AVFrame* f, AVPixelFormat format, int width, int height) {
    if (Fits(f, format, width, height)) return av_frame_make_writable(f) >= 0;
    av_frame_unref(f);
    f->format = format;
    f->width = width;
    f->height = height;
    return av_frame_get_buffer(f, 0) >= 0;
}

}  // namespace

CameraFrame* CameraFramePool::Take(AVPixelFormat format, int width, int height) {
    CameraFrame* node = nullptr;
    {
        platform::SpinGuard guard(lock_);
        node = free_.PopFront();
    }
    if (!node) {
        auto fresh = std::make_unique<CameraFrame>();
        fresh->frame.reset(av_frame_alloc());
        if (!fresh->frame) return nullptr;
        node = fresh.get();
        platform::SpinGuard guard(lock_);
        owned_.push_back(std::move(fresh));
    }
    if (!Shape(node->frame.get(), format, width, height)) {
        Give(node);
        return nullptr;
    }
    node->frame->pts = AV_NOPTS_VALUE;
    node->stamp = 0;
    return node;
}

void CameraFramePool::Give(CameraFrame* frame) {
    if (!frame) return;
    platform::SpinGuard guard(lock_);
    free_.PushBack(frame);
}

void CameraFramePool::GiveAll(CameraFrameList& frames) {
    platform::SpinGuard guard(lock_);
    free_.Splice(frames);
}

size_t CameraFramePool::Allocated() {
    platform::SpinGuard guard(lock_);
    return owned_.size();
}

}  // namespace vexa::engine
