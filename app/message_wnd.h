// CCMessageWnd: the exit prompt ("MessageWnd.xml"), shown modally over the main window when the
// close button is pressed: minimise to the tray or exit, and "不再提示" to stop asking. OK stores
// the answer in the ini ("CloseWnd", "ShowExitMsg") and posts MSG_EXIT_OR_TRAY (wparam 1 exit,
// 0 tray) to the owner; Cancel and the close button change nothing.
// Owned by whoever runs it (the main window, on its stack); user-interface thread only.
#pragma once

#include "toolkit/window.h"

namespace vexa::settings {
class SettingsIni;
}  // namespace vexa::settings

namespace vexa::app {

inline constexpr std::uint32_t kMsgExitOrTray = toolkit::kUserMessage + 101;

class CCMessageWnd final : public toolkit::Window, public toolkit::NotifyReceiver {
  public:
    explicit CCMessageWnd(settings::SettingsIni& ini) : ini_(ini) {}
    [[nodiscard]] std::string windowClassName() const override { return "MessageWnd"; }
    bool onCreate() override;
    void notify(toolkit::Notification& notification) override;

  private:
    settings::SettingsIni& ini_;
};

}  // namespace vexa::app
