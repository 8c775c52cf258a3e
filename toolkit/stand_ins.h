// Stand-ins for the application's custom tags, used where the application's factory is absent
// (skin preview, tests, benchmarks): each custom tag becomes the toolkit base it extends.
// Thread-safety: pure function.
#pragma once

#include "toolkit/control.h"

#include <memory>
#include <string_view>

namespace vexa::toolkit {

[[nodiscard]] std::unique_ptr<Control> createStandIn(std::string_view tag);

}  // namespace vexa::toolkit
