// Where the pop-up list window goes: its size from the first item it shows, its place under the
// anchor, and the fitting to the monitor (moved up to end at the monitor's bottom, moved left to end
// at its right edge, or moved to 0 when it would start at a negative position).
// Pure functions; thread-compatible.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace vexa::ui {

// count items of the first item's fixed size, plus the extra size; just the extra size without items.
[[nodiscard]] QSize PopupSize(QSize first_item, int count, int extra_width, int extra_height);

// The rectangle of that size whose top-left corner is `below_anchor` (the anchor's left and bottom
// edge on the screen), fitted to `monitor`. The lower bound is 0, not the monitor's own left or top.
[[nodiscard]] QRect PlacePopup(QSize size, QPoint below_anchor, const QRect& monitor);

}  // namespace vexa::ui
