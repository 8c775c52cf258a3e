#include "engine/screen/screen_canvas.h"

#include <cstddef>
#include <new>
#include <utility>

#include "engine/screen/damage_blocks.h"
#include "engine/screen/frame_compare.h"

namespace vexa::engine {

uint8_t* ScreenCanvas::Copy::GrabStart(int left, int top, int bottom) const {
    const int row = bottom_up ? height - bottom : top;
    return pixels + static_cast<ptrdiff_t>(row) * Stride() + static_cast<ptrdiff_t>(left) * 4;
}

const uint8_t* ScreenCanvas::Copy::Upright(int left, int top, int& stride) const {
    stride = bottom_up ? -Stride() : Stride();
    const int row = bottom_up ? height - 1 - top : top;
    return pixels + static_cast<ptrdiff_t>(row) * Stride() + static_cast<ptrdiff_t>(left) * 4;
}

void ScreenCanvas::SetFormat(PictureFormat format) {
    if (format != format_) current_ = false;
    format_ = format;
}

bool ScreenCanvas::Fit(platform::ScreenBackend& backend, Copy& copy, int width, int height, bool& made) {
    const bool bottom_up = backend.Order() == platform::RowOrder::kBottomUp;
    made = false;
    if (copy.pixels && copy.width == width && copy.height == height && copy.bottom_up == bottom_up)
        return true;
    made = true;
    copy = Copy{};
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (width <= 0 || height <= 0) return false;
    // Memory the server grabs into where it offers some: the picture is not copied again.
    if ((copy.shared = backend.CreateSharedPixels(bytes))) {
        copy.pixels = copy.shared->Data();
    } else {
        copy.own.reset(new (std::nothrow) uint8_t[bytes]);
        copy.pixels = copy.own.get();
    }
    if (!copy.pixels) return false;
    copy.width = width;
    copy.height = height;
    copy.bottom_up = bottom_up;
    return true;
}

bool ScreenCanvas::FitCanvas(int width, int height) {
    if (canvas_.Fits(format_, width, height)) return true;
    current_ = false;
    return canvas_.Allocate(format_, width, height);
}

ScreenCanvas::Outcome ScreenCanvas::Update(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                           const std::vector<platform::ScreenRect>& dirty) {
    const int width = crop.right - crop.left, height = crop.bottom - crop.top;
    bool made = false;
    if (!Fit(backend, screen_, width, height, made) || !FitCanvas(width, height)) return Outcome::kNoMemory;
    if (made) current_ = false;
    std::vector<platform::ScreenRect> blocks =
        ChangedBlocks(current_ ? dirty : std::vector<platform::ScreenRect>{crop}, crop);
    // A block half as wide as the crop or wider is taken whole-width: whole rows land in the copy
    // where they belong (in shared memory, without a copy through the backend's own segment, which
    // then stays untouched), and converting the rest of the rows costs no more than that copy would.
    for (platform::ScreenRect& b : blocks) {
        if (2 * (b.right - b.left) >= width) {
            b.left = 0;
            b.right = width;
        }
    }
    for (const platform::ScreenRect& b : blocks) {
        const platform::ScreenRect on_screen{crop.left + b.left, crop.top + b.top, crop.left + b.right,
                                             crop.top + b.bottom};
        if (!backend.Grab(on_screen, screen_.GrabStart(b.left, b.top, b.bottom), screen_.Stride())) {
            current_ = false;
            return Outcome::kGrabFailed;
        }
    }
    return Convert(blocks) ? Outcome::kOk : Outcome::kNoMemory;
}

ScreenCanvas::Outcome ScreenCanvas::Poll(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                         bool force, bool& changed) {
    changed = false;
    const int width = crop.right - crop.left, height = crop.bottom - crop.top;
    bool made = false;
    if (!Fit(backend, poll_, width, height, made) || !FitCanvas(width, height)) return Outcome::kNoMemory;
    if (!backend.Grab(crop, poll_.GrabStart(0, 0, height), poll_.Stride())) {
        current_ = false;
        return Outcome::kGrabFailed;
    }
    const size_t bytes = static_cast<size_t>(poll_.Stride()) * static_cast<size_t>(height);
    changed = force || !current_ || screen_.width != width || screen_.height != height ||
              screen_.bottom_up != poll_.bottom_up ||
              FrameCompare()(screen_.pixels, poll_.pixels, bytes) != 0;
    if (!changed) return Outcome::kOk;
    std::swap(screen_, poll_);
    return Convert({platform::ScreenRect{0, 0, width, height}}) ? Outcome::kOk : Outcome::kNoMemory;
}

bool ScreenCanvas::Convert(const std::vector<platform::ScreenRect>& blocks) {
    for (const platform::ScreenRect& b : blocks) {
        int stride = 0;
        const uint8_t* src = screen_.Upright(b.left, b.top, stride);
        if (!ConvertBgraBlock(src, stride, canvas_.View(), b.left, b.top, b.right - b.left,
                              b.bottom - b.top)) {
            current_ = false;
            return false;
        }
        converted_ += static_cast<uint64_t>(b.right - b.left) * static_cast<uint64_t>(b.bottom - b.top);
    }
    current_ = true;
    return true;
}

}  // namespace vexa::engine
