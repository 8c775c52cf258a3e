// vexa-test-motion: moving content for the virtual display. It covers the screen with an
// override-redirect window and repaints it RATE times a second: a colour that cycles, a bar that
// sweeps across and a grid of blocks that shift, so every picture differs from the one before.
//   vexa-test-motion [--rate HZ] [--seconds S] [--still]
// --still paints one picture and then only keeps the window up (a still screen with content).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile sig_atomic_t stop_requested = 0;

void OnSignal(int) {
    stop_requested = 1;
}

unsigned long Rgb(int r, int g, int b) {
    return (static_cast<unsigned long>(r & 255) << 16) | (static_cast<unsigned long>(g & 255) << 8) |
           static_cast<unsigned long>(b & 255);
}

void Paint(Display* d, Window w, GC gc, int width, int height, long frame) {
    XSetForeground(d, gc, Rgb(static_cast<int>(frame * 7), static_cast<int>(frame * 3), 128));
    XFillRectangle(d, w, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    const int block = 60;
    for (int y = 0; y < height; y += block * 2) {
        for (int x = 0; x < width; x += block * 2) {
            const int shift = static_cast<int>((frame * 5) % block);
            XSetForeground(d, gc, Rgb(x + static_cast<int>(frame), y, x ^ y));
            XFillRectangle(d, w, gc, x + shift, y, block, block);
        }
    }
    XSetForeground(d, gc, Rgb(255, 255, 255));
    XFillRectangle(d, w, gc, static_cast<int>((frame * 16) % width), 0, 40, static_cast<unsigned>(height));
    XFlush(d);
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 30, seconds = 0;
    bool still = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            rate = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--still"))
            still = true;
        else {
            std::fprintf(stderr, "usage: vexa-test-motion [--rate HZ] [--seconds S] [--still]\n");
            return 2;
        }
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "vexa-test-motion: cannot open the display\n");
        return 1;
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    const int screen = DefaultScreen(d);
    const int width = DisplayWidth(d, screen), height = DisplayHeight(d, screen);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    const Window w = XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWOverrideRedirect, &attrs);
    XMapRaised(d, w);
    GC gc = XCreateGC(d, w, 0, nullptr);
    const auto start = std::chrono::steady_clock::now();
    const auto period = std::chrono::duration<double>(1.0 / (rate > 0 ? rate : 30));
    for (long frame = 0; !stop_requested; ++frame) {
        if (!still || frame == 0) Paint(d, w, gc, width, height, frame);
        const auto next = start + period * (frame + 1);
        std::this_thread::sleep_until(next);
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds))
            break;
    }
    XFreeGC(d, gc);
    XDestroyWindow(d, w);
    XCloseDisplay(d);
    return 0;
}
