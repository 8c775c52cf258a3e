// Shell: what the pages and windows of the recorder need from the main window — the settings store
// and the ini, the device lists built at start-up, the primary screen's size, the main window
// itself (owner of pop-ups, its enabled state, showing and hiding it) and the global-hotkey
// service. The main window implements it and registers itself for the life of the process's one
// main window; pages reach it through Shell::Get(). Tests register a shell of their own.
// Thread-safety: user-interface thread only.
#pragma once

#include <QSize>

#include "ui/device_lists.h"

namespace vexa::settings {
class SettingsKey;
class SettingsIni;
}  // namespace vexa::settings
namespace vexa::toolkit {
class Window;
}  // namespace vexa::toolkit
namespace vexa::desktop {
class HotkeyService;
}  // namespace vexa::desktop

namespace vexa::ui {

class Shell {
  public:
    virtual ~Shell() = default;

    // The registered shell; null before the main window exists and after it is gone.
    [[nodiscard]] static Shell* Get();

    [[nodiscard]] virtual settings::SettingsKey& Settings() = 0;
    [[nodiscard]] virtual settings::SettingsIni& Ini() = 0;
    [[nodiscard]] virtual const DeviceLists& Devices() const = 0;
    // The primary screen in physical pixels, as the screen capture sees it.
    [[nodiscard]] virtual QSize ScreenSize() const = 0;
    [[nodiscard]] virtual toolkit::Window& MainWindow() = 0;
    // Null when no hotkey service could be had (no X display); hotkeys then stay unregistered.
    [[nodiscard]] virtual desktop::HotkeyService* Hotkeys() = 0;

  protected:
    // The implementation registers itself when it is ready and unregisters before it goes.
    static void Register(Shell* shell);
    static void Unregister(Shell* shell);
};

}  // namespace vexa::ui
