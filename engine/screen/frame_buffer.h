// Records that carry screen pictures from the capture thread to the encoding thread, and the pools
// that recycle them. A pool's Take/Give are thread-safe (its SpinLock); a record itself belongs to
// one thread at a time: the capture thread until it is queued, the encoding thread after.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/ffmpeg_ptr.h"
#include "engine/intrusive_list.h"
#include "engine/screen/picture_convert.h"
#include "platform/screen/screen_backend.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

// The cursor at one moment: the block of the crop around it, in the frames' format, with the cursor
// image already drawn over the screen pixels that lay under it. The block starts on the 4:2:0 chroma
// grid and is clipped to the crop, so it can be pasted into a frame without touching its neighbours.
struct CursorRecord : ListLink {
    int64_t time = 0;  // session time
    bool visible = false;
    uint8_t sequence = 0;  // 1 for a frame's first record
    int capacity = 0;      // bytes of pixels
    PictureView block;     // at (x, y) of the crop, over pixels
    int x = 0;
    int y = 0;
    std::unique_ptr<uint8_t[]> pixels;
};

using CursorList = IntrusiveList<CursorRecord>;

// One captured picture of the crop in the layout the encoder takes (4:2:0, or BGRA for an encoder
// that takes that), rows top-down, in a reference-counted FFmpeg picture: when the crop has the
// encoder's size it goes to the encoder as it is (libx264 copies it at once; an encoder that keeps a
// reference leaves it shared, and whoever writes to it next makes it writable first). Without cursor
// recording it carries one time; with it, a list of cursor records, each with its own time.
struct FrameBuffer : ListLink {
    FramePtr av;
    PictureFormat format = PictureFormat::kI420;
    int64_t time = 0;
    CursorList cursors;

    [[nodiscard]] int Width() const { return av ? av->width : 0; }
    [[nodiscard]] int Height() const { return av ? av->height : 0; }
    [[nodiscard]] PictureView View() const {
        PictureView v;
        v.format = format;
        v.width = Width();
        v.height = Height();
        for (int i = 0; i < 3 && av; ++i) {
            v.data[static_cast<size_t>(i)] = av->data[i];
            v.stride[static_cast<size_t>(i)] = av->linesize[i];
        }
        return v;
    }
    // Time of the newest content: the last cursor record's, else the frame's.
    [[nodiscard]] int64_t LastTime() const { return cursors.Empty() ? time : cursors.Back()->time; }
};

using FrameList = IntrusiveList<FrameBuffer>;

// A pool that only grows. Records of the wrong size are destroyed when met; a new one is made when
// none fits. Owns every record in it.
template <typename T>
class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool() { Clear(); }

    // A free record for which fits(record) holds, or null.
    template <typename Fits>
    [[nodiscard]] T* TakeFitting(Fits&& fits) {
        for (;;) {
            T* record = nullptr;
            {
                platform::SpinGuard guard(lock_);
                record = free_.PopFront();
            }
            if (!record || fits(*record)) return record;
            delete record;
        }
    }

    void Give(T* record) {
        if (!record) return;
        platform::SpinGuard guard(lock_);
        free_.PushBack(record);
    }

    void Clear() {
        platform::SpinGuard guard(lock_);
        while (T* record = free_.PopFront()) delete record;
    }

  private:
    platform::SpinLock lock_;
    IntrusiveList<T> free_ GUARDED_BY(lock_);
};

}  // namespace vexa::engine
