// What a window asks of the desktop at one moment: the keyboard modifiers held down now (not the
// ones of the last input event), and the rectangle of the monitor that shows a point.
// User-interface thread only, after the Application exists.
#pragma once

#include <QPoint>
#include <QRect>

namespace vexa::toolkit {

// The modifiers held now, asked of the display server (no window of ours needs the focus).
[[nodiscard]] Qt::KeyboardModifiers heldKeyboardModifiers();
// The whole rectangle (not the work area) of the monitor that shows `point`, else of the primary
// monitor; empty without a screen.
[[nodiscard]] QRect monitorRectAt(const QPoint& point);

}  // namespace vexa::toolkit
