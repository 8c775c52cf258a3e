#include "ui/small_controls.h"

#include <system_error>
#include <thread>

#include "platform/desktop/shell_open.h"
#include "platform/log/log.h"

namespace vexa::ui {

bool CShellExeBtn::activate() {
    if (!toolkit::Button::activate()) return false;
    auto open = [](const std::string& target) {
        if (Error error = desktop::OpenWithDefaultApplication(target); !error.ok())
            log::Failure(error, "opening " + target);
    };
    // The launch may block on a slow desktop; the thread owns its copy of the target. Without a
    // thread the call runs here.
    try {
        std::thread(open, userData()).detach();
    } catch (const std::system_error&) {
        open(userData());
    }
    return true;
}

}  // namespace vexa::ui
