#include "ui/pop_list_rules.h"

namespace vexa::ui {

QSize PopupSize(QSize first_item, int count, int extra_width, int extra_height) {
    if (count <= 0) return QSize(extra_width, extra_height);
    return QSize(first_item.width() + extra_width, count * first_item.height() + extra_height);
}

QRect PlacePopup(QSize size, QPoint below_anchor, const QRect& monitor) {
    QRect rect(below_anchor, size);
    const int monitor_bottom = monitor.y() + monitor.height();
    const int monitor_right = monitor.x() + monitor.width();
    if (rect.y() + rect.height() > monitor_bottom)
        rect.moveTop(monitor_bottom - rect.height());
    else if (rect.y() < 0)
        rect.moveTop(0);
    if (rect.x() + rect.width() > monitor_right)
        rect.moveLeft(monitor_right - rect.width());
    else if (rect.x() < 0)
        rect.moveLeft(0);
    return rect;
}

}  // namespace vexa::ui
