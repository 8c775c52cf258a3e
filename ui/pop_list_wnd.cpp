#include "ui/pop_list_wnd.h"

#include <memory>

#include "toolkit/desktop_state.h"
#include "toolkit/paint_manager.h"
#include "ui/pop_list_rules.h"

namespace vexa::ui {

CPopListWnd::CPopListWnd() = default;

CPopListWnd::~CPopListWnd() {
    self_delete_ = false;  // being deleted already
    destroy();
}

Error CPopListWnd::Init(toolkit::Control* anchor, std::span<toolkit::Control* const> items, PopItemKind kind,
                        std::string_view attributes, int extra_width, int extra_height, toolkit::Window* host,
                        const QRect& anchor_rect) {
    anchor_ = anchor;
    host_ = anchor && anchor->manager() ? anchor->manager()->window() : host;
    if (!host_ || !host_->isCreated())
        return Error(ErrorCode::kInvalidArgument, "pop-up list: the anchor is not in a window");
    const bool adds_items = kind == PopItemKind::kSoundRows || kind == PopItemKind::kCameraBoxes;
    const int count = adds_items ? static_cast<int>(items.size()) : 0;
    const QSize first =
        count > 0 ? QSize(items.front()->fixedWidth(), items.front()->fixedHeight()) : QSize();
    const QRect on_host = anchor ? anchor->rect() : anchor_rect;
    const QPoint below = host_->geometry().topLeft() + QPoint(on_host.x(), on_host.y() + on_host.height());
    const QRect place =
        PlacePopup(PopupSize(first, count, extra_width, extra_height), below, toolkit::monitorRectAt(below));
    paintManager().copyStyle(host_->paintManager());
    if (!create(host_, "", toolkit::kStylePopup | toolkit::kStyleToolWindow | toolkit::kStyleTopMost, place))
        return Error(ErrorCode::kUnavailable, "pop-up list: the window cannot be created");
    if (!attributes.empty()) root_->applyAttributeList(attributes);
    for (int i = 0; i < count; ++i) root_->addBorrowed(items[static_cast<size_t>(i)]);
    return {};
}

bool CPopListWnd::onCreate() {
    auto root = std::make_unique<toolkit::VerticalLayout>();
    root_ = root.get();
    paintManager().attach(std::move(root));
    if (const std::string* defaults = paintManager().defaultAttributes("VerticalLayout"))
        root_->applyAttributeList(*defaults);
    root_->setInset(QMargins(1, 8, 1, 1));
    root_->enableScrollBar(true);
    return true;
}

// The rows go back to the anchor's window as they were before the pop-up borrowed them; the anchor
// is laid out again and, when asked, takes the focus.
void CPopListWnd::onDestroy() {
    GiveRowsBack();
    if (!anchor_ || !host_ || !host_->isCreated()) return;
    anchor_->needLayout();
    anchor_->invalidate();
    if (focus_return_) anchor_->setFocus();
}

void CPopListWnd::GiveRowsBack() {
    if (!root_) return;
    // A host whose window is gone is being torn down: its manager cannot take the rows any more.
    toolkit::PaintManager* home = host_ && host_->isCreated() ? &host_->paintManager() : nullptr;
    while (root_->count() > 0) {
        toolkit::Control* row = root_->itemAt(root_->count() - 1);
        (void)root_->take(row);  // borrowed: nothing is destroyed
        if (home) row->attach(home, nullptr);
    }
}

void CPopListWnd::onFinalMessage() {
    if (self_delete_) delete this;  // a self-deleting pop-up belongs to nobody else
}

void CPopListWnd::onFocusLost() {
    (void)postMessage({toolkit::kCloseMessage, 0, 0});
}

bool CPopListWnd::onKey(int key, Qt::KeyboardModifiers modifiers) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        onFocusLost();  // the same way out as a click elsewhere
        return true;
    }
    if (!anchor_) return false;
    toolkit::ControlEvent event;
    event.type = toolkit::EventType::KeyDown;
    event.target = anchor_;
    event.key = key;
    event.modifiers = modifiers;
    anchor_->handleEvent(event);
    return true;
}

}  // namespace vexa::ui
