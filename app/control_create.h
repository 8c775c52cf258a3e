// CControlCreate: the dialog builder's callback for the main window's layouts. It creates the
// program's own controls for their tags (pages, panels and the small controls) and declines every
// other tag, which the toolkit then builds itself. Pages register themselves as the process's one
// instance when they are created. User-interface thread only.
#pragma once

#include <memory>
#include <string_view>

#include "toolkit/control.h"

namespace vexa::app {

[[nodiscard]] std::unique_ptr<toolkit::Control> CControlCreate(std::string_view tag);

}  // namespace vexa::app
