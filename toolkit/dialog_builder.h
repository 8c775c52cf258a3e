// DialogBuilder: turns a layout of the skin into a control tree. Each tag is first offered to the
// caller's factory (the CreateControl callback); tags it declines become toolkit controls. A window
// layout's <Window>, <Font> and <Default> elements configure the paint manager; row templates
// (a control as root) can be built as often as needed.
// Thread-safety: user-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/control.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vexa::toolkit {

class PaintManager;

// Returns a new control for `tag`, or null to let the toolkit build its own.
using CreateControlFn = std::function<std::unique_ptr<Control>(std::string_view tag)>;

// A toolkit control for a standard tag ("Button", "VerticalLayout", ...); null for other tags.
[[nodiscard]] std::unique_ptr<Control> createStandardControl(std::string_view tag);

// Builds the layout file `layoutName` of the manager's skin. Errors name the layout and the fault:
// kNotFound for a missing layout, kIo for a damaged archive entry, kInvalidArgument for malformed
// XML or a tag the toolkit cannot build ("MainWnd.xml line 12: unknown control tag <Bogus>").
[[nodiscard]] Result<std::unique_ptr<Control>> buildLayout(const std::string& layoutName,
                                                           PaintManager& manager,
                                                           const CreateControlFn& createControl);
// The same from layout text; `documentName` names it in error messages.
[[nodiscard]] Result<std::unique_ptr<Control>> buildLayoutText(std::string_view xml, PaintManager& manager,
                                                               const CreateControlFn& createControl,
                                                               std::string_view documentName = "layout");

}  // namespace vexa::toolkit
