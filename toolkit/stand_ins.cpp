#include "toolkit/stand_ins.h"

#include "toolkit/dialog_builder.h"
#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

#include <QPainter>

#include <utility>

namespace vexa::toolkit {

namespace {

// Shows digit 0 from the 16 x 22 cells of its strip, as the application's digit does.
class StandInDigit : public Control {
  protected:
    void paintBkImage(QPainter& painter) override {
        const ImageSpec* spec = manager() ? manager()->imageSpec(bkImage()) : nullptr;
        const QImage* image = spec ? manager()->image(spec->file) : nullptr;
        if (!image) return;
        ImageSpec cell = *spec;
        cell.source = QRect(0, 0, 16, 22);
        cell.dest = QRect(0, 5, 16, 22);
        toolkit::drawImage(painter, *image, cell, rect());
    }
};

}  // namespace

std::unique_ptr<Control> createStandIn(std::string_view tag) {
    static const std::pair<std::string_view, std::string_view> kBases[] = {
        {"TitleBar", "HorizontalLayout"},
        {"LeftTabBar", "Container"},
        {"RecordArea", "Container"},
        {"DesktopArea", "Container"},
        {"AudioArea", "Container"},
        {"CameraArea", "Container"},
        {"SettingArea", "Container"},
        {"SliderEx", "Slider"},
        {"CheckBoxEx", "CheckBox"},
        {"FileList", "List"},
        {"FileListElement", "ListContainerElement"},
        {"ShellExeBtn", "Button"},
    };
    if (tag == "LCDDigit") return std::make_unique<StandInDigit>();
    for (const auto& [custom, base] : kBases) {
        if (custom == tag) return createStandardControl(base);
    }
    return nullptr;
}

}  // namespace vexa::toolkit
