// The rules of the floating control bar and the count-down window that need no window: the recorded
// time and its clock digits, the bar's hit test and dragging, where it docks at a screen edge, its
// movements as positions over time, the auto-hide decision, and the count-down's picture at a
// moment. The windows (ui/float_wnd.h, ui/count_down_wnd.h) only apply them.
//
// Rectangles are in screen coordinates, and a rectangle's right and bottom edges are exclusive
// (x() + width(), y() + height()), as the window system's rectangles are. Times are points of the
// monotonic clock (std::chrono::steady_clock).
// Thread-safety: plain values and pure functions.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace vexa::ui {

using SteadyTime = std::chrono::steady_clock::time_point;
// Where a window reads the time; tests give their own.
using TimeSource = std::function<SteadyTime()>;

// A docked bar keeps this many pixels on the screen; the bar's left and right margins of this width
// never drag it, and a dragged or shown bar may stand out of the work area by as much.
inline constexpr int kBarRim = 8;
// A bar whose edge is this close to the work area's edge docks there.
inline constexpr int kBarNearEdge = 50;
inline constexpr int kBarHideSpeed = 1;  // pixels per millisecond, hiding and docking
inline constexpr int kBarShowSpeed = 6;  // pixels per millisecond, coming back
// Without mouse activity for this long the bar hides; mouse activity more recent than this shows it.
inline constexpr std::chrono::milliseconds kBarIdleToHide{4000};
// After docking the last activity is set this far back, so the docked bar counts as idle.
inline constexpr std::chrono::milliseconds kBarIdleAfterDocking{10000};

// The bar's clock: time that runs only while the applied state is "recording" (1), so pauses (2)
// and idle (0) are left out. The record page's state changes and the bar's timer drive it.
class RecordedTime {
  public:
    // Applies a recording state; false (nothing changes) for a state outside 0..2 or the state
    // already applied. Leaving "recording" keeps the time run since the last tick.
    bool Apply(int state, SteadyTime now);
    // A timer tick: keeps the time run since the last tick while recording.
    void Tick(SteadyTime now);

    [[nodiscard]] int State() const { return state_; }
    [[nodiscard]] std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed_);
    }

  private:
    int state_ = 0;
    SteadyTime last_tick_{};
    std::chrono::steady_clock::duration elapsed_{};  // full resolution: ticks never lose a fraction
};

// The six clock digits h h m m s s of a recorded time; hours count modulo 100.
[[nodiscard]] std::array<int, 6> ClockDigits(std::chrono::milliseconds elapsed);

// What lies under a point of the bar.
enum class ControlUnder { kNothing, kButton, kOther };

// Whether pressing at client x (bar `width` wide) drags the bar: away from the 8-pixel margins,
// over a control that is not a button.
[[nodiscard]] bool IsDragArea(int x, int width, ControlUnder under);

// The bar's top-left while dragging: moved by the cursor's offset from the grab point, kept in the
// work area widened by kBarRim on the left and right.
[[nodiscard]] QPoint DragPosition(const QRect& bar_at_grab, const QPoint& grab_cursor, const QPoint& cursor,
                                  const QRect& work);

// The bottom-right start position: the right edge kBarRim beyond the work area's, the bottom on its
// bottom.
[[nodiscard]] QPoint CornerPosition(const QSize& bar, const QRect& work);

enum class BarEdge { kNone, kLeft, kRight };

// The edge a bar docks at: the right one when its left edge is more than kBarNearEdge from the work
// area's left edge and its right edge within kBarNearEdge of the work area's right edge; else the
// left one when its left edge is within kBarNearEdge of the work area's; else none.
[[nodiscard]] BarEdge NearEdge(const QRect& bar, const QRect& work);
// The left edge of a bar docked at `edge` (not kNone): kBarRim pixels left inside the work area.
[[nodiscard]] int DockedLeft(BarEdge edge, int bar_width, const QRect& work);

// One movement of the bar along x.
struct BarSlide {
    int from = 0;   // left edge before it starts
    int to = 0;     // left edge at the end
    int speed = 1;  // pixels per millisecond
    SteadyTime begin{};
    std::optional<SteadyTime> deadline;  // at the latest here the bar stands at `to`

    // The left edge at `now`: `from` before `begin`, then `speed` pixels per millisecond towards
    // `to` (the last step stopping exactly there), and `to` once the deadline has passed.
    [[nodiscard]] int LeftAt(SteadyTime now) const;
    [[nodiscard]] bool DoneAt(SteadyTime now) const { return now >= begin && LeftAt(now) == to; }
};

// Hiding at kBarHideSpeed to the docked position of the near edge, starting now; none when the bar
// is far from both edges or already docked there.
[[nodiscard]] std::optional<BarSlide> HideSlide(const QRect& bar, const QRect& work, SteadyTime now);
// Coming back at kBarShowSpeed until the bar lies within the work area widened by kBarRim on each
// side; none when it already does.
[[nodiscard]] std::optional<BarSlide> ShowSlide(const QRect& bar, const QRect& work, SteadyTime now);
// Docking before `deadline`: to the docked position of the near edge at kBarHideSpeed, starting
// 3 x d milliseconds before the deadline (d the pixels to travel), at once when that moment has
// passed, and standing docked at the deadline whatever happened; none far from both edges.
[[nodiscard]] std::optional<BarSlide> DockingSlide(const QRect& bar, const QRect& work, SteadyTime now,
                                                   SteadyTime deadline);

// What the auto-hide check does on a timer tick.
enum class IdleStep {
    kNothing,
    kHideUnlessPointedAt,  // shown and idle for kBarIdleToHide: hide, unless the cursor is on the bar
    kShow,                 // hidden and touched within kBarIdleToHide: come back
};
[[nodiscard]] IdleStep AutoHideStep(bool hidden, SteadyTime last_activity, SteadyTime now);

// --- count-down window ---

inline constexpr int kCountDownSide = 160;  // the window and each cell of count_down.png

struct CountDownPicture {
    int cell = 0;  // cell i of count_down.png shows the digit i + 1
    QRect dest;    // the digit's square inside the 160 x 160 window
    bool operator==(const CountDownPicture&) const = default;
};

// The picture `elapsed` into a count-down of `duration`: the cell of the remaining whole seconds
// (at most 4), shrinking from 160 to 0 pixels during its second, centred; none once it is over.
[[nodiscard]] std::optional<CountDownPicture> CountDownAt(std::chrono::milliseconds elapsed,
                                                          std::chrono::milliseconds duration);
// The count-down window's top-left: the middle of the screen.
[[nodiscard]] QPoint CountDownPosition(const QRect& screen);

}  // namespace vexa::ui
