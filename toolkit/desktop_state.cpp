#include "toolkit/desktop_state.h"

#include <QGuiApplication>
#include <QScreen>

namespace vexa::toolkit {

Qt::KeyboardModifiers heldKeyboardModifiers() {
    return QGuiApplication::queryKeyboardModifiers();
}

QRect monitorRectAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

}  // namespace vexa::toolkit
