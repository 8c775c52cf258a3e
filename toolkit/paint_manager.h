// PaintManager: one per window. Owns the control tree's root, lays it out, paints only what was
// invalidated, routes mouse and keyboard input to controls and delivers notifications.
// Thread-safety: everything runs on the user-interface thread except postNotify(), which any thread
// may call while the manager exists.
#pragma once

#include "toolkit/control.h"
#include "toolkit/fonts.h"
#include "toolkit/image_string.h"
#include "toolkit/skin_archive.h"

#include <QImage>
#include <QObject>

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vexa::toolkit {

class Option;
class Window;

class NotifyReceiver {
  public:
    virtual ~NotifyReceiver() = default;
    virtual void notify(Notification& notification) = 0;
};

// Window-level settings read from the layout's <Window> element.
struct WindowInfo {
    QSize size;
    QSize minSize;
    QSize maxSize;
    QRect caption;     // l,t,r,b: the band from l to width - r and t to b
    QMargins sizeBox;  // resize margins
    bool layered = false;
    std::string layeredImage;
    int opacity = 255;
};

class PaintManager {
  public:
    explicit PaintManager(std::shared_ptr<SkinArchive> skin);
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    [[nodiscard]] const std::shared_ptr<SkinArchive>& skin() const { return skin_; }
    [[nodiscard]] WindowInfo& windowInfo() { return info_; }
    [[nodiscard]] const WindowInfo& windowInfo() const { return info_; }
    [[nodiscard]] Window* window() const { return window_; }
    void setWindow(Window* window) { window_ = window; }
    // Where invalidated rectangles go (the window's update); without one they only accumulate.
    void setInvalidateSink(std::function<void(const QRect&)> sink) { invalidateSink_ = std::move(sink); }

    // Tree.
    void attach(std::unique_ptr<Control> root);
    [[nodiscard]] Control* root() const { return root_.get(); }
    [[nodiscard]] Control* findControl(std::string_view name) const;
    template <class T>
    [[nodiscard]] T* find(std::string_view name) const {
        return dynamic_cast<T*>(findControl(name));
    }
    [[nodiscard]] Control* findControlAt(const QPoint& point) const;

    // Layout and painting.
    void setClientSize(const QSize& size);
    [[nodiscard]] QSize clientSize() const { return size_; }
    void needLayout();
    void updateLayout();
    void invalidate(const QRect& rect);
    // Union of what was invalidated since the last paint (offscreen use and tests).
    [[nodiscard]] QRect dirtyRect() const { return dirty_; }
    void paint(QPainter& painter, const QRect& dirty);
    // Paints the whole client area onto a transparent image.
    [[nodiscard]] QImage render();

    // Resources.
    [[nodiscard]] const QImage* image(const std::string& file) const;
    // Parsed image string, cached; null for strings naming no file.
    [[nodiscard]] const ImageSpec* imageSpec(const std::string& imageString);
    // This window's fonts (filled by its layout's <Font> elements); unknown ids give the default.
    [[nodiscard]] const QFont& font(int id) const { return fonts_.font(id); }
    [[nodiscard]] FontTable& fonts() { return fonts_; }
    [[nodiscard]] const FontTable& fonts() const { return fonts_; }
    void setDefaultAttributes(std::string className, std::string attributeList);
    [[nodiscard]] const std::string* defaultAttributes(std::string_view className) const;
    // Takes another window's fonts and default attributes (a pop-up showing its owner's controls).
    void copyStyle(const PaintManager& other);

    // Input, in client coordinates.
    void mouseMove(const QPoint& pos);
    void mouseLeave();
    void buttonDown(const QPoint& pos, bool right = false);
    void buttonUp(const QPoint& pos);
    void doubleClick(const QPoint& pos);
    void wheel(const QPoint& pos, int delta);
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void focusLost();
    [[nodiscard]] std::string toolTipAt(const QPoint& pos) const;
    [[nodiscard]] CursorShape cursorAt(const QPoint& pos) const;
    [[nodiscard]] Control* hot() const { return hot_; }
    [[nodiscard]] Control* focus() const { return focus_; }
    void setFocus(Control* control);
    [[nodiscard]] Control* capture() const { return capture_; }
    void setCapture(Control* control) { capture_ = control; }
    void releaseCapture() { capture_ = nullptr; }

    // Notifications: the sender's own handlers first, then every receiver in order.
    void addNotifier(NotifyReceiver* receiver);
    void removeNotifier(NotifyReceiver* receiver);
    void sendNotify(Control* sender, const std::string& type, std::uintptr_t wparam = 0,
                    std::intptr_t lparam = 0, bool async = false);
    // Thread-safe: queues the notification for the user-interface thread. It is dropped if the
    // sender is destroyed before delivery.
    void postNotify(Control* sender, std::string type, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

    // Option groups.
    void joinGroup(const std::string& group, Option* option);
    void leaveGroup(const std::string& group, Option* option);
    [[nodiscard]] std::vector<Option*> group(const std::string& group) const;

    // Bookkeeping called by controls as they enter and leave the tree.
    void rememberControl(Control* control);
    void forgetControl(Control* control);
    void controlRemoved(Control* control);
    void renameControl(Control* control, const std::string& oldName, const std::string& newName);

  private:
    struct Pending {
        Control* sender;
        std::uint64_t serial;
        std::string type;
        std::uintptr_t wparam;
        std::intptr_t lparam;
    };
    class Pump;

    void deliverPending();
    void dispatch(Control* target, EventType type, const QPoint& pos, int wheelDelta = 0, int key = 0,
                  Qt::KeyboardModifiers modifiers = {});
    void updateHot(Control* control, const QPoint& pos);
    void moveFocus(bool backwards);

    std::shared_ptr<SkinArchive> skin_;
    WindowInfo info_;
    Window* window_ = nullptr;
    std::function<void(const QRect&)> invalidateSink_;
    std::unique_ptr<Control> root_;
    QSize size_;
    bool layoutDirty_ = true;
    QRect dirty_;
    std::unordered_map<std::string, std::vector<Control*>> names_;
    std::unordered_map<Control*, std::uint64_t> live_;
    std::uint64_t nextSerial_ = 1;
    std::unordered_map<std::string, std::optional<ImageSpec>> imageSpecs_;
    FontTable fonts_;
    std::unordered_map<std::string, std::string> defaults_;
    std::unordered_map<std::string, std::vector<Option*>> groups_;
    std::vector<NotifyReceiver*> notifiers_;
    Control* hot_ = nullptr;
    Control* capture_ = nullptr;
    Control* focus_ = nullptr;
    std::unique_ptr<QObject> pump_;
    std::mutex pendingMutex_;
    std::deque<Pending> pending_;
};

// The first control named `name` inside `root` (including root), or none.
[[nodiscard]] Control* findChild(Control& root, std::string_view name);

}  // namespace vexa::toolkit
