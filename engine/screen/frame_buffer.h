// Records that carry screen pictures from the capture thread to the encoding thread, and the pools
// that recycle them. A pool's Take/Give are thread-safe (its SpinLock); a record itself belongs to
// one thread at a time: the capture thread until it is queued, the encoding thread after.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/intrusive_list.h"
#include "platform/screen/screen_backend.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

// The cursor at one moment: its image already drawn over the screen pixels that lay under it.
struct CursorRecord : ListLink {
    int64_t time = 0;  // session time
    int x = 0;         // image position relative to the crop origin
    int y = 0;
    bool visible = false;
    platform::RowOrder order = platform::RowOrder::kTopDown;  // of the frame it belongs to
    uint8_t sequence = 0;                                     // 1 for a frame's first record
    int size = 0;                                             // width and height of the image
    std::unique_ptr<uint8_t[]> pixels;                        // size × size BGRA, top-down
};

using CursorList = IntrusiveList<CursorRecord>;

// Frees pixels the frame allocated itself; shared pixels are freed by their owner.
struct FramePixelsDeleter {
    bool owned = true;
    void operator()(uint8_t* p) const {
        if (owned) delete[] p;
    }
};

// One captured picture of the crop: 32-bit BGRA, line size = width × 4, rows in `order`. Without
// cursor recording it carries one time; with it, a list of cursor records, each with its own time.
// Its pixels are its own memory, or memory shared with the display server (`shared`), which the
// server grabs into without a copy.
struct FrameBuffer : ListLink {
    int width = 0;
    int height = 0;
    int line_size = 0;
    size_t byte_size = 0;
    std::unique_ptr<platform::SharedPixels> shared;
    std::unique_ptr<uint8_t[], FramePixelsDeleter> pixels;
    int64_t time = 0;
    platform::RowOrder order = platform::RowOrder::kTopDown;
    CursorList cursors;

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
