#include "app/small_controls.h"

#include <QPainter>

#include <system_error>
#include <thread>

#include "platform/desktop/shell_open.h"
#include "platform/log/log.h"
#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

namespace vexa::app {

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

bool CShellExeBtn::activate() {
    if (!toolkit::Button::activate()) return false;
    auto open = [](const std::string& target) {
        if (Error error = desktop::OpenWithDefaultApplication(target); !error.ok())
            log::Failure(error, "opening " + target);
    };
    // The launch may block on a slow desktop; the thread owns its copy of the target. Without a
    // thread the call runs here.
    try {
        std::thread(open, userData()).detach();
    } catch (const std::system_error&) {
        open(userData());
    }
    return true;
}

}  // namespace vexa::app
