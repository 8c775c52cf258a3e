#include "toolkit/window_input.h"

#include <QCursor>
#include <QWidget>

#include "toolkit/window.h"
#include "toolkit/x11_support.h"

namespace vexa::toolkit {

void setClickThrough(Window& window, bool clickThrough) {
    if (QWidget* widget = window.widget()) x11::setInputTransparent(widget->winId(), clickThrough);
}

unsigned long nativeWindowId(const Window& window) {
    const QWidget* widget = window.widget();
    return widget ? static_cast<unsigned long>(widget->winId()) : 0;
}

bool focusWithAnotherProgram() {
    const x11::FocusHolder holder = x11::focusHolder();
    return holder == x11::FocusHolder::kOtherProgram || holder == x11::FocusHolder::kUnknown;
}

void setCursorPos(const QPoint& screenPos) {
    QCursor::setPos(screenPos);
}

}  // namespace vexa::toolkit
