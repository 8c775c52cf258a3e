// A scripted screen for tests: the test sets the pixels and the cursor, queues damage reports, changes
// the screen's size, makes calls fail on purpose and holds grabs up. Deterministic; the test thread
// and the capture thread may use it at once (every call takes the fake's own lock).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/screen/screen_backend.h"

namespace vexa::platform {

class FakeScreenBackend final : public ScreenBackend {
  public:
    FakeScreenBackend(int width, int height, RowOrder order = RowOrder::kTopDown, int cursor_size = 32);

    // --- scripting (test thread) ---
    // Fills the whole screen with one BGRA value.
    void Fill(uint32_t bgra);
    // Sets one pixel (x, y counted from the top-left corner of the screen).
    void SetPixel(int x, int y, uint32_t bgra);
    void SetCursor(const CursorImage& cursor);
    // Queues a report for WaitForDamage.
    void QueueDamage(DamageReport report);
    void SetDamageSupported(bool supported);
    void SetPollingSupported(bool supported);
    void FailNextGrabs(int count);
    // Gives the screen a new size (black pixels) and reports the change: to the polling method
    // through ScreenChanged, to the damage method as a kScreenChanged report. Width and Height keep
    // the old size until the next Open.
    void Resize(int width, int height);
    // While held, Grab blocks (after counting itself) until the hold is let go: a capture thread
    // stuck in the system.
    void HoldGrabs(bool hold);

    // --- observations ---
    [[nodiscard]] int GrabCount() const;
    [[nodiscard]] int OpenCount() const;
    [[nodiscard]] CaptureMethod Method() const;

    // --- ScreenBackend ---
    Error Open(CaptureMethod method) override;
    void Close() override;
    int Width() const override;
    int Height() const override;
    int CursorSize() const override { return cursor_size_; }
    RowOrder Order() const override { return order_; }
    bool Grab(const ScreenRect& crop, uint8_t* dst, int stride) override;
    DamageReport WaitForDamage(int64_t timeout100ns, Waitable& interrupt) override;
    bool ScreenChanged() override;
    bool ReadCursor(CursorImage& out) override;

  private:
    const RowOrder order_;
    const int cursor_size_;
    mutable std::mutex mutex_;
    std::condition_variable grab_released_;
    int screen_width_;  // the screen now
    int screen_height_;
    int width_;  // as of the last Open
    int height_;
    std::vector<uint32_t> pixels_;  // top-down, screen_width_ × screen_height_
    CursorImage cursor_;
    std::deque<DamageReport> damage_;
    Event damage_ready_;
    bool damage_supported_ = true;
    bool polling_supported_ = true;
    int fail_grabs_ = 0;
    bool hold_grabs_ = false;
    bool screen_changed_ = false;  // for the polling method
    int grabs_ = 0;
    int opens_ = 0;
    CaptureMethod method_ = CaptureMethod::kNone;
};

}  // namespace vexa::platform
