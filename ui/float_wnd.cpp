#include "ui/float_wnd.h"

#include <QWidget>

#include <string_view>

#include "settings/settings_catalog.h"
#include "platform/desktop/window_at_point.h"
#include "platform/log/log.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/dialog_builder.h"
#include "ui/lcd_digit.h"
#include "ui/setting_area.h"
#include "ui/shell.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

constexpr std::uint32_t kCommandMessage = toolkit::kUserMessage + 3;  // wparam: FloatCommand
constexpr const char* kDigitImage = "file='lcd_digit.png'";
constexpr std::string_view kDigitNames[] = {"h_ten", "h_one", "m_ten", "m_one", "s_ten", "s_one"};

// Hotkey slots named on the bar's tooltips.
constexpr size_t kStartStopSlot = 0;
constexpr size_t kPauseSlot = 1;
constexpr size_t kShowHideSlot = 3;

constexpr const char* kAutoHideTip = "自动隐藏";
constexpr const char* kCancelAutoHideTip = "取消自动隐藏";

struct ButtonLook {
    const char* file;
    const char* tooltip;
};
constexpr ButtonLook kPauseLook{"float_pause.png", "暂停录制"};
constexpr ButtonLook kContinueLook{"float_continue.png", "继续录制"};

std::string Cell(const char* file, int index) {
    const int left = index * 32;
    return "file='" + std::string(file) + "' source='" + std::to_string(left) + ",0," +
           std::to_string(left + 32) + ",32'";
}

void ApplyLook(toolkit::Button& button, const ButtonLook& look) {
    button.setNormalImage(Cell(look.file, 0));
    button.setHotImage(Cell(look.file, 1));
    button.setPushedImage(Cell(look.file, 2));
    button.setToolTip(toolkit::Tr(look.tooltip));
    button.invalidate();
}

void AppendHotkey(const FloatWndHost& host, toolkit::Control& control, size_t slot) {
    if (const HotkeySlot* hotkey = host.Hotkey(slot)) AppendHotkeyToTooltip(control, *hotkey);
}

std::unique_ptr<toolkit::Control> CreateBarControl(std::string_view tag) {
    if (tag == "LCDDigit") return std::make_unique<CLCDDigit>();
    return nullptr;
}

}  // namespace

CFloatWnd::CFloatWnd(FloatWndHost& host, TimeSource now)
    : host_(host), now_(now ? std::move(now) : TimeSource([] { return std::chrono::steady_clock::now(); })) {}

CFloatWnd::~CFloatWnd() {
    destroy();
}

Error CFloatWnd::Create(toolkit::Window* owner) {
    // Unmanaged: a window manager keeps a managed window partly on the screen (openbox leaves 38
    // pixels of a bar docked at the right edge), where docking wants kBarRim. An unmanaged window
    // has no taskbar entry anyway; not marked as a tool window, it is one that sway gives the
    // keyboard to when it appears, so that X11 hotkeys (a desktop without a GlobalShortcuts
    // service) still reach the program while it records with its main window hidden.
    if (create(
            owner, "",
            toolkit::kStylePopup | toolkit::kStyleTopMost | toolkit::kStyleLayered | toolkit::kStyleUnmanaged,
            QRect(0, 0, 380, 48))) {
        return {};
    }
    return create_error_.ok() ? Error(ErrorCode::kInternal, "floating bar: the window cannot be created")
                              : create_error_;
}

bool CFloatWnd::onCreate() {
    create_error_ = Build();
    if (create_error_.ok()) return true;
    log::Failure(create_error_, "floating bar");
    return false;
}

// Builds "FloatWnd.xml", finds the ten controls and starts the clock's timer.
Error CFloatWnd::Build() {
    Result<std::unique_ptr<toolkit::Control>> root =
        toolkit::buildLayout("FloatWnd.xml", paintManager(), CreateBarControl);
    if (!root.ok()) return root.error();
    paintManager().attach(std::move(root).value());
    applyWindowInfo();
    paintManager().addNotifier(this);

    for (auto [name, slot] : {std::pair{"pause_continue_btn", &pause_continue_},
                              {"stop_btn", &stop_},
                              {"show_main_wnd", &show_main_},
                              {"hide_float_wnd", &hide_float_}}) {
        *slot = paintManager().find<toolkit::Button>(name);
        if (!*slot) return Error(ErrorCode::kNotFound, std::string("FloatWnd.xml has no button ") + name);
    }
    for (size_t i = 0; i < digits_.size(); ++i) {
        digits_[i] = paintManager().find<CLCDDigit>(kDigitNames[i]);
        if (!digits_[i])
            return Error(ErrorCode::kNotFound, "FloatWnd.xml has no digit " + std::string(kDigitNames[i]));
        digits_[i]->setBkImage(kDigitImage);
    }
    hide_float_->setToolTip(toolkit::Tr(host_.FloatAutoHide() ? kCancelAutoHideTip : kAutoHideTip));
    setTimer(kTimerId, kTimerPeriodMs);
    AppendHotkey(host_, *stop_, kStartStopSlot);
    AppendHotkey(host_, *show_main_, kShowHideSlot);
    return {};
}

void CFloatWnd::PlaceAtWorkAreaCorner() {
    const QRect bar = geometry();
    setGeometry(QRect(CornerPosition(bar.size(), toolkit::primaryWorkArea()), bar.size()));
    last_activity_ = Now();
}

void CFloatWnd::ScheduleDocking(SteadyTime deadline) {
    const SteadyTime now = Now();
    hidden_ = true;
    StopSlide();
    const QRect work = toolkit::primaryWorkArea();
    if (deadline > now) {
        if (host_.FloatAutoHide()) {
            if (const std::optional<BarSlide> slide = DockingSlide(geometry(), work, now, deadline)) {
                StartSlide(*slide, true);
                return;
            }
        }
        last_activity_ = now - kBarIdleAfterDocking;  // the docking ends at once
        return;
    }
    if (!host_.FloatAutoHide()) return;
    if (const BarEdge edge = NearEdge(geometry(), work); edge != BarEdge::kNone)
        MoveLeftTo(DockedLeft(edge, geometry().width(), work));
    last_activity_ = now - kBarIdleAfterDocking;
}

void CFloatWnd::SetRecordingState() {
    const int state = host_.RecordingState();
    if (!clock_.Apply(state, Now())) return;
    ShowClock();
    for (toolkit::Button* button : {pause_continue_, stop_, show_main_}) button->setMouseEnabled(true);
    if (state == 1) ApplyLook(*pause_continue_, kPauseLook);
    if (state == 2) ApplyLook(*pause_continue_, kContinueLook);
    AppendHotkey(host_, *pause_continue_, kPauseSlot);
}

// Each digit repaints itself only when its value changed.
void CFloatWnd::ShowClock() {
    const std::array<int, 6> shown = ClockDigits(clock_.Elapsed());
    for (size_t i = 0; i < digits_.size(); ++i) digits_[i]->SetDigit(shown[i]);
}

void CFloatWnd::onTimer(int id) {
    if (id == kMoveTimerId) {
        StepSlide();
        return;
    }
    if (id != kTimerId) return;
    const SteadyTime now = Now();
    if (clock_.State() == 1) {
        clock_.Tick(now);
        ShowClock();
    }
    if (host_.RecordingState() != 0) CheckAutoHide(now);
}

void CFloatWnd::CheckAutoHide(SteadyTime now) {
    switch (AutoHideStep(hidden_, last_activity_, now)) {
        case IdleStep::kNothing:
            return;
        case IdleStep::kHideUnlessPointedAt:
            if (dragging_ || CursorOnBar()) {
                last_activity_ = now;
                return;
            }
            hidden_ = true;
            StopSlide();
            if (!host_.FloatAutoHide()) return;
            if (const std::optional<BarSlide> slide = HideSlide(geometry(), toolkit::primaryWorkArea(), now))
                StartSlide(*slide, false);
            return;
        case IdleStep::kShow:
            hidden_ = false;
            last_activity_ = now;
            StopSlide();
            if (const std::optional<BarSlide> slide = ShowSlide(geometry(), toolkit::primaryWorkArea(), now))
                StartSlide(*slide, false);
            return;
    }
}

// The window under the cursor is the bar (another window over it does not count). Without an
// answer from the display, the cursor inside the bar's rectangle counts.
bool CFloatWnd::CursorOnBar() const {
    const QPoint cursor = toolkit::cursorPos();
    if (!widget()) return false;
    const Result<std::optional<desktop::WindowHit>> hit = desktop::WindowAtPoint(cursor.x(), cursor.y(), 0);
    if (!hit.ok()) return geometry().contains(cursor);
    return hit.value() && hit.value()->window == static_cast<uint32_t>(widget()->winId());
}

void CFloatWnd::MoveLeftTo(int left) {
    QRect bar = geometry();
    if (bar.x() == left) return;
    bar.moveLeft(left);
    setGeometry(bar);
}

void CFloatWnd::StartSlide(const BarSlide& slide, bool docking) {
    slide_ = slide;
    slide_docks_ = docking;
    setTimer(kMoveTimerId, kMoveTimerPeriodMs);
}

// The running movement stops where it stands; a docking stopped so never marks the bar idle.
void CFloatWnd::StopSlide() {
    if (!slide_) return;
    slide_.reset();
    killTimer(kMoveTimerId);
}

void CFloatWnd::StepSlide() {
    if (!slide_) {
        killTimer(kMoveTimerId);
        return;
    }
    const SteadyTime now = Now();
    MoveLeftTo(slide_->LeftAt(now));
    if (!slide_->DoneAt(now)) return;
    const bool docked = slide_docks_;
    StopSlide();
    if (docked) last_activity_ = now - kBarIdleAfterDocking;
}

std::optional<std::intptr_t> CFloatWnd::handleMessage(const toolkit::Message& message) {
    if (message.id == kForegroundMessage && message.lparam == kForegroundTag) {
        bringToFront();
        return 0;
    }
    if (message.id == kCommandMessage) {
        host_.OnFloatCommand(static_cast<FloatCommand>(message.wparam));  // may destroy this window
        return 0;
    }
    return std::nullopt;
}

// The bar stays when its owner is minimised and comes back to the front instead.
void CFloatWnd::onOwnerMinimized(bool minimized) {
    if (minimized) postMessage({kForegroundMessage, 0, kForegroundTag});
}

toolkit::HitTest CFloatWnd::hitTest(const QPoint& client) const {
    const toolkit::Control* hit = const_cast<CFloatWnd*>(this)->paintManager().findControlAt(client);
    const ControlUnder under = !hit                 ? ControlUnder::kNothing
                               : hit->isA("Button") ? ControlUnder::kButton
                                                    : ControlUnder::kOther;
    const int width = const_cast<CFloatWnd*>(this)->paintManager().clientSize().width();
    return IsDragArea(client.x(), width, under) ? toolkit::HitTest::Caption : toolkit::HitTest::Client;
}

// Every mouse message counts as activity. While recording the bar is dragged by its caption within
// the work area; otherwise the toolkit's own handling runs.
bool CFloatWnd::onMouse(const toolkit::MouseInput& input) {
    using Kind = toolkit::MouseInput::Kind;
    if (input.kind != Kind::Leave) last_activity_ = Now();
    if (dragging_) {
        if (input.kind == Kind::Move) {
            const QPoint to =
                DragPosition(grab_rect_, grab_cursor_, toolkit::cursorPos(), toolkit::primaryWorkArea());
            setGeometry(QRect(to, grab_rect_.size()));
        } else if (input.kind == Kind::Up) {
            dragging_ = false;
            releaseCapture();
        }
        return true;
    }
    if (input.kind != Kind::Down || host_.RecordingState() == 0 ||
        hitTest(input.pos) != toolkit::HitTest::Caption) {
        return false;
    }
    StopSlide();
    dragging_ = true;
    grab_cursor_ = toolkit::cursorPos();
    grab_rect_ = geometry();
    setCapture();
    return true;
}

void CFloatWnd::notify(toolkit::Notification& n) {
    if (n.type != "click" || !n.sender) return;
    const std::string& name = n.sender->name();
    // While idle only a start counting down listens, and only to its stop.
    if (host_.RecordingState() == 0 && !(host_.CountingDown() && name == "stop_btn")) return;
    if (name == "hide_float_wnd") {
        FlipAutoHide();
        return;
    }
    FloatCommand command;
    if (name == "pause_continue_btn")
        command = FloatCommand::kPauseContinue;
    else if (name == "stop_btn")
        command = FloatCommand::kStop;
    else if (name == "show_main_wnd")
        command = FloatCommand::kShowMainWindow;
    else
        return;
    postMessage({kCommandMessage, static_cast<std::uintptr_t>(command), 0});
}

void CFloatWnd::FlipAutoHide() {
    const bool on = !host_.FloatAutoHide();
    host_.SetFloatAutoHide(on);
    hide_float_->setToolTip(toolkit::Tr(on ? kCancelAutoHideTip : kAutoHideTip));
    if (Shell* shell = Shell::Get()) StoreSetting(shell->Settings(), settings::kFloatWndAutoHide, on ? 1 : 0);
}

}  // namespace vexa::ui
