#include "ui/camera_wnd.h"

#include <linux/videodev2.h>

#include <QImage>
#include <QPainter>

#include <system_error>
#include <thread>

#include "platform/log/log.h"
#include "platform/sync/worker_thread.h"
#include "toolkit/application.h"
#include "toolkit/desktop_state.h"
#include "toolkit/paint_manager.h"
#include "ui/record_rules.h"
#include "ui/shell.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

using toolkit::HitTest;

constexpr int kOpenPollMs = 50;
constexpr int kRetryMs = 30000;
constexpr int kPopupPollMs = 50;
constexpr int kFrameWidth = 2;
constexpr QRgb kFrameColour = 0x787878;
constexpr int kSettingsOffset = 30;  // the settings dialog's place relative to the window
constexpr const char* kButtonImage = "camera_wnd.png";

// The capture-format list.
constexpr int kFormatRowHeight = 28;
constexpr int kFormatListWidth = 190;
constexpr const char* kFormatListAttributes =
    R"(inset="1,1,1,1" bordersize="1" bordercolor="#FF656565" bkcolor="#FF303030")";
constexpr const char* kFormatRowAttributes =
    R"(height="28" textcolor="#FFF0F0F0" hottextcolor="#FFB3D9FF" hotbkcolor="#FF606060" )"
    R"(pushedtextcolor="#FF82B4DC" disabledtextcolor="#FFF00000" align="left vcenter" font="1" )"
    R"(textpadding="10,0,0,0")";
constexpr const char* kNoControlsText = "该摄像头没有可调节的设置";

QRect ToQRect(const settings::Rect& r) {
    return QRect(r.left, r.top, static_cast<int>(Width(r)), static_cast<int>(Height(r)));
}

toolkit::CursorShape CursorFor(HitTest code) {
    switch (code) {
        case HitTest::Left:
        case HitTest::Right:
            return toolkit::CursorShape::SizeWE;
        case HitTest::Top:
        case HitTest::Bottom:
            return toolkit::CursorShape::SizeNS;
        case HitTest::TopLeft:
        case HitTest::BottomRight:
            return toolkit::CursorShape::SizeNWSE;
        case HitTest::TopRight:
        case HitTest::BottomLeft:
            return toolkit::CursorShape::SizeNESW;
        default:
            return toolkit::CursorShape::SizeAll;
    }
}

// A device control as a row of the settings dialog; kinds the dialog cannot show are left out.
std::optional<toolkit::PropertyItem> PropertyOf(const platform::CameraControl& control) {
    using Kind = toolkit::PropertyItem::Kind;
    toolkit::PropertyItem item;
    item.id = control.id;
    item.name = control.name;
    item.minimum = control.minimum;
    item.maximum = control.maximum;
    item.step = control.step;
    item.value = control.value;
    switch (control.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            item.kind = Kind::kSlider;
            return item;
        case V4L2_CTRL_TYPE_BOOLEAN:
            item.kind = Kind::kCheck;
            return item;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            item.kind = control.menu.empty() ? Kind::kSlider : Kind::kMenu;
            for (const platform::CameraMenuItem& choice : control.menu)
                item.choices.emplace_back(choice.value, choice.name);
            return item;
        case V4L2_CTRL_TYPE_BUTTON:
            item.kind = Kind::kAction;
            return item;
        default:
            return std::nullopt;
    }
}

}  // namespace

CCameraWnd::CCameraWnd(CameraWndOwner owner, const PanelHost* host) : owner_(owner), host_(host) {}

CCameraWnd::~CCameraWnd() {
    if (feed_) feed_->FinishOpening();
    popup_.reset();
    settings_.reset();
    destroy();
    if (feed_) feed_->Close();
}

const settings::Setting& CCameraWnd::PosSetting() const {
    return DesktopPanel() ? settings::kCameraWndPosAt : settings::kCameraWndPos;
}
const settings::Setting& CCameraWnd::FlipSetting() const {
    return DesktopPanel() ? settings::kCameraFlipAt : settings::kCameraFlip;
}
const settings::Setting& CCameraWnd::BorderSetting() const {
    return DesktopPanel() ? settings::kCameraWndBorderAt : settings::kCameraWndBorder;
}
const settings::Setting& CCameraWnd::FormatSetting() const {
    return DesktopPanel() ? settings::kCameraFormatAt : settings::kCameraFormat;
}

CameraButton CCameraWnd::ButtonAt(int slot) const {
    return slot >= 0 && slot < kCameraButtonSlots ? slots_[static_cast<size_t>(slot)] : CameraButton::kNone;
}

Error CCameraWnd::Create(toolkit::Window& owner, int index, const std::string& name) {
    Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kUnavailable, "camera window: the main window is not there");
    if (isCreated()) return Error(ErrorCode::kInvalidArgument, "camera window: created already");
    settings::SettingsKey& settings = shell->Settings();
    settings_store_ = &settings;
    name_ = name;
    index_ = index;
    circular_ = DesktopPanel() && settings::ReadSetting(settings, settings::kCameraWndStyle, index) != 0;
    slots_ = CameraButtonsBySlot(DesktopPanel());

    const Qt::KeyboardModifiers held = toolkit::heldKeyboardModifiers();
    if (held.testFlag(Qt::ControlModifier) && held.testFlag(Qt::AltModifier))
        (void)settings.Delete(settings::SettingName(PosSetting(), index));
    std::optional<settings::Rect> stored = settings::ReadRectSetting(settings, PosSetting(), index);
    // The camera mode's preview first appears beside the main window, never over its controls.
    if (!stored && !DesktopPanel() && owner.isVisible())
        stored = PreviewFirstRect(owner.geometry(), toolkit::primaryWorkArea());
    const settings::Rect rect = InitialCameraRect(stored, circular_, shell->ScreenSize());

    paintManager().copyStyle(owner.paintManager());  // font 1 of the program for the texts
    const ClippedCameraRect clipped = ClipAtScreenOrigin(rect);
    // Unmanaged: a window manager may neither place it (sway centres floating X11 windows) nor
    // ignore its moves; it moves and sizes itself. Its shape is drawn as transparency where a
    // compositor runs (XWayland shows a shaped window's square black around the circle).
    if (!create(&owner, "",
                toolkit::kStylePopup | toolkit::kStyleToolWindow | toolkit::kStyleTopMost |
                    toolkit::kStyleUnmanaged | toolkit::kStyleSoftShape,
                ToQRect(clipped.visible))) {
        return Error(ErrorCode::kUnavailable,
                     "camera window for '" + name + "': the window cannot be created");
    }
    border_ = settings::ReadSetting(settings, BorderSetting(), index) == 0;
    mirror_ = settings::ReadSetting(settings, FlipSetting(), index) != 0;

    feed_ = std::make_shared<CameraFeed>(settings, FormatSetting(), index);
    feed_->SetMirror(mirror_);
    feed_->SetWindow(handle(), kMsgPicture);
    setTimer(kOpenTimer, kOpenPollMs);
    feed_->StartOpening(name);
    ApplyRect(rect);
    return {};
}

Error CCameraWnd::SwitchCamera(int index, const std::string& name) {
    if (!feed_) return Error(ErrorCode::kInvalidArgument, "camera window: not created");
    feed_->FinishOpening();
    index_ = index;
    name_ = name;
    // The previous camera goes first: a camera that cannot be opened must not leave the old one
    // streaming unseen, ready to be recorded in its place.
    feed_->DropCamera();
    Error opened = feed_->Open(name);
    if (opened.ok())
        killTimer(kRetryTimer);
    else
        setTimer(kRetryTimer, kRetryMs);
    Redraw();
    return opened;
}

engine::CameraRef CCameraWnd::AcquireCamera() {
    return feed_ ? feed_->Acquire() : engine::CameraRef();
}

bool CCameraWnd::Ready() const {
    return !feed_ || feed_->OpenFinished();
}

void CCameraWnd::ReleaseInBackground(std::unique_ptr<CCameraWnd> window) {
    if (!window) return;
    std::shared_ptr<CameraFeed> feed = std::move(window->feed_);
    window.reset();  // the window and its Qt parts go here, on the interface's thread
    if (!feed) return;
    try {
        std::thread([feed] {
            platform::NameCurrentThread("vexa-cam-free");
            feed->Close();
        }).detach();
    } catch (const std::system_error& e) {
        log::Warning(std::string("camera window: released on the interface's thread: ") + e.what());
        feed->Close();
    }
}

std::string CCameraWnd::StatusText() const {
    return CameraStatusText(Ready(), OpenResult());
}

uint32_t CCameraWnd::OpenResult() const {
    return feed_ ? feed_->OpenResult() : platform::kCameraFailed;
}

bool CCameraWnd::ButtonsShown() const {
    const bool wanted = hovering_ || SettingsDialogOpen() || popup_.window;
    return wanted && !(dragging_ && pressed_ < 0);
}

// --- place and shape -------------------------------------------------------------------------------

void CCameraWnd::ApplyRect(const settings::Rect& rect) {
    full_ = rect;
    if (settings_store_) settings::StoreRectSetting(*settings_store_, PosSetting(), rect, index_);
    const ClippedCameraRect clipped = ClipAtScreenOrigin(rect);
    // A window dragged wholly past the left or top edge keeps one pixel, out of sight.
    QRect native = ToQRect(clipped.visible);
    native.setSize(native.size().expandedTo(QSize(1, 1)));
    setGeometry(native);
    shape_ = BuildCameraShape(rect, circular_);
    setShape(shape_.window.isEmpty() ? QRegion(0, 0, 1, 1) : shape_.window);
}

void CCameraWnd::Redraw() {
    invalidate(QRect(QPoint(0, 0), geometry().size()));
}

// --- messages and timers ---------------------------------------------------------------------------

std::optional<std::intptr_t> CCameraWnd::handleMessage(const toolkit::Message& message) {
    switch (message.id) {
        case kMsgPicture:
            OnPicture();
            return 0;
        case kMsgComeForward:
            if (message.lparam != kComeForwardParam) return std::nullopt;
            if (isVisible()) {
                if (isMinimized()) restore();
                bringToFront();
            }
            return 0;
        case kMsgClosed:
            // Last: the handler may destroy this window.
            if (close_handler_) close_handler_();
            return 0;
        default:
            return std::nullopt;
    }
}

void CCameraWnd::OnPicture() {
    if (feed_ && feed_->TakePicture(picture_) && isVisible()) Redraw();
}

void CCameraWnd::onTimer(int id) {
    switch (id) {
        case kOpenTimer:
            OnOpenTimer();
            break;
        case kPopupTimer:
            if (popup_.window && popup_.window->isCreated()) break;
            popup_.reset();
            killTimer(kPopupTimer);
            Redraw();
            break;
        case kRetryTimer:
            OnRetryTimer();
            break;
        default:
            break;
    }
}

void CCameraWnd::OnOpenTimer() {
    if (!feed_ || !feed_->OpenFinished()) return;
    killTimer(kOpenTimer);
    feed_->FinishOpening();
    Redraw();
    if (feed_->OpenResult() != 0) setTimer(kRetryTimer, kRetryMs);
}

void CCameraWnd::OnRetryTimer() {
    const uint32_t before = OpenResult();
    if (before == 0 || !feed_) {
        killTimer(kRetryTimer);
        return;
    }
    if (feed_->Open(name_).ok()) killTimer(kRetryTimer);
    if (OpenResult() != before) Redraw();
}

// The main window is being minimised: this window stays and comes to the front.
void CCameraWnd::onOwnerMinimized(bool minimized) {
    if (minimized && isVisible()) (void)postMessage({kMsgComeForward, 0, kComeForwardParam});
}

// --- mouse -----------------------------------------------------------------------------------------

HitTest CCameraWnd::hitTest(const QPoint& client) const {
    return HitTestCamera(shape_, client).code;
}

bool CCameraWnd::onMouse(const toolkit::MouseInput& input) {
    using Kind = toolkit::MouseInput::Kind;
    switch (input.kind) {
        case Kind::Move:
            if (dragging_)
                TrackDrag(input.screenPos);
            else
                UpdateHover(input.pos);
            break;
        case Kind::Down:
        case Kind::DoubleClick: {
            const CameraHit hit = HitTestCamera(shape_, input.pos);
            pressed_ = ButtonAt(hit.slot) != CameraButton::kNone ? hit.slot : -1;
            if (pressed_ >= 0)
                Redraw();
            else
                BeginDrag(hit.code, input.screenPos);
            break;
        }
        case Kind::Up: {
            if (dragging_) {
                TrackDrag(input.screenPos);  // where the button came up, should no move have told
                EndDrag();
                break;
            }
            const int pressed = std::exchange(pressed_, -1);
            if (pressed < 0) break;
            Redraw();
            if (HitTestCamera(shape_, input.pos).slot == pressed) OnButton(ButtonAt(pressed));
            break;
        }
        case Kind::Leave:
            if (dragging_) break;
            hovering_ = false;
            hover_ = -1;
            pressed_ = -1;
            Redraw();
            break;
        default:
            break;
    }
    return true;  // moving and sizing are this window's own, not the window manager's
}

void CCameraWnd::UpdateHover(QPoint pos) {
    const CameraHit hit = HitTestCamera(shape_, pos);
    const int slot = ButtonAt(hit.slot) != CameraButton::kNone ? hit.slot : -1;
    if (!hovering_ || slot != hover_) {
        hovering_ = true;
        hover_ = slot;
        Redraw();
    }
    setCursor(slot >= 0 ? toolkit::CursorShape::Hand : CursorFor(hit.code));
}

// Screen points come with each event, so a drag never jumps when its events are handled late.
void CCameraWnd::BeginDrag(HitTest code, QPoint screen) {
    dragging_ = true;
    drag_code_ = code;
    drag_start_ = screen;
    drag_rect_ = full_;
    setCapture();
    Redraw();  // the buttons go while the window moves
}

void CCameraWnd::TrackDrag(QPoint screen) {
    const settings::Rect rect = DragCameraRect(drag_code_, circular_, drag_rect_, drag_start_, screen);
    if (rect == full_) return;
    ApplyRect(rect);
    Redraw();
}

void CCameraWnd::EndDrag() {
    dragging_ = false;
    releaseCapture();
    Redraw();
}

// --- buttons ---------------------------------------------------------------------------------------

void CCameraWnd::OnButton(CameraButton button) {
    switch (button) {
        case CameraButton::kClose:
            if (!DesktopPanel()) hide();
            (void)postMessage({kMsgClosed, 0, 0});
            break;
        case CameraButton::kStyle:
            if (DesktopPanel()) ToggleStyle();
            break;
        case CameraButton::kMirror:
            ToggleMirror();
            break;
        case CameraButton::kSettings:
            ShowSettings();
            break;
        case CameraButton::kFormat:
            ShowFormatList();
            break;
        case CameraButton::kNone:
            break;
    }
}

void CCameraWnd::ToggleStyle() {
    circular_ = !circular_;
    ApplyRect(circular_ ? CentredSquare(full_) : full_);
    Redraw();
    if (settings_store_)
        settings::StoreSetting(*settings_store_, settings::kCameraWndStyle, circular_ ? 1 : 0, index_);
}

void CCameraWnd::ToggleMirror() {
    mirror_ = !mirror_;
    if (feed_) feed_->SetMirror(mirror_);
    if (settings_store_) settings::StoreSetting(*settings_store_, FlipSetting(), mirror_ ? 1 : 0, index_);
}

void CCameraWnd::ShowSettings() {
    if (!feed_ || !feed_->IsOpen()) return;
    std::vector<toolkit::PropertyItem> items;
    for (const platform::CameraControl& control : feed_->Controls()) {
        if (auto item = PropertyOf(control)) items.push_back(std::move(*item));
    }
    std::weak_ptr<CameraFeed> feed = feed_;
    auto changed = [feed](std::uint32_t id, int value) {
        const auto alive = feed.lock();
        if (!alive) return;
        if (Error e = alive->SetControl(id, value); !e.ok()) log::Failure(e, "camera settings");
    };
    settings_.reset();
    settings_ = toolkit::PropertySheet::open(
        *this, name_, geometry().topLeft() + QPoint(kSettingsOffset, kSettingsOffset), items, changed,
        [this] { Redraw(); }, toolkit::Tr(kNoControlsText));
    Redraw();
}

// --- the capture-format list -----------------------------------------------------------------------

void CCameraWnd::ShowFormatList() {
    if (!feed_ || !feed_->IsOpen()) return;
    engine::CameraFormatList formats = feed_->Formats();
    if (formats.formats.empty()) return;
    const std::optional<platform::CameraFormat> connected = feed_->ConnectedFormat();
    popup_.reset();
    popup_formats_ = std::move(formats);
    auto window = std::make_unique<CPopListWnd>();
    window->SetSelfDelete(false);
    window->SetFocusReturn(false);
    const int count = static_cast<int>(popup_formats_.formats.size());
    const int format_slot =
        static_cast<int>(std::find(slots_.begin(), slots_.end(), CameraButton::kFormat) - slots_.begin());
    if (Error e = window->Init(nullptr, {}, PopItemKind::kCallerRows, kFormatListAttributes, kFormatListWidth,
                               kFormatRowHeight * count + 4, this,
                               shape_.buttons[static_cast<size_t>(format_slot)]);
        !e.ok()) {
        log::Failure(e, "camera window");
        return;
    }
    for (size_t i = 0; i < popup_formats_.formats.size(); ++i) {
        const platform::CameraFormat& format = popup_formats_.formats[i];
        auto row = std::make_unique<toolkit::Button>();
        if (const std::string* defaults = window->paintManager().defaultAttributes("Button"))
            row->applyAttributeList(*defaults);
        row->applyAttributeList(kFormatRowAttributes);
        row->setText(engine::CameraFormatText(format));
        const bool current = connected && connected->width == format.width &&
                             connected->height == format.height && connected->frame_time == format.frame_time;
        row->setEnabled(!current);
        row->addNotifyHandler([this, i](toolkit::Notification& n) {
            if (n.type == "click") OnFormatClick(i);
            return true;
        });
        window->Root()->addBorrowed(row.get());
        popup_.rows.push_back(std::move(row));
    }
    popup_.window = std::move(window);
    popup_.window->show();
    setTimer(kPopupTimer, kPopupPollMs);
    Redraw();
}

// Runs inside the pop-up's click: the pop-up is only hidden and closed later, never destroyed here.
void CCameraWnd::OnFormatClick(size_t index) {
    if (index >= popup_formats_.formats.size() || !feed_) return;
    if (popup_.window) {
        popup_.window->hide();
        (void)popup_.window->postMessage({toolkit::kCloseMessage, 0, 0});
    }
    const platform::CameraFormat format = popup_formats_.formats[index];
    if (!feed_->ChangeFormat(format, InRecording()).ok() && feed_->OpenResult() != 0)
        setTimer(kRetryTimer, kRetryMs);
    Redraw();
}

// A camera-mode recording uses this window's camera (or is about to).
bool CCameraWnd::InRecording() {
    if (const engine::CameraRef camera = AcquireCamera(); camera && camera->IsAttached()) return true;
    return !DesktopPanel() && host_ && host_->RecordingState() != kStateIdle;
}

// --- painting --------------------------------------------------------------------------------------

void CCameraWnd::onPaint(QPainter& painter, const QRect& /*dirty*/) {
    const std::string status = StatusText();
    if (status.empty())
        PaintPicture(painter);
    else
        PaintStatus(painter, status);
    if (border_) {
        QPen pen{QColor(kFrameColour)};
        pen.setWidth(kFrameWidth);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        // The pen's middle runs one pixel inside, so both pixels of the frame lie in the window.
        const QRect frame = shape_.full.adjusted(1, 1, -1, -1);
        if (circular_)
            painter.drawEllipse(frame);
        else
            painter.drawRect(frame);
    }
    if (ButtonsShown()) PaintButtons(painter);
}

void CCameraWnd::PaintPicture(QPainter& painter) {
    const QRect target =
        border_ ? shape_.full.adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth) : shape_.full;
    if (picture_.width <= 0 || picture_.height <= 0) {
        painter.fillRect(shape_.full, Qt::black);
        return;
    }
    const QImage image(picture_.pixels.data(), picture_.width, picture_.height, picture_.width * 4,
                       QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);  // nearest pixel, as fast as it gets
    painter.drawImage(target, image);
}

void CCameraWnd::PaintStatus(QPainter& painter, const std::string& text) {
    painter.fillRect(shape_.full, Qt::black);
    painter.setPen(Qt::white);
    painter.setFont(paintManager().font(1));
    painter.drawText(shape_.full, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(text));
}

void CCameraWnd::PaintButtons(QPainter& painter) {
    const QImage* cells = paintManager().image(kButtonImage);
    if (!cells) return;
    for (int slot = 0; slot < kCameraButtonSlots; ++slot) {
        const CameraButton button = ButtonAt(slot);
        if (button == CameraButton::kNone) continue;
        const int state = hover_ == slot ? (pressed_ == slot ? 2 : 1) : 0;  // normal, hot, pressed
        const QRect cell((static_cast<int>(button) * 3 + state) * kCameraButtonSize, 0, kCameraButtonSize,
                         kCameraButtonSize);
        painter.drawImage(shape_.buttons[static_cast<size_t>(slot)], *cells, cell);
    }
}

}  // namespace vexa::ui
