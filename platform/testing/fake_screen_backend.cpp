#include "platform/testing/fake_screen_backend.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace vexa::platform {

FakeScreenBackend::FakeScreenBackend(int width, int height, RowOrder order, int cursor_size)
    : order_(order),
      cursor_size_(cursor_size),
      screen_width_(width),
      screen_height_(height),
      width_(width),
      height_(height),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u) {}

int FakeScreenBackend::Width() const {
    std::lock_guard lock(mutex_);
    return width_;
}

int FakeScreenBackend::Height() const {
    std::lock_guard lock(mutex_);
    return height_;
}

void FakeScreenBackend::Fill(uint32_t bgra) {
    std::lock_guard lock(mutex_);
    std::fill(pixels_.begin(), pixels_.end(), bgra);
}

void FakeScreenBackend::SetPixel(int x, int y, uint32_t bgra) {
    std::lock_guard lock(mutex_);
    if (x >= 0 && y >= 0 && x < screen_width_ && y < screen_height_)
        pixels_[static_cast<size_t>(y) * screen_width_ + x] = bgra;
}

void FakeScreenBackend::SetCursor(const CursorImage& cursor) {
    std::lock_guard lock(mutex_);
    cursor_ = cursor;
}

void FakeScreenBackend::QueueDamage(DamageReport report) {
    {
        std::lock_guard lock(mutex_);
        damage_.push_back(std::move(report));
    }
    damage_ready_.Set();
}

void FakeScreenBackend::SetDamageSupported(bool supported) {
    std::lock_guard lock(mutex_);
    damage_supported_ = supported;
}

void FakeScreenBackend::SetPollingSupported(bool supported) {
    std::lock_guard lock(mutex_);
    polling_supported_ = supported;
}

void FakeScreenBackend::FailNextGrabs(int count) {
    std::lock_guard lock(mutex_);
    fail_grabs_ = count;
}

void FakeScreenBackend::Resize(int width, int height) {
    {
        std::lock_guard lock(mutex_);
        screen_width_ = width;
        screen_height_ = height;
        pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
        screen_changed_ = true;
        damage_.push_back(DamageReport{DamageReport::Kind::kScreenChanged, 0, 0, {}});
    }
    damage_ready_.Set();
}

void FakeScreenBackend::HoldGrabs(bool hold) {
    {
        std::lock_guard lock(mutex_);
        hold_grabs_ = hold;
    }
    grab_released_.notify_all();
}

int FakeScreenBackend::GrabCount() const {
    std::lock_guard lock(mutex_);
    return grabs_;
}

int FakeScreenBackend::OpenCount() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

CaptureMethod FakeScreenBackend::Method() const {
    std::lock_guard lock(mutex_);
    return method_;
}

Error FakeScreenBackend::Open(CaptureMethod method) {
    std::lock_guard lock(mutex_);
    ++opens_;
    const bool ok = (method == CaptureMethod::kDamage && damage_supported_) ||
                    (method == CaptureMethod::kPolling && polling_supported_);
    method_ = ok ? method : CaptureMethod::kNone;
    if (ok) {
        width_ = screen_width_;
        height_ = screen_height_;
        screen_changed_ = false;
        // Reports queued before this Open describe the old screen.
        std::erase_if(damage_,
                      [](const DamageReport& r) { return r.kind == DamageReport::Kind::kScreenChanged; });
        return {};
    }
    return Error(ErrorCode::kUnsupported, method == CaptureMethod::kDamage
                                              ? "the fake screen refuses damage"
                                              : "the fake screen refuses polling");
}

void FakeScreenBackend::Close() {
    std::lock_guard lock(mutex_);
    method_ = CaptureMethod::kNone;
}

bool FakeScreenBackend::Grab(const ScreenRect& crop, uint8_t* dst, int stride) {
    std::unique_lock lock(mutex_);
    ++grabs_;
    grab_released_.wait(lock, [this] { return !hold_grabs_; });
    if (fail_grabs_ > 0) {
        --fail_grabs_;
        return false;
    }
    const int w = crop.right - crop.left;
    const int h = crop.bottom - crop.top;
    if (crop.left < 0 || crop.top < 0 || crop.right > screen_width_ || crop.bottom > screen_height_ ||
        w <= 0 || h <= 0)
        return false;
    for (int row = 0; row < h; ++row) {
        const int dst_row = order_ == RowOrder::kTopDown ? row : h - 1 - row;
        const uint32_t* src = &pixels_[static_cast<size_t>(crop.top + row) * screen_width_ + crop.left];
        std::memcpy(dst + static_cast<ptrdiff_t>(dst_row) * stride, src, static_cast<size_t>(w) * 4);
    }
    return true;
}

DamageReport FakeScreenBackend::WaitForDamage(int64_t timeout100ns, Waitable& interrupt) {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!damage_.empty()) {
                DamageReport report = std::move(damage_.front());
                damage_.pop_front();
                return report;
            }
        }
        std::array<Waitable*, 2> objects{&interrupt, &damage_ready_};
        size_t index = 0;
        switch (WaitAny(objects, timeout100ns, &index)) {
            case WaitResult::kTimeout:
                return DamageReport{};
            case WaitResult::kFailed:
                return DamageReport{DamageReport::Kind::kFailed, 0, 0, {}};
            case WaitResult::kSignaled:
                if (index == 0) return DamageReport{DamageReport::Kind::kInterrupted, 0, 0, {}};
                break;
        }
    }
}

bool FakeScreenBackend::ScreenChanged() {
    std::lock_guard lock(mutex_);
    if (method_ != CaptureMethod::kPolling) return false;
    return std::exchange(screen_changed_, false);
}

bool FakeScreenBackend::ReadCursor(CursorImage& out) {
    std::lock_guard lock(mutex_);
    out = cursor_;
    return true;
}

}  // namespace vexa::platform
