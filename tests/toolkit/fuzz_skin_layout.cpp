// libFuzzer target: the same bytes read as a skin archive and as a layout, built into a control
// tree, laid out and painted. Nothing may crash, hang or leak, whatever the input.
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_archive.h"
#include "toolkit/stand_ins.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

// Qt's font engines keep fontconfig patterns in process-wide caches that outlive one input.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    // Fontconfig and Qt's font database keep process-wide caches; fill them before the runs so
    // the leak check sees only what one input leaves behind.
    vexa::toolkit::PaintManager warmUp(nullptr);
    auto label = vexa::toolkit::buildLayoutText("<Label text='\xE4\xB8\xAD abc'/>", warmUp, nullptr);
    if (label.ok()) warmUp.attach(std::move(label).value());
    warmUp.setClientSize(QSize(100, 20));
    (void)warmUp.render();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vexa::toolkit;
    if (size > 64 * 1024) return 0;  // the skin's own files are far smaller
    if (auto skin = SkinArchive::openCopy(std::vector<std::uint8_t>(data, data + size)); skin.ok()) {
        for (const auto& name : skin.value()->zip().names()) {
            (void)skin.value()->image(name);
            if (auto layout = skin.value()->layout(name); !layout.ok() && layout.error().message().empty())
                std::abort();  // every failure names its reason
        }
    }
    PaintManager manager(nullptr);
    auto root =
        buildLayoutText(std::string_view(reinterpret_cast<const char*>(data), size), manager, createStandIn);
    if (!root.ok()) return 0;
    manager.attach(std::move(root).value());
    manager.setClientSize(QSize(320, 200));
    (void)manager.render();
    manager.mouseMove(QPoint(10, 10));
    manager.buttonDown(QPoint(10, 10));
    manager.buttonUp(QPoint(10, 10));
    return 0;
}
