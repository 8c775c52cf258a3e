#include "ui/count_down_wnd.h"

#include <QImage>
#include <QPainter>

#include "toolkit/application.h"
#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

namespace vexa::ui {
namespace {

constexpr const char* kDigitsFile = "count_down.png";

}  // namespace

Result<std::unique_ptr<CCountDownWnd>> CCountDownWnd::Show(std::chrono::milliseconds duration,
                                                           SteadyTime start, Finished finished,
                                                           TimeSource now) {
    auto window = std::make_unique<CCountDownWnd>(duration, start, std::move(finished), std::move(now));
    if (!window->paintManager().image(kDigitsFile))
        return Error(ErrorCode::kNotFound, std::string("count-down: the skin has no ") + kDigitsFile);
    const QRect area(CountDownPosition(toolkit::primaryScreenGeometry()),
                     QSize(kCountDownSide, kCountDownSide));
    if (!window->create(nullptr, "",
                        toolkit::kStylePopup | toolkit::kStyleToolWindow | toolkit::kStyleTopMost |
                            toolkit::kStyleClickThrough | toolkit::kStyleLayered | toolkit::kStyleUnmanaged,
                        area)) {
        return Error(ErrorCode::kInternal, "count-down: the window cannot be created");
    }
    window->setTimer(kTimerId, kTimerPeriodMs);
    window->Render();
    if (!window->blank_) window->show(false);
    window->creating_ = false;
    return window;
}

CCountDownWnd::CCountDownWnd(std::chrono::milliseconds duration, SteadyTime start, Finished finished,
                             TimeSource now)
    : duration_(duration),
      start_(start),
      finished_(std::move(finished)),
      now_(now ? std::move(now) : TimeSource([] { return std::chrono::steady_clock::now(); })) {}

CCountDownWnd::~CCountDownWnd() {
    destroy();
}

void CCountDownWnd::onTimer(int id) {
    if (id == kTimerId) Render();
}

void CCountDownWnd::onResize(const QSize& /*size*/) {
    Render();
}

// Draws the digit of this moment, or ends the count-down once it is over (never while the window
// is still being created: the callback must not run before Show() returned).
void CCountDownWnd::Render() {
    if (over_ || !isCreated()) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now_() - start_);
    const std::optional<CountDownPicture> picture = CountDownAt(elapsed, duration_);
    if (!picture) {
        if (!creating_) Finish();
        return;
    }
    QImage frame(kCountDownSide, kCountDownSide, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::transparent);
    const QImage* digits = paintManager().image(kDigitsFile);
    if (digits && !picture->dest.isEmpty()) {
        QPainter painter(&frame);
        toolkit::ImageSpec cell;
        cell.file = kDigitsFile;
        cell.source = QRect(picture->cell * kCountDownSide, 0, kCountDownSide, kCountDownSide);
        cell.dest = picture->dest;
        toolkit::drawImage(painter, *digits, cell, frame.rect());
    }
    updateLayered(frame);
    const QRect area(CountDownPosition(toolkit::primaryScreenGeometry()), frame.size());
    if (geometry() != area) setGeometry(area);
    // A window with nothing to show is hidden: without a compositor an empty shape would be no
    // shape at all, a dark square.
    blank_ = picture->dest.isEmpty();
    if (creating_) return;
    if (blank_)
        hide();
    else if (!isVisible())
        show(false);
}

// The window goes first; the callback runs last and may drop this object.
void CCountDownWnd::Finish() {
    over_ = true;
    killTimer(kTimerId);
    Finished finished = std::move(finished_);
    destroy();
    if (finished) finished();
}

}  // namespace vexa::ui
