// The selection overlay's costs at 1920x1080: a mouse move (compose the changed area into the back
// buffer and copy it to the window's backing store, as the window's paint does) while hovering in
// one window, while hovering from one window to another and while dragging; and the start of a
// selection (copy of the screen, dimmed copy, first full paint).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cstdlib>
#include <random>

#include "ui/region_drawing.h"
#include "ui/sel_rgn_canvas.h"

namespace {

using namespace vexa::ui;

constexpr QSize kScreen{1920, 1080};

QImage Noise() {
    QImage picture(kScreen, QImage::Format_RGB32);
    std::mt19937 random(3);
    for (int y = 0; y < kScreen.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < kScreen.width(); ++x) row[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    }
    return picture;
}

// Shows the view and copies what changed to the backing store, as the overlay's paint does.
void Repaint(SelectionCanvas& canvas, const region::OverlayView& view, QImage& backing_store) {
    const QRegion changed = canvas.Show(view);
    QPainter painter(&backing_store);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& area : changed) painter.drawImage(area, canvas.Picture(), area);
}

QRect Region(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Moving the mouse over one window: the magnifier follows, the outline stays.
void BM_OverlayMoveWithinAWindow(benchmark::State& state) {
    SelectionCanvas canvas(Noise());
    QImage backing_store(kScreen, QImage::Format_RGB32);
    const QRect window = Region(200, 150, 1400, 950);
    Repaint(canvas, canvas.ViewFor(window, QPoint(600, 500)), backing_store);
    int x = 600;
    for (auto _ : state) {
        x = x == 600 ? 601 : 600;
        Repaint(canvas, canvas.ViewFor(window, QPoint(x, 500)), backing_store);
        benchmark::DoNotOptimize(backing_store.constBits());
    }
}
BENCHMARK(BM_OverlayMoveWithinAWindow)->Unit(benchmark::kMillisecond);

// Moving the mouse from a large window into a small one beside it and back.
void BM_OverlayMoveBetweenWindows(benchmark::State& state) {
    SelectionCanvas canvas(Noise());
    QImage backing_store(kScreen, QImage::Format_RGB32);
    const QRect large = Region(0, 0, 1279, 1039);
    const QRect small = Region(1280, 300, 1799, 699);
    bool in_large = true;
    Repaint(canvas, canvas.ViewFor(large, QPoint(1279, 500)), backing_store);
    for (auto _ : state) {
        in_large = !in_large;
        Repaint(canvas, canvas.ViewFor(in_large ? large : small, QPoint(in_large ? 1279 : 1280, 500)),
                backing_store);
        benchmark::DoNotOptimize(backing_store.constBits());
    }
}
BENCHMARK(BM_OverlayMoveBetweenWindows)->Unit(benchmark::kMillisecond);

// Dragging a large rectangle one pixel further each move.
void BM_OverlayDragOnePixel(benchmark::State& state) {
    SelectionCanvas canvas(Noise());
    QImage backing_store(kScreen, QImage::Format_RGB32);
    const QPoint anchor(100, 80);
    int x = 1500;
    Repaint(canvas, canvas.ViewFor(Region(100, 80, x, 900), QPoint(x, 900)), backing_store);
    for (auto _ : state) {
        x = x == 1500 ? 1501 : 1500;
        Repaint(canvas, canvas.ViewFor(Region(anchor.x(), anchor.y(), x, 900), QPoint(x, 900)),
                backing_store);
        benchmark::DoNotOptimize(backing_store.constBits());
    }
}
BENCHMARK(BM_OverlayDragOnePixel)->Unit(benchmark::kMillisecond);

// The start of a selection: the screen copied through the capture layer, dimmed, painted whole.
void BM_OverlayStart(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    QImage backing_store(kScreen, QImage::Format_RGB32);
    for (auto _ : state) {
        vexa::Result<QImage> snapshot = region::GrabScreen(kScreen);
        if (!snapshot.ok()) {
            state.SkipWithError(snapshot.error().message().c_str());
            return;
        }
        SelectionCanvas canvas(std::move(snapshot).value());
        Repaint(canvas, canvas.ViewFor(Region(300, 200, 1100, 700), QPoint(700, 450)), backing_store);
        benchmark::DoNotOptimize(backing_store.constBits());
    }
}
BENCHMARK(BM_OverlayStart)->Unit(benchmark::kMillisecond);

// Its parts: the copy of the screen alone, and the dimming with the first full paint.
void BM_OverlayStartScreenCopy(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    for (auto _ : state) {
        vexa::Result<QImage> snapshot = region::GrabScreen(kScreen);
        if (!snapshot.ok()) {
            state.SkipWithError(snapshot.error().message().c_str());
            return;
        }
        benchmark::DoNotOptimize(snapshot.value().constBits());
    }
}
BENCHMARK(BM_OverlayStartScreenCopy)->Unit(benchmark::kMillisecond);

void BM_OverlayStartDimAndPaint(benchmark::State& state) {
    const QImage snapshot = Noise();
    QImage backing_store(kScreen, QImage::Format_RGB32);
    for (auto _ : state) {
        SelectionCanvas canvas(snapshot);
        Repaint(canvas, canvas.ViewFor(Region(300, 200, 1100, 700), QPoint(700, 450)), backing_store);
        benchmark::DoNotOptimize(backing_store.constBits());
    }
}
BENCHMARK(BM_OverlayStartDimAndPaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
