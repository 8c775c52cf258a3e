// Window: the native window base of the toolkit (one top-level Qt widget per window) with its
// paint manager. Subclasses name their window class (set as the X11 WM_CLASS so other processes
// can find the window), handle messages and react to lifecycle hooks.
// Ownership: the Window object owns its native widget and paint manager; it never deletes itself
// unless onFinalMessage() is overridden to do so.
// Thread-safety: everything on the user-interface thread, except the static postMessage() and
// sendMessage(), which any thread may call with a WindowHandle.
#pragma once

#include "toolkit/control.h"
#include "toolkit/paint_manager.h"

#include <QImage>
#include <QRegion>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class QEventLoop;
class QWidget;

namespace vexa::toolkit {

// Message ids keep the values the program's parts agree on.
inline constexpr std::uint32_t kCloseMessage = 0x0010;  // WM_CLOSE
inline constexpr std::uint32_t kUserMessage = 0x0400;   // WM_USER

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
};

// Identifies a window across threads; 0 is no window. Stale handles are simply not found.
using WindowHandle = std::uint64_t;

enum WindowStyle : unsigned {
    kStylePopup = 1u << 0,         // no frame or title bar
    kStyleToolWindow = 1u << 1,    // no taskbar entry
    kStyleTopMost = 1u << 2,       // above normal windows
    kStyleDropShadow = 1u << 3,    // the desktop's shadow where it offers one
    kStyleClickThrough = 1u << 4,  // the mouse goes to whatever lies below
    kStyleLayered = 1u << 5,       // per-pixel alpha
    kStyleVisible = 1u << 6,       // shown at creation
    kStyleUnmanaged = 1u << 7,     // placed as asked, over panels, never moved by the window manager
    // setShape() draws its region as transparency around it where a compositor runs (per-pixel
    // alpha; only the region takes the mouse), as a window shape where none runs. Under XWayland a
    // window shape does not reach the compositor: the square around the region shows black.
    kStyleSoftShape = 1u << 8,
};

// Hit-test codes (the window system's values).
enum class HitTest : int {
    Nowhere = 0,
    Client = 1,
    Caption = 2,
    SysMenu = 3,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// What a compositor shows for a translucent `layer` over `backdrop` (top-left corners together):
// an opaque picture the size of `layer`; black lies under whatever the backdrop does not cover.
[[nodiscard]] QImage composeOverBackdrop(const QImage& backdrop, const QImage& layer);

// The resize cursor a handle implies (Arrow for other codes).
[[nodiscard]] CursorShape cursorForHitTest(HitTest code);

struct MouseInput {
    enum class Kind { Move, Down, Up, DoubleClick, RightDown, Wheel, Leave } kind = Kind::Move;
    QPoint pos;  // client coordinates
    int wheelDelta = 0;
    Qt::KeyboardModifiers modifiers;
    QPoint screenPos;  // the same point in screen coordinates, as the event saw the window
};

class Window {
  public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The window class name ("VexaRecorder_Main_Window"), set as the X11 WM_CLASS.
    [[nodiscard]] virtual std::string windowClassName() const = 0;

    // Creates the native window; returns false when onCreate() refuses (the window is destroyed).
    [[nodiscard]] bool create(Window* owner, const std::string& title, unsigned style, const QRect& geometry);
    [[nodiscard]] bool isCreated() const { return widget_ != nullptr; }
    void destroy();
    void show(bool activate = true);
    void hide();
    [[nodiscard]] bool isVisible() const;
    void centerOnOwner();
    // Shows the window and runs a nested event loop until it closes; the owner is disabled meanwhile.
    // Returns the code given to endModal() (or 0 when closed otherwise).
    int showModal();
    void endModal(int code);
    // Asks to close: onCloseRequest() may refuse; otherwise the window is destroyed.
    void close();

    // Messages between threads.
    [[nodiscard]] WindowHandle handle() const { return handle_; }
    // Queues a message for the window's thread; false when the window no longer exists.
    static bool postMessage(WindowHandle window, const Message& message);
    // Delivers a message and waits for its result at most `timeout`. A message whose handling has
    // begun is always waited for, so data the sender passed stays valid while it is read.
    [[nodiscard]] static std::optional<std::intptr_t> sendMessage(WindowHandle window, const Message& message,
                                                                  std::chrono::milliseconds timeout);
    bool postMessage(const Message& message) const { return postMessage(handle_, message); }
    // Queues a message for the window whose native window is `nativeId` (a message another
    // process sent to it); false when no window of this process has that native window.
    // User-interface thread only.
    static bool postToNativeWindow(unsigned long nativeId, const Message& message);

    // Native features.
    void setTimer(int id, int intervalMs);
    void killTimer(int id);
    void setCapture();
    void releaseCapture();
    // Every key of the display comes to this window while on (an X keyboard grab), whichever
    // window has the focus; ends with the window at the latest.
    void setKeyboardCapture(bool on);
    void setCursor(CursorShape shape);
    void setEnabled(bool enabled);
    [[nodiscard]] bool isEnabled() const;
    void setTopMost(bool topMost);
    void setToolWindow(bool toolWindow);
    void setShape(const QRegion& region);
    void clearShape();
    // Per-pixel alpha content for layered windows; without a compositor the window is shaped by the
    // drawn pixels plus `mouseArea`, which keeps catching the mouse where the picture is clear.
    void updateLayered(const QImage& picture, const QRegion& mouseArea = {});
    [[nodiscard]] static bool hasCompositor();
    // What lies under a layered window, in its client coordinates, for a desktop without a
    // compositor: there the window paints its picture over this one and is shown whole and opaque
    // (no shape), which looks as the compositor would make it. A null picture goes back to shaping.
    void setBackdrop(const QImage& picture);
    // The owner's own picture as the backdrop (what the owner shows under this window).
    void setBackdropFromOwner();
    // A compositing manager started (true) or stopped (false); by default a layered window
    // repaints and takes the shape (or none) the new state needs.
    virtual void onCompositorChanged(bool compositor);
    // Applies the <Window> settings of the layout just built: size, minimum and maximum size and
    // opacity (layered windows are chosen at create() with kStyleLayered).
    void applyWindowInfo();
    void setGeometry(const QRect& geometry);
    [[nodiscard]] QRect geometry() const;
    void minimize();
    void restore();
    [[nodiscard]] bool isMinimized() const;
    void bringToFront();
    void invalidate(const QRect& rect);
    [[nodiscard]] PaintManager& paintManager() { return *manager_; }
    [[nodiscard]] QWidget* widget() const { return widget_.get(); }
    [[nodiscard]] Window* owner() const { return owner_; }

    // Hooks, all on the user-interface thread.
    virtual bool onCreate() { return true; }
    virtual bool onCloseRequest() { return true; }
    virtual void onDestroy() {}
    // After the native window is gone (final message); the object may delete itself here.
    virtual void onFinalMessage() {}
    // Posted or sent messages; a result means handled (WM_CLOSE not handled closes the window).
    virtual std::optional<std::intptr_t> handleMessage(const Message& message);
    virtual void onTimer(int id) { (void)id; }
    virtual void onFocusLost() {}
    // The owner was minimised (true) or restored (false); by default the window hides and returns.
    virtual void onOwnerMinimized(bool minimized);
    virtual HitTest hitTest(const QPoint& client) const;
    // Raw input before the paint manager sees it; return true to consume.
    virtual bool onMouse(const MouseInput& input) {
        (void)input;
        return false;
    }
    virtual bool onKey(int key, Qt::KeyboardModifiers modifiers) {
        (void)key, (void)modifiers;
        return false;
    }
    // Paints the client area; the default paints the control tree (and the layered picture).
    virtual void onPaint(QPainter& painter, const QRect& dirty);
    virtual void onResize(const QSize& size) { (void)size; }

    class SendState;  // reply slot of a blocking send (internal)

  private:
    friend class SkinWidget;

    std::string publishedTexts_;  // the last texts published for tests (test builds only)

    void deliver(const Message& message, const std::shared_ptr<SendState>& reply);
    void finishDestroy();
    void applyNativeSettings();
    void applyShape();
    void changeFlag(Qt::WindowType flag, const char* netWmState, bool on);
    void watchOwner(bool watch);
    void updateKeptAbove();

    std::unique_ptr<PaintManager> manager_;
    std::unique_ptr<QWidget> widget_;
    std::unique_ptr<class OwnerWatcher> ownerWatcher_;
    Window* owner_ = nullptr;
    WindowHandle handle_ = 0;
    unsigned style_ = 0;
    std::unordered_map<int, int> timers_;  // our id -> Qt timer id
    QEventLoop* modalLoop_ = nullptr;
    int modalResult_ = 0;
    bool hiddenWithOwner_ = false;
    bool destroying_ = false;
    QImage layered_;
    QRegion layeredMouseArea_;
    QImage backdrop_;
    int compositorListener_ = 0;
    unsigned long keptAbove_ = 0;   // the native window kept above the managed ones, or 0
    std::optional<QRegion> shape_;  // what setShape() asked for, until clearShape()
    bool softShape_ = false;        // shape_ is drawn as transparency now (kStyleSoftShape)
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);  // expires with the object
};

}  // namespace vexa::toolkit
