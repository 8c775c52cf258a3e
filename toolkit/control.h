// Control: the windowless element of the toolkit's control tree. A control belongs to its parent
// container (or to the paint manager when it is the root) and knows the paint manager of its window.
// Thread-safety: controls live on the user-interface thread; none of these calls may be made elsewhere
// (other threads post notifications through PaintManager::postNotify or messages to the window).
#pragma once

#include "toolkit/attributes.h"

#include <QColor>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace vexa::toolkit {

class Control;
class PaintManager;

enum class EventType {
    MouseEnter,
    MouseLeave,
    MouseMove,
    ButtonDown,
    ButtonUp,
    DoubleClick,
    RightButtonDown,
    ScrollWheel,
    KeyDown,
    SetFocus,
    KillFocus,
};

struct ControlEvent {
    EventType type = EventType::MouseMove;
    Control* target = nullptr;  // the control the event was sent to (parents see it when it bubbles)
    QPoint pos;                 // client coordinates of the window
    int wheelDelta = 0;         // positive away from the user, 120 per notch
    int key = 0;                // Qt::Key for KeyDown
    Qt::KeyboardModifiers modifiers;
};

struct Notification {
    std::string type;  // "click", "selectchanged", "valuechanged", "itemselect", "tabselect", ...
    Control* sender = nullptr;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    QPoint pos;
};

// Handlers return false to stop the event or notification from going further.
using EventHandler = std::function<bool(ControlEvent&)>;
using NotifyHandler = std::function<bool(Notification&)>;

enum class CursorShape { Arrow, Hand, Cross, SizeAll, SizeWE, SizeNS, SizeNWSE, SizeNESW, IBeam };

class Control {
  public:
    Control();
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    [[nodiscard]] virtual std::string_view className() const { return "Control"; }
    // Whether this control is, or derives from, the toolkit class `name` ("Button", "Container", ...).
    [[nodiscard]] virtual bool isA(std::string_view name) const { return name == "Control"; }

    // Identity.
    [[nodiscard]] const std::string& name() const { return name_; }
    void setName(std::string name);
    [[nodiscard]] const std::string& text() const { return text_; }
    virtual void setText(std::string text);
    [[nodiscard]] const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string text) { toolTip_ = std::move(text); }
    [[nodiscard]] std::intptr_t tag() const { return tag_; }
    void setTag(std::intptr_t tag) { tag_ = tag; }
    [[nodiscard]] const std::string& userData() const { return userData_; }
    void setUserData(std::string data) { userData_ = std::move(data); }

    // State.
    [[nodiscard]] bool isVisible() const { return visible_; }
    virtual void setVisible(bool visible);
    // Visible here and in every ancestor.
    [[nodiscard]] bool isShown() const;
    [[nodiscard]] bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    [[nodiscard]] bool isMouseEnabled() const { return mouseEnabled_; }
    void setMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
    [[nodiscard]] bool isKeyboardEnabled() const { return keyboardEnabled_; }
    void setKeyboardEnabled(bool enabled) { keyboardEnabled_ = enabled; }
    [[nodiscard]] virtual bool wantsFocus() const { return false; }
    [[nodiscard]] bool isFocused() const;
    void setFocus();
    [[nodiscard]] CursorShape cursor() const { return cursor_; }

    // Geometry.
    [[nodiscard]] const QRect& rect() const { return rect_; }
    virtual void setPos(const QRect& rect);
    [[nodiscard]] const QMargins& padding() const { return padding_; }
    void setPadding(const QMargins& padding);
    [[nodiscard]] int fixedWidth() const { return fixedWidth_; }
    void setFixedWidth(int width);
    [[nodiscard]] int fixedHeight() const { return fixedHeight_; }
    void setFixedHeight(int height);
    [[nodiscard]] int minWidth() const { return minWidth_; }
    [[nodiscard]] int maxWidth() const { return maxWidth_; }
    [[nodiscard]] int minHeight() const { return minHeight_; }
    [[nodiscard]] int maxHeight() const { return maxHeight_; }
    [[nodiscard]] bool isFloat() const { return float_; }
    void setFloat(bool isFloat);
    [[nodiscard]] const QRect& floatPos() const { return floatPos_; }
    void setFloatPos(const QRect& pos);
    // Wanted size inside `available`; zero in a dimension means "stretch".
    [[nodiscard]] virtual QSize estimateSize(const QSize& available) const;

    // Appearance.
    void setBkColor(const QColor& color);
    [[nodiscard]] const QColor& bkColor() const { return bkColor_; }
    void setBkImage(std::string image);
    [[nodiscard]] const std::string& bkImage() const { return bkImage_; }
    void setBorderColor(const QColor& color);
    [[nodiscard]] const QColor& borderColor() const { return borderColor_; }
    void setBorderSize(int size);
    [[nodiscard]] int borderSize() const { return borderSize_; }

    // Attributes by name as written in layouts; unknown names and malformed values are ignored.
    // Returns whether the attribute was recognised and applied.
    virtual bool setAttribute(std::string_view name, std::string_view value);
    void applyAttributeList(std::string_view list);

    // Tree.
    [[nodiscard]] Control* parent() const { return parent_; }
    [[nodiscard]] PaintManager* manager() const { return manager_; }
    // Called by the dialog builder once the control's attributes and children are in place.
    virtual void onBuilt() {}
    // Called when the control enters a tree; containers pass it on to their children.
    virtual void attach(PaintManager* manager, Control* parent);
    // The topmost visible, mouse-enabled control at `point`, or none.
    [[nodiscard]] virtual Control* findAt(const QPoint& point);
    // Visits this control and every descendant (pre-order) until `visit` returns false.
    virtual bool forEach(const std::function<bool(Control&)>& visit);

    // Painting and invalidation.
    virtual void paint(QPainter& painter, const QRect& dirty);
    void invalidate();
    // Geometry changed: the window lays out again before its next paint.
    void needLayout();

    // Events: handlers first, then doEvent(); unhandled mouse events bubble to the parent.
    void handleEvent(ControlEvent& event);
    void addEventHandler(EventHandler handler) { eventHandlers_.push_back(std::move(handler)); }
    void addNotifyHandler(NotifyHandler handler) { notifyHandlers_.push_back(std::move(handler)); }
    // Runs this control's notify handlers; false when one of them stopped the notification.
    bool runNotifyHandlers(Notification& notification);
    // Performs the control's action as a click would; false when it is disabled or hidden.
    virtual bool activate();

  protected:
    virtual void doEvent(ControlEvent& event);
    virtual void paintBkColor(QPainter& painter);
    virtual void paintBkImage(QPainter& painter);
    virtual void paintStatusImage(QPainter& painter) { (void)painter; }
    virtual void paintText(QPainter& painter) { (void)painter; }
    virtual void paintBorder(QPainter& painter);
    // Draws an image string into this control's rectangle; false when it names nothing drawable.
    bool drawImage(QPainter& painter, const std::string& imageString, int fade = 255);
    void fillRect(QPainter& painter, const QRect& rect, const QColor& color) const;
    void notify(const std::string& type, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
    [[nodiscard]] const QString& qtext() const { return qtext_; }

    CursorShape cursor_ = CursorShape::Arrow;

  private:
    std::string name_;
    std::string text_;
    QString qtext_;
    std::string toolTip_;
    std::intptr_t tag_ = 0;
    std::string userData_;
    bool visible_ = true;
    bool enabled_ = true;
    bool mouseEnabled_ = true;
    bool keyboardEnabled_ = true;
    QRect rect_;
    QMargins padding_;
    int fixedWidth_ = 0;
    int fixedHeight_ = 0;
    int minWidth_ = 0;
    int maxWidth_ = 9999;
    int minHeight_ = 0;
    int maxHeight_ = 9999;
    bool float_ = false;
    QRect floatPos_;
    QColor bkColor_;
    std::string bkImage_;
    QColor borderColor_;
    int borderSize_ = 0;
    QSize borderRound_;
    Control* parent_ = nullptr;
    PaintManager* manager_ = nullptr;
    std::vector<EventHandler> eventHandlers_;
    std::vector<NotifyHandler> notifyHandlers_;
};

}  // namespace vexa::toolkit
