// A PipeWire video source for the tests of the portal screen backend: it stands in for the desktop's
// screen-sharing stream. It sends BGRx pictures the test paints, with video damage metadata and
// cursor metadata as the test asks, only when the test sends one (as a desktop does on change), and
// can change its size. Connects to the daemon of $PIPEWIRE_RUNTIME_DIR.
// Threads: the producer runs its own PipeWire thread; its methods may be called from any one thread.
#pragma once

#include <pipewire/pipewire.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vexa::test {

// The pointer as cursor metadata, the way GNOME and KDE send it: the position in stream pixels, the
// bitmap premultiplied RGBA at the stream's scale (a 24-pixel pointer on a scale-2 output is 48x48)
// with its hot spot scaled alike, and an id of 0 while the pointer is hidden or on another monitor.
struct ProducedCursor {
    int x = 0;  // the pointer's position
    int y = 0;
    int hot_x = 0;
    int hot_y = 0;
    int size = 0;       // a square bitmap of this side (up to 256); 0 sends no new bitmap
    uint32_t bgra = 0;  // its one colour, 0xAARRGGBB, premultiplied
    // Its pixel at (x, y) instead of the one colour, 0xAARRGGBB premultiplied.
    std::function<uint32_t(int x, int y)> pixel;
    bool invisible = false;  // sends an empty bitmap: the pointer is hidden
    bool absent = false;     // sends the id 0: no pointer over this stream
};

struct ProducedPicture {
    // Paints the whole picture: BGRx pixels, stride bytes a row.
    std::function<void(uint8_t* pixels, int stride, int width, int height)> paint;
    // The damage metadata; empty sends none (the consumer must take the picture as a whole).
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    std::vector<Rect> damage;
    std::optional<ProducedCursor> cursor;
    bool cursor_only = false;  // an empty buffer that carries only the cursor metadata
};

class VideoProducer {
  public:
    // Null when PipeWire cannot be reached. The cursor metadata has room for a square pointer bitmap
    // of cursor_room pixels a side (GNOME's mutter reserves 384).
    [[nodiscard]] static std::unique_ptr<VideoProducer> Start(int width, int height, int cursor_room = 256);
    ~VideoProducer();

    // The node the portal hands out; 0 until the daemon has announced it (waits up to 5 s).
    [[nodiscard]] uint32_t NodeId();
    // Waits until a consumer has been linked and the stream runs.
    [[nodiscard]] bool WaitStreaming(std::chrono::milliseconds timeout);
    // Sends one buffer; false when no buffer is free (no consumer yet, or it holds them all).
    [[nodiscard]] bool Send(const ProducedPicture& picture);
    // Offers only the new size from now on; the consumer renegotiates.
    void Resize(int width, int height);
    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }

  private:
    VideoProducer() = default;
    static void OnStateChanged(void* data, pw_stream_state old, pw_stream_state state, const char* error);
    static void OnParamChanged(void* data, uint32_t id, const spa_pod* param);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    int width_ = 0;
    int height_ = 0;
    int cursor_room_ = 256;
    bool streaming_ = false;  // under the loop's lock
};

}  // namespace vexa::test
