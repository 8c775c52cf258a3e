#include "app/message_wnd.h"

#include "settings/settings_ini.h"
#include "platform/log/log.h"
#include "toolkit/button.h"
#include "toolkit/dialog_builder.h"

namespace vexa::app {

bool CCMessageWnd::onCreate() {
    Result<std::unique_ptr<toolkit::Control>> root =
        toolkit::buildLayout("MessageWnd.xml", paintManager(), {});
    if (!root.ok()) {
        log::Failure(root.error(), "exit prompt");
        return false;
    }
    paintManager().attach(std::move(root).value());
    paintManager().addNotifier(this);
    applyWindowInfo();
    auto* to_exit = paintManager().find<toolkit::Option>("optClose");
    auto* to_tray = paintManager().find<toolkit::Option>("optMin");
    if (!to_exit || !to_tray || !paintManager().find<toolkit::CheckBox>("chkPrompt")) {
        log::Failure(Error(ErrorCode::kNotFound, "MessageWnd.xml lacks optClose, optMin or chkPrompt"),
                     "exit prompt");
        return false;
    }
    (ini_.GetString("soft", "CloseWnd") == "Yes" ? to_exit : to_tray)->setSelected(true, false);
    return true;
}

void CCMessageWnd::notify(toolkit::Notification& n) {
    if (n.type != "click" || !n.sender) return;
    const std::string& name = n.sender->name();
    if (name == "btnCancel" || name == "closebtn") {
        postMessage({toolkit::kCloseMessage, 0, 0});
        return;
    }
    if (name != "btnOK") return;
    const auto* do_not_ask = paintManager().find<toolkit::CheckBox>("chkPrompt");
    const auto* to_exit = paintManager().find<toolkit::Option>("optClose");
    if (!do_not_ask || !to_exit) return;  // checked at creation
    if (do_not_ask->isChecked())
        log::Failure(ini_.WriteString("soft", "ShowExitMsg", "No"),
                     "exit prompt: cannot store \"do not ask\"");
    const bool exits = to_exit->isSelected();
    log::Failure(ini_.WriteString("soft", "CloseWnd", exits ? "Yes" : "No"),
                 "exit prompt: cannot store the choice");
    postMessage({toolkit::kCloseMessage, 0, 0});
    hide();
    if (owner()) owner()->postMessage({kMsgExitOrTray, exits ? 1u : 0u, 0});
}

}  // namespace vexa::app
