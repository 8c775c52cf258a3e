#include "toolkit/stand_ins.h"

#include "toolkit/dialog_builder.h"

#include <utility>

namespace vexa::toolkit {

std::unique_ptr<Control> createStandIn(std::string_view tag) {
    static const std::pair<std::string_view, std::string_view> kBases[] = {
        {"TitleBar", "HorizontalLayout"},  {"LeftTabBar", "Container"},
        {"RecordArea", "Container"},       {"DesktopArea", "Container"},
        {"AudioArea", "Container"},        {"CameraArea", "Container"},
        {"SettingArea", "Container"},      {"LCDDigit", "Control"},
        {"SliderEx", "Slider"},            {"CheckBoxEx", "CheckBox"},
        {"FileList", "List"},              {"FileListElement", "ListContainerElement"},
        {"ShellExeBtn", "Button"},
    };
    for (const auto& [custom, base] : kBases) {
        if (custom == tag) return createStandardControl(base);
    }
    return nullptr;
}

}  // namespace vexa::toolkit
