// ScreenCanvas: the crop of the screen as last grabbed (BGRA in the backend's row order, in memory
// the display server grabs into where it offers some) and the same picture in the encoder's layout
// (the canvas: 4:2:0, or BGRA for an encoder that takes it, rows top-down). An update grabs only the
// blocks that changed (the damage rectangles inside the crop, on the chroma grid), or the whole crop
// when the copy is not current (new size, failed grab, Invalidate). Conversion waits for Render:
// blocks grabbed since the last picture are converted into the canvas and the canvas is copied out,
// while a picture that changed everywhere is converted straight into the picture asked for, with no
// copy; the canvas then lags and is converted whole at the next partial change.
//
// Ownership: owns both copies and the canvas; its SharedPixels come from the backend passed in and
// must not outlive it. Threads: used by one capture thread alone.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/screen/picture_convert.h"
#include "platform/screen/screen_backend.h"

namespace vexa::engine {

class ScreenCanvas {
  public:
    enum class Outcome : uint8_t {
        kOk,
        kGrabFailed,  // the screen changed under the grab: the method must be set up again
        kNoMemory,
    };

    // The crop's pixels, BGRA, rows in the backend's order.
    struct Copy {
        std::unique_ptr<platform::SharedPixels> shared;
        std::unique_ptr<uint8_t[]> own;
        uint8_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        bool bottom_up = false;
        [[nodiscard]] int Stride() const { return width * 4; }
        // Where a grab of the block [left, …) × [top, bottom) starts writing (a bottom-up grab writes
        // its last row first).
        [[nodiscard]] uint8_t* GrabStart(int left, int top, int bottom) const;
        // The block's top-left pixel and the stride that walks down the picture.
        [[nodiscard]] const uint8_t* Upright(int left, int top, int& stride) const;
    };

    explicit ScreenCanvas(PictureFormat format = PictureFormat::kI420) : format_(format) {}
    void SetFormat(PictureFormat format);

    // Damage: grabs the blocks of the crop that the rectangles (screen coordinates) changed (a block
    // half as wide as the crop or wider as whole rows), or the whole crop when the copy is not
    // current.
    [[nodiscard]] Outcome Update(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                 const std::vector<platform::ScreenRect>& dirty);
    // Polling: grabs the whole crop and compares it with the last grab; when it differs (or force,
    // or the copy is not current) it becomes the copy, and changed is set.
    [[nodiscard]] Outcome Poll(platform::ScreenBackend& backend, const platform::ScreenRect& crop, bool force,
                               bool& changed);
    // Makes the screen copy (and the polling method's second copy) fit the crop and writes each of
    // its bytes once, so the first grab after the start finds memory that is there (a page touched
    // for the first time costs several microseconds). Grabs nothing: the next update still takes
    // the whole crop. kNoMemory when a copy cannot be allocated.
    [[nodiscard]] Outcome Prepare(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                  bool polling);
    // The next update takes the whole crop.
    void Invalidate() { current_ = false; }

    // Writes the crop as last grabbed into out, a picture of the crop's size in the canvas's format.
    // kNoMemory when the canvas cannot be allocated, out does not fit or nothing was grabbed yet.
    [[nodiscard]] Outcome Render(const PictureView& out);

    // Whether the copy holds the crop (Render has a picture to give).
    [[nodiscard]] bool Current() const { return current_; }
    [[nodiscard]] const Copy& Screen() const { return screen_; }
    // Pixels converted so far (every block of every picture rendered, and the canvas caught up).
    [[nodiscard]] uint64_t PixelsConverted() const { return converted_; }

  private:
    // Makes a copy fit the crop (made: it is new); false when memory runs out.
    [[nodiscard]] bool Fit(platform::ScreenBackend& backend, Copy& copy, int width, int height, bool& made);
    // Converts blocks of the copy into a picture of the crop's size.
    [[nodiscard]] bool Convert(const std::vector<platform::ScreenRect>& blocks, const PictureView& out);
    // Blocks grabbed since the last Render (all of them when the copy was taken whole).
    void AddPending(const std::vector<platform::ScreenRect>& blocks, bool whole);

    PictureFormat format_;
    Copy screen_;  // the crop as last grabbed
    Copy poll_;    // polling: the new grab
    bool current_ = false;
    std::vector<platform::ScreenRect> pending_;  // grabbed since the last Render, not yet converted
    bool pending_whole_ = false;                 // every pixel is pending
    Picture canvas_;
    bool canvas_lags_ = true;  // the canvas is older than the copy outside the pending blocks
    uint64_t converted_ = 0;
};

}  // namespace vexa::engine
