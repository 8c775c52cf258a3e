#include "ui/float_wnd_rules.h"

#include <algorithm>

namespace vexa::ui {
namespace {

using std::chrono::milliseconds;

int RightOf(const QRect& r) {
    return r.x() + r.width();
}

int BottomOf(const QRect& r) {
    return r.y() + r.height();
}

// `value` kept within [low, high]; `low` wins when the range is empty (a bar wider than the area).
int Keep(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

bool RecordedTime::Apply(int state, SteadyTime now) {
    if (state < 0 || state > 2 || state == state_) return false;
    if (state_ == 1) Tick(now);
    if (state == 1) last_tick_ = now;
    state_ = state;
    return true;
}

void RecordedTime::Tick(SteadyTime now) {
    if (state_ != 1) return;
    if (now > last_tick_) elapsed_ += now - last_tick_;
    last_tick_ = now;
}

std::array<int, 6> ClockDigits(milliseconds elapsed) {
    const auto ms = static_cast<long long>(std::max<milliseconds::rep>(elapsed.count(), 0));
    const int hours = static_cast<int>(ms / 3'600'000 % 100);
    const int minutes = static_cast<int>(ms / 60'000 % 60);
    const int seconds = static_cast<int>(ms / 1000 % 60);
    return {hours / 10, hours % 10, minutes / 10, minutes % 10, seconds / 10, seconds % 10};
}

bool IsDragArea(int x, int width, ControlUnder under) {
    if (x < kBarRim || x >= width - kBarRim) return false;
    return under == ControlUnder::kOther;
}

QPoint DragPosition(const QRect& bar_at_grab, const QPoint& grab_cursor, const QPoint& cursor,
                    const QRect& work) {
    const QPoint moved = bar_at_grab.topLeft() + (cursor - grab_cursor);
    return {Keep(moved.x(), work.x() - kBarRim, RightOf(work) + kBarRim - bar_at_grab.width()),
            Keep(moved.y(), work.y(), BottomOf(work) - bar_at_grab.height())};
}

QPoint CornerPosition(const QSize& bar, const QRect& work) {
    return {RightOf(work) + kBarRim - bar.width(), BottomOf(work) - bar.height()};
}

BarEdge NearEdge(const QRect& bar, const QRect& work) {
    const int from_left = bar.x() - work.x();
    if (from_left > kBarNearEdge && RightOf(work) - RightOf(bar) <= kBarNearEdge) return BarEdge::kRight;
    if (from_left <= kBarNearEdge) return BarEdge::kLeft;
    return BarEdge::kNone;
}

int DockedLeft(BarEdge edge, int bar_width, const QRect& work) {
    return edge == BarEdge::kRight ? RightOf(work) - kBarRim : work.x() + kBarRim - bar_width;
}

int BarSlide::LeftAt(SteadyTime now) const {
    if (now < begin) return from;
    if (deadline && now >= *deadline) return to;
    const long long travelled =
        std::chrono::duration_cast<milliseconds>(now - begin).count() * static_cast<long long>(speed);
    const long long distance = to >= from ? to - from : from - to;
    const long long step = std::min(travelled, distance);
    return static_cast<int>(to >= from ? from + step : from - step);
}

std::optional<BarSlide> HideSlide(const QRect& bar, const QRect& work, SteadyTime now) {
    const BarEdge edge = NearEdge(bar, work);
    if (edge == BarEdge::kNone) return std::nullopt;
    // Already docked: only the rim (or less) is left inside the work area.
    if (edge == BarEdge::kRight && bar.x() + kBarRim >= RightOf(work)) return std::nullopt;
    if (edge == BarEdge::kLeft && RightOf(bar) - kBarRim <= work.x()) return std::nullopt;
    return BarSlide{.from = bar.x(),
                    .to = DockedLeft(edge, bar.width(), work),
                    .speed = kBarHideSpeed,
                    .begin = now,
                    .deadline = std::nullopt};
}

std::optional<BarSlide> ShowSlide(const QRect& bar, const QRect& work, SteadyTime now) {
    int to = bar.x();
    if (bar.x() < work.x() - kBarRim)
        to = work.x() - kBarRim;
    else if (RightOf(bar) > RightOf(work) + kBarRim)
        to = RightOf(work) + kBarRim - bar.width();
    if (to == bar.x()) return std::nullopt;
    return BarSlide{
        .from = bar.x(), .to = to, .speed = kBarShowSpeed, .begin = now, .deadline = std::nullopt};
}

std::optional<BarSlide> DockingSlide(const QRect& bar, const QRect& work, SteadyTime now,
                                     SteadyTime deadline) {
    const BarEdge edge = NearEdge(bar, work);
    if (edge == BarEdge::kNone) return std::nullopt;
    const int to = DockedLeft(edge, bar.width(), work);
    const int distance = edge == BarEdge::kRight ? to - bar.x() : bar.x() - to;
    return BarSlide{.from = bar.x(),
                    .to = to,
                    .speed = kBarHideSpeed,
                    .begin = std::max(now, deadline - milliseconds(3LL * distance)),
                    .deadline = deadline};
}

IdleStep AutoHideStep(bool hidden, SteadyTime last_activity, SteadyTime now) {
    const bool idle = now - last_activity >= kBarIdleToHide;
    if (!hidden) return idle ? IdleStep::kHideUnlessPointedAt : IdleStep::kNothing;
    return idle ? IdleStep::kNothing : IdleStep::kShow;
}

std::optional<CountDownPicture> CountDownAt(milliseconds elapsed, milliseconds duration) {
    if (elapsed >= duration) return std::nullopt;
    const long long remaining = (duration - elapsed).count();
    const int side = static_cast<int>(remaining % 1000 * kCountDownSide / 1000);
    const int offset = (kCountDownSide - side) / 2;
    return CountDownPicture{.cell = static_cast<int>(std::min<long long>(remaining / 1000, 4)),
                            .dest = QRect(offset, offset, side, side)};
}

QPoint CountDownPosition(const QRect& screen) {
    return {screen.x() + (screen.width() - kCountDownSide) / 2,
            screen.y() + (screen.height() - kCountDownSide) / 2};
}

}  // namespace vexa::ui
