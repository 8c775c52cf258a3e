#include "x11_painter.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <array>

namespace vexa::platform::testing {

Painter::Painter(const char* display_name) : display_(XOpenDisplay(display_name)) {}

Painter::~Painter() {
    if (gc_) XFreeGC(display_, gc_);
    if (display_) XCloseDisplay(display_);
}

void Painter::Fill(int x, int y, int width, int height, uint32_t rgb) {
    const Window root = DefaultRootWindow(display_);
    if (!gc_) gc_ = XCreateGC(display_, root, 0, nullptr);
    XSetForeground(display_, gc_, rgb);
    XFillRectangle(display_, root, gc_, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display_, False);
}

void Painter::MovePointer(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

void Painter::SetHalfWhiteCursor() {
    const Window root = DefaultRootWindow(display_);
    std::array<char, 32> source{};  // 16 rows of 2 bytes
    std::array<char, 32> mask{};
    for (size_t i = 0; i < 16; ++i) source[i] = static_cast<char>(0xFF);
    mask.fill(static_cast<char>(0xFF));
    const Pixmap src = XCreateBitmapFromData(display_, root, source.data(), 16, 16);
    const Pixmap msk = XCreateBitmapFromData(display_, root, mask.data(), 16, 16);
    XColor white{};
    white.red = white.green = white.blue = 0xFFFF;
    XColor black{};
    const Cursor cursor = XCreatePixmapCursor(display_, src, msk, &white, &black, 3, 5);
    XDefineCursor(display_, root, cursor);
    XFreeCursor(display_, cursor);
    XFreePixmap(display_, src);
    XFreePixmap(display_, msk);
    XSync(display_, False);
}

}  // namespace vexa::platform::testing
