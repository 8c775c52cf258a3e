// skin-preview LAYOUT OUT.png [SKIN.zip]: renders a layout of the skin to a PNG without a display,
// its texts in the language of the locale (catalogues from $VEXA_LOCALEDIR).
// Custom tags become the toolkit controls they extend. Row templates are drawn at their fixed
// size with the fonts of "MainWnd.xml".
#include "toolkit/container.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_archive.h"
#include "toolkit/stand_ins.h"
#include "toolkit/translate.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace vexa::toolkit;

vexa::Result<std::shared_ptr<SkinArchive>> openSkin(const char* path) {
    if (!path) return SkinArchive::openEmbedded();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return vexa::Error(vexa::ErrorCode::kIo,
                           std::string("cannot read ") + path + ": " + file.errorString().toStdString());
    }
    const QByteArray bytes = file.readAll();
    return SkinArchive::openCopy(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// Row templates have no <Window>; their size comes from their root control.
QSize rowSize(const Control& root) {
    return QSize(
        root.fixedWidth() > 0 ? root.fixedWidth() + root.padding().left() + root.padding().right() : 400,
        root.fixedHeight() > 0 ? root.fixedHeight() : 40);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: skin-preview LAYOUT OUT.png [SKIN.zip]\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    // The texts in the language of the locale, as the program shows them.
    if (const vexa::Error e =
            InitTranslation(TranslationLanguages(LocaleVariables::FromEnvironment()), LocaleDirectory());
        !e.ok())
        std::fprintf(stderr, "skin-preview: %s\n", e.message().c_str());

    const auto skin = openSkin(argc == 4 ? argv[3] : nullptr);
    if (!skin.ok()) {
        std::fprintf(stderr, "skin-preview: %s\n", skin.error().message().c_str());
        return 1;
    }
    const std::string layout = argv[1];
    PaintManager manager(skin.value());
    if (layout != "MainWnd.xml") {
        PaintManager fontSource(skin.value());  // declares the fonts the row templates use
        if (buildLayout("MainWnd.xml", fontSource, createStandIn).ok()) manager.fonts() = fontSource.fonts();
    }
    auto built = buildLayout(layout, manager, createStandIn);
    if (!built.ok()) {
        std::fprintf(stderr, "skin-preview: %s\n", built.error().message().c_str());
        return 1;
    }
    std::unique_ptr<Control> root = std::move(built).value();
    const QSize size = manager.windowInfo().size.isEmpty() ? rowSize(*root) : manager.windowInfo().size;
    if (manager.windowInfo().size.isEmpty()) {
        // Rows sit in a list; show them over the window background with their padding.
        auto frame = std::make_unique<VerticalLayout>();
        frame->setBkColor(QColor(0x2A, 0x2A, 0x2A));
        frame->add(std::move(root));
        root = std::move(frame);
    }
    manager.attach(std::move(root));
    manager.setClientSize(size);
    const QImage image = manager.render();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "skin-preview: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
