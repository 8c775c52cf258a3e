// Paint and build costs of the main window layout, drawn offscreen into a window-sized image, and the
// cost of reading the layout from the archive.
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_archive.h"
#include "toolkit/stand_ins.h"
#include "toolkit/xml_parser.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cstdlib>

namespace {

using namespace vexa::toolkit;

std::shared_ptr<SkinArchive> skin() {
    static const auto archive = SkinArchive::openEmbedded();
    if (!archive.ok()) std::abort();
    return archive.value();
}

std::unique_ptr<PaintManager> mainWindow() {
    auto manager = std::make_unique<PaintManager>(skin());
    auto root = buildLayout("MainWnd.xml", *manager, createStandIn);
    if (!root.ok()) std::abort();
    manager->attach(std::move(root).value());
    manager->setClientSize(manager->windowInfo().size);
    manager->updateLayout();
    return manager;
}

void BM_MainWindowFullRepaint(benchmark::State& state) {
    auto manager = mainWindow();
    QImage target(manager->clientSize(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        manager->paint(painter, QRect(QPoint(0, 0), manager->clientSize()));
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_MainWindowFullRepaint)->Unit(benchmark::kMillisecond);

void BM_ButtonHoverRepaint(benchmark::State& state) {
    auto manager = mainWindow();
    QImage target(manager->clientSize(), QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&target);
        manager->paint(painter, QRect(QPoint(0, 0), manager->clientSize()));
    }
    const Control* button = manager->findControl("start_stop_btn");
    if (!button) std::abort();
    const QPoint inside = button->rect().center();
    const QPoint outside(2, 300);
    bool hot = false;
    for (auto _ : state) {
        // Enter or leave the button, then repaint only what that invalidated.
        hot = !hot;
        manager->mouseMove(hot ? inside : outside);
        const QRect dirty = manager->dirtyRect();
        QPainter painter(&target);
        painter.setClipRect(dirty);
        manager->paint(painter, dirty);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ButtonHoverRepaint)->Unit(benchmark::kMicrosecond);

void BM_BuildMainWnd(benchmark::State& state) {
    for (auto _ : state) {
        PaintManager manager(skin());
        auto root = buildLayout("MainWnd.xml", manager, createStandIn);
        benchmark::DoNotOptimize(root.ok());
    }
}
BENCHMARK(BM_BuildMainWnd)->Unit(benchmark::kMillisecond);

// Inflating and reading the layout, which a window's first build pays (later builds reuse it).
void BM_ReadMainWndLayout(benchmark::State& state) {
    for (auto _ : state) {
        auto text = skin()->layout("MainWnd.xml");
        if (!text.ok()) std::abort();
        auto document = parseXml(text.value(), "MainWnd.xml");
        benchmark::DoNotOptimize(document.ok());
    }
}
BENCHMARK(BM_ReadMainWndLayout)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
