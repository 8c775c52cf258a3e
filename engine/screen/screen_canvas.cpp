#include "engine/screen/screen_canvas.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
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

ScreenCanvas::Outcome ScreenCanvas::Prepare(platform::ScreenBackend& backend,
                                            const platform::ScreenRect& crop, bool polling) {
    const int width = crop.right - crop.left, height = crop.bottom - crop.top;
    bool made = false;
    for (Copy* copy : {&screen_, polling ? &poll_ : nullptr}) {
        if (!copy) continue;
        if (!Fit(backend, *copy, width, height, made)) return Outcome::kNoMemory;
        std::memset(copy->pixels, 0, static_cast<size_t>(copy->Stride()) * static_cast<size_t>(height));
    }
    current_ = false;
    return Outcome::kOk;
}

ScreenCanvas::Outcome ScreenCanvas::Update(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                           const std::vector<platform::ScreenRect>& dirty) {
    const int width = crop.right - crop.left, height = crop.bottom - crop.top;
    bool made = false;
    if (!Fit(backend, screen_, width, height, made)) return Outcome::kNoMemory;
    const bool whole = made || !current_;
    std::vector<platform::ScreenRect> blocks =
        ChangedBlocks(whole ? std::vector<platform::ScreenRect>{crop} : dirty, crop);
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
    current_ = true;
    AddPending(blocks, whole);
    return Outcome::kOk;
}

ScreenCanvas::Outcome ScreenCanvas::Poll(platform::ScreenBackend& backend, const platform::ScreenRect& crop,
                                         bool force, bool& changed) {
    changed = false;
    const int width = crop.right - crop.left, height = crop.bottom - crop.top;
    bool made = false;
    if (!Fit(backend, poll_, width, height, made)) return Outcome::kNoMemory;
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
    current_ = true;
    AddPending({}, true);
    return Outcome::kOk;
}

void ScreenCanvas::AddPending(const std::vector<platform::ScreenRect>& blocks, bool whole) {
    const platform::ScreenRect all{0, 0, screen_.width, screen_.height};
    pending_whole_ =
        pending_whole_ || whole || std::any_of(blocks.begin(), blocks.end(), [&](const auto& b) {
            return b.left == all.left && b.top == all.top && b.right == all.right && b.bottom == all.bottom;
        });
    if (pending_whole_)
        pending_.clear();
    else
        pending_.insert(pending_.end(), blocks.begin(), blocks.end());
}

ScreenCanvas::Outcome ScreenCanvas::Render(const PictureView& out) {
    const int width = screen_.width, height = screen_.height;
    if (!current_ || out.format != format_ || out.width != width || out.height != height)
        return Outcome::kNoMemory;
    const std::vector<platform::ScreenRect> whole{{0, 0, width, height}};
    if (pending_whole_) {
        // Every pixel changed: converted straight into the picture; the canvas catches up later.
        if (!Convert(whole, out)) return Outcome::kNoMemory;
        canvas_lags_ = true;
    } else {
        if (!canvas_.Fits(format_, width, height)) {
            if (!canvas_.Allocate(format_, width, height)) return Outcome::kNoMemory;
            canvas_lags_ = true;
        }
        if (!Convert(canvas_lags_ ? whole : pending_, canvas_.View()) ||
            !CopyPictureBlock(out, 0, 0, canvas_.View(), 0, 0, width, height))
            return Outcome::kNoMemory;
        canvas_lags_ = false;
    }
    pending_.clear();
    pending_whole_ = false;
    return Outcome::kOk;
}

bool ScreenCanvas::Convert(const std::vector<platform::ScreenRect>& blocks, const PictureView& out) {
    for (const platform::ScreenRect& b : blocks) {
        int stride = 0;
        const uint8_t* src = screen_.Upright(b.left, b.top, stride);
        if (!ConvertBgraBlock(src, stride, out, b.left, b.top, b.right - b.left, b.bottom - b.top))
            return false;
        converted_ += static_cast<uint64_t>(b.right - b.left) * static_cast<uint64_t>(b.bottom - b.top);
    }
    return true;
}

}  // namespace vexa::engine
