// What the three source panels share while they are built: finding their fixed controls by name.
// User-interface thread only.
#pragma once

#include <initializer_list>
#include <string_view>

#include "platform/error.h"
#include "toolkit/control.h"

namespace vexa::ui {

// kNotFound naming the first of `names` that `panel` lacks; success when all are there.
[[nodiscard]] Error RequireControls(toolkit::Control& panel, std::string_view panel_name,
                                    std::initializer_list<std::string_view> names);

// Whether the check box `name` inside `panel` exists and is selected.
[[nodiscard]] bool IsBoxSelected(toolkit::Control& panel, std::string_view name);

}  // namespace vexa::ui
