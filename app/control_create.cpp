#include "app/control_create.h"

#include <type_traits>

#include "app/left_tab_bar.h"
#include "ui/small_controls.h"
#include "app/title_bar.h"
#include "toolkit/dialog_builder.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/file_list.h"
#include "ui/lcd_digit.h"
#include "ui/record_area.h"
#include "ui/setting_area.h"

namespace vexa::app {
namespace {

// The source panels take this same factory, for the rows they build from item layouts.
template <class T>
std::unique_ptr<toolkit::Control> Make() {
    if constexpr (std::is_constructible_v<T, toolkit::CreateControlFn>)
        return std::make_unique<T>(CControlCreate);
    else
        return std::make_unique<T>();
}

struct Entry {
    std::string_view tag;
    std::unique_ptr<toolkit::Control> (*make)();
};

constexpr Entry kControls[] = {
    {"TitleBar", Make<CTitleBar>},           {"LeftTabBar", Make<CLeftTabBar>},
    {"RecordArea", Make<ui::CRecordArea>},   {"DesktopArea", Make<ui::CDesktopArea>},
    {"AudioArea", Make<ui::CAudioArea>},     {"CameraArea", Make<ui::CCameraArea>},
    {"SettingArea", Make<ui::CSettingArea>}, {"LCDDigit", Make<ui::CLCDDigit>},
    {"SliderEx", Make<ui::CSliderEx>},       {"CheckBoxEx", Make<ui::CCheckBoxEx>},
    {"FileList", Make<ui::CFileList>},       {"FileListElement", Make<ui::CFileListElement>},
    {"ShellExeBtn", Make<ui::CShellExeBtn>},
};

}  // namespace

std::unique_ptr<toolkit::Control> CControlCreate(std::string_view tag) {
    for (const Entry& entry : kControls) {
        if (entry.tag == tag) return entry.make();
    }
    return nullptr;
}

}  // namespace vexa::app
