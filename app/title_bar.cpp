#include "app/title_bar.h"

#include "toolkit/paint_manager.h"
#include "toolkit/window.h"

namespace vexa::app {
namespace {}  // namespace

CTitleBar::CTitleBar() {}

CTitleBar::~CTitleBar() {}

Error CTitleBar::Init() {
    icon_ = toolkit::findChild(*this, "main_icon");
    minimize_ = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "main_minbtn"));
    close_ = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "main_closebtn"));
    if (!icon_ || !minimize_ || !close_)
        return Error(ErrorCode::kNotFound, "title bar: main_icon, main_minbtn or main_closebtn is missing");
    minimize_->addNotifyHandler([this](toolkit::Notification& n) {
        if (n.type == "click" && manager() && manager()->window()) manager()->window()->minimize();
        return true;
    });
    close_->addNotifyHandler([this](toolkit::Notification& n) {
        if (n.type == "click" && manager() && manager()->window())
            manager()->window()->postMessage({toolkit::kCloseMessage, 0, 0});
        return true;
    });
    return {};
}

}  // namespace vexa::app
