// CCameraWnd: the camera overlay window ("Tolvo_Camera_Wnd"): the live picture of one camera in a
// borderless round or rectangular window that stays above other windows. It is moved and sized
// with the mouse (a round window stays a centred square; nothing below 150 pixels), shows five
// round buttons while the mouse is over it (close, round/rectangle, mirror, camera settings,
// capture format), and keeps its place, shape, mirroring and format in the settings store: per
// camera for the desktop panel's windows ("..._%d"), once for the camera panel's preview. A camera
// that is busy or missing is tried again every 30 seconds. The window stays on screen while the
// main window is minimised during a recording.
//
// Ownership: the panel that creates the window owns it. Destroying it waits for the opening
// thread and stops and releases the camera on the spot; ReleaseInBackground destroys the window
// at once and leaves the stopping to a short-lived thread. A camera lent to a recording
// (AcquireCamera) lives on with the recording's reference.
// Threads: the user-interface thread for everything; the camera is opened on a thread of its own
// and pictures arrive on the camera's streaming thread (see CameraFeed); both reach the window
// only by posted messages.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "settings/settings_catalog.h"
#include "engine/camera/camera.h"
#include "platform/error.h"
#include "toolkit/button.h"
#include "toolkit/property_sheet.h"
#include "ui/panel_host.h"
#include "toolkit/window.h"
#include "ui/camera_feed.h"
#include "ui/camera_wnd_rules.h"
#include "ui/pop_list_wnd.h"

namespace vexa::ui {

// Who opened the window: the desktop panel (per-camera settings, round or rectangular, the close
// button unticks the camera) or the camera panel (one preview, always rectangular, the close
// button hides it).
enum class CameraWndOwner { kDesktopPanel, kCameraPanel };

class CCameraWnd : public toolkit::Window {
  public:
    // The owner's minimise hid the window: come to the front again (posted to itself).
    static constexpr uint32_t kMsgComeForward = toolkit::kUserMessage + 1;
    static constexpr std::intptr_t kComeForwardParam = 0x12345678;
    enum Timer : int { kOpenTimer = 1, kPopupTimer = 2, kRetryTimer = 3 };

    // `host`: the page of the owning panel, asked whether a recording runs (may be null).
    CCameraWnd(CameraWndOwner owner, const PanelHost* host);
    ~CCameraWnd() override;

    // Reads the window's settings (Ctrl+Alt held down forgets the stored place), creates the hidden
    // window owned by `owner` (the main window) and starts opening the camera named `name`, which
    // stands at `index` in the panel's camera list. Needs the registered ui::Shell.
    [[nodiscard]] Error Create(toolkit::Window& owner, int index, const std::string& name);
    // The camera panel chose another camera: waits for the opening thread, stops the previous
    // camera, then opens `name` on this thread; a failure is shown and retried every 30 seconds.
    Error SwitchCamera(int index, const std::string& name);
    // The camera with a reference of the caller's own (a camera-mode recording), or none.
    [[nodiscard]] engine::CameraRef AcquireCamera();
    // The opening thread has ended.
    [[nodiscard]] bool Ready() const;
    // Called (from a posted message, so the handler may destroy the window) when the user presses
    // the close button; the camera panel's preview has hidden itself by then.
    void SetCloseHandler(std::function<void()> handler) { close_handler_ = std::move(handler); }
    // Destroys the window now; the camera is stopped and released on a short-lived thread, so that
    // a camera slow to stop does not hold up the interface.
    static void ReleaseInBackground(std::unique_ptr<CCameraWnd> window);

    [[nodiscard]] int Index() const { return index_; }
    [[nodiscard]] const std::string& Name() const { return name_; }
    [[nodiscard]] bool Circular() const { return circular_; }
    [[nodiscard]] bool Mirrored() const { return mirror_; }
    // The full rectangle on the screen, not clipped at the left and top edge.
    [[nodiscard]] const settings::Rect& FullRect() const { return full_; }
    [[nodiscard]] const CameraShape& Shape() const { return shape_; }
    // What the window shows instead of a picture; empty while it shows the camera.
    [[nodiscard]] std::string StatusText() const;
    [[nodiscard]] uint32_t OpenResult() const;
    [[nodiscard]] bool ButtonsShown() const;
    // The capture-format list while it is open, else null.
    [[nodiscard]] CPopListWnd* FormatList() const { return popup_.window.get(); }
    [[nodiscard]] bool SettingsDialogOpen() const { return settings_ && settings_->isOpen(); }

    // --- toolkit::Window ---
    [[nodiscard]] std::string windowClassName() const override { return "Tolvo_Camera_Wnd"; }
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& message) override;
    void onTimer(int id) override;
    void onOwnerMinimized(bool minimized) override;
    [[nodiscard]] toolkit::HitTest hitTest(const QPoint& client) const override;
    bool onMouse(const toolkit::MouseInput& input) override;
    void onPaint(QPainter& painter, const QRect& dirty) override;

  private:
    static constexpr uint32_t kMsgPicture = toolkit::kUserMessage + 3;
    static constexpr uint32_t kMsgClosed = toolkit::kUserMessage + 4;

    // The capture-format pop-up and its rows; the window goes first, then the rows it borrowed.
    struct FormatPopup {
        std::vector<std::unique_ptr<toolkit::Button>> rows;
        std::unique_ptr<CPopListWnd> window;
        void reset() {
            window.reset();
            rows.clear();
        }
    };

    [[nodiscard]] const settings::Setting& PosSetting() const;
    [[nodiscard]] const settings::Setting& FlipSetting() const;
    [[nodiscard]] const settings::Setting& BorderSetting() const;
    [[nodiscard]] const settings::Setting& FormatSetting() const;
    [[nodiscard]] bool DesktopPanel() const { return owner_ == CameraWndOwner::kDesktopPanel; }
    [[nodiscard]] CameraButton ButtonAt(int slot) const;

    void ApplyRect(const settings::Rect& rect);
    void Redraw();
    void OnPicture();
    void UpdateHover(QPoint pos);
    void BeginDrag(toolkit::HitTest code, QPoint screen);
    void TrackDrag(QPoint screen);
    void EndDrag();
    void OnButton(CameraButton button);
    void ToggleStyle();
    void ToggleMirror();
    void ShowSettings();
    void ShowFormatList();
    void OnFormatClick(size_t index);
    [[nodiscard]] bool InRecording();
    void OnOpenTimer();
    void OnRetryTimer();
    void PaintPicture(QPainter& painter);
    void PaintStatus(QPainter& painter, const std::string& text);
    void PaintButtons(QPainter& painter);

    const CameraWndOwner owner_;
    const PanelHost* const host_;
    settings::SettingsKey* settings_store_ = nullptr;
    std::shared_ptr<CameraFeed> feed_;
    std::string name_;
    int index_ = 0;
    bool circular_ = false;
    bool border_ = false;
    bool mirror_ = true;
    settings::Rect full_;
    CameraShape shape_;
    CameraButtonSlots slots_{};
    int hover_ = -1;    // slot under the mouse
    int pressed_ = -1;  // slot the left button went down on
    bool hovering_ = false;
    bool dragging_ = false;
    toolkit::HitTest drag_code_ = toolkit::HitTest::Client;
    QPoint drag_start_;
    settings::Rect drag_rect_;
    CameraFeed::Picture picture_;
    FormatPopup popup_;
    engine::CameraFormatList popup_formats_;
    std::unique_ptr<toolkit::PropertySheet> settings_;
    std::function<void()> close_handler_;
};

}  // namespace vexa::ui
