#include "ui/lcd_digit.h"

#include <QPainter>

#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

namespace vexa::ui {

void CLCDDigit::SetDigit(int digit) {
    if (digit < 0 || digit > 9 || digit == digit_) return;
    digit_ = digit;
    invalidate();
}

void CLCDDigit::paintBkImage(QPainter& painter) {
    toolkit::PaintManager* pm = manager();
    const toolkit::ImageSpec* spec = pm ? pm->imageSpec(bkImage()) : nullptr;
    const QImage* image = spec ? pm->image(spec->file) : nullptr;
    if (!image) return;
    toolkit::ImageSpec cell = *spec;
    cell.source = QRect(digit_ * 16, 0, 16, 22);
    cell.dest = QRect(0, 5, 16, 22);
    toolkit::drawImage(painter, *image, cell, rect());
}

}  // namespace vexa::ui
