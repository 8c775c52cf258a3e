#include "ui/source_panels_common.h"

#include <string>

#include "toolkit/button.h"
#include "toolkit/paint_manager.h"

namespace vexa::ui {

Error RequireControls(toolkit::Control& panel, std::string_view panel_name,
                      std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (!toolkit::findChild(panel, name))
            return Error(ErrorCode::kNotFound,
                         std::string(panel_name) + ": control " + std::string(name) + " is missing");
    }
    return {};
}

bool IsBoxSelected(toolkit::Control& panel, std::string_view name) {
    const auto* box = dynamic_cast<const toolkit::Option*>(toolkit::findChild(panel, name));
    return box && box->isSelected();
}

}  // namespace vexa::ui
