// Encoder-ready camera frames on their way from the picture thread to the camera's encode thread.
// The pool keeps every frame it ever made (it never shrinks) and reuses their buffers, so steady
// recording does not allocate per picture. Take/Give are thread-safe (the pool's SpinLock).
#pragma once

#include <memory>
#include <vector>

#include "engine/ffmpeg_ptr.h"
#include "engine/intrusive_list.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

struct CameraFrame : ListLink {
    FramePtr frame;     // encoder pixel format and size
    int64_t stamp = 0;  // session time in counter ticks
};

using CameraFrameList = IntrusiveList<CameraFrame>;

class CameraFramePool {
  public:
    // A writable frame of that format and size; null when out of memory.
    [[nodiscard]] CameraFrame* Take(AVPixelFormat format, int width, int height);
    void Give(CameraFrame* frame);
    void GiveAll(CameraFrameList& frames);
    [[nodiscard]] size_t Allocated();

  private:
    platform::SpinLock lock_;
    std::vector<std::unique_ptr<CameraFrame>> owned_ GUARDED_BY(lock_);
    CameraFrameList free_ GUARDED_BY(lock_);
};

}  // namespace vexa::engine
