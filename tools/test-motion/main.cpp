// vexa-test-motion: moving content for the virtual display. It covers the screen with an
// override-redirect window and repaints it RATE times a second: a colour that cycles, a bar that
// sweeps across and a grid of blocks that shift, so every picture differs from the one before.
//   vexa-test-motion [--rate HZ] [--seconds S] [--still | --numbered]
// --still paints one picture and then only keeps the window up (a still screen with content).
// --numbered is a light scroll whose pictures can be counted in a recording: each picture moves a
// pattern of coloured blocks up by kScrollStep rows with one XCopyArea, paints the new rows, and
// stamps the picture's number as a bar code into a band at the top and one at the bottom
// (bench/screen/count_pictures.py reads them). Bar code: kCells cells of width/kCells pixels over
// the band's kBandHeight rows, white for 1 and black for 0: a white start cell, a black one, the
// number's 16 bits from the highest, their parity, a black end cell.
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

constexpr int kBandHeight = 32;
constexpr int kCells = 20;
constexpr int kScrollStep = 8;

// Paints rows [y, y + kScrollStep) of the scrolling pattern: blocks whose colours follow the row.
void PaintStrip(Display* d, Window w, GC gc, int width, int y, long row) {
    const int block = 64;
    for (int x = 0; x < width; x += block) {
        const unsigned long h =
            static_cast<unsigned long>(row) * 2654435761u ^ static_cast<unsigned long>(x) * 40503u;
        XSetForeground(d, gc,
                       Rgb(static_cast<int>(h >> 3), static_cast<int>(h >> 11), static_cast<int>(h >> 19)));
        XFillRectangle(d, w, gc, x, y, block, kScrollStep);
    }
}

void StampNumber(Display* d, Window w, GC gc, int width, int y, long number) {
    const int cell = width / kCells;
    int bits[kCells] = {1, 0};
    int parity = 0;
    for (int i = 0; i < 16; ++i) {
        bits[2 + i] = static_cast<int>((number >> (15 - i)) & 1);
        parity ^= bits[2 + i];
    }
    bits[18] = parity;
    bits[19] = 0;
    for (int i = 0; i < kCells; ++i) {
        XSetForeground(d, gc, bits[i] ? Rgb(255, 255, 255) : Rgb(0, 0, 0));
        XFillRectangle(d, w, gc, i * cell, y, static_cast<unsigned>(cell), kBandHeight);
    }
}

// One picture of the numbered scroll; the first paints the whole pattern.
void PaintNumbered(Display* d, Window w, GC gc, int width, int height, long frame) {
    const int top = kBandHeight, bottom = height - kBandHeight;
    if (frame == 0) {
        for (int y = top; y + kScrollStep <= bottom; y += kScrollStep)
            PaintStrip(d, w, gc, width, y, y / kScrollStep);
    } else {
        XCopyArea(d, w, w, gc, 0, top + kScrollStep, static_cast<unsigned>(width),
                  static_cast<unsigned>(bottom - top - kScrollStep), 0, top);
        PaintStrip(d, w, gc, width, bottom - kScrollStep, (bottom - top) / kScrollStep + frame);
    }
    StampNumber(d, w, gc, width, 0, frame);
    StampNumber(d, w, gc, width, bottom, frame);
    XFlush(d);
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 30, seconds = 0;
    bool still = false, numbered = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            rate = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--still"))
            still = true;
        else if (!std::strcmp(argv[i], "--numbered"))
            numbered = true;
        else {
            std::fprintf(stderr,
                         "usage: vexa-test-motion [--rate HZ] [--seconds S] [--still | --numbered]\n");
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
        if (numbered) {
            PaintNumbered(d, w, gc, width, height, frame);
        } else if (!still || frame == 0) {
            Paint(d, w, gc, width, height, frame);
        }
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
