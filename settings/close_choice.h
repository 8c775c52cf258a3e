// What the close button does, kept in two places: the settings value "close_to" (1 exit, 0 tray)
// and the ini keys "CloseWnd" ("Yes" exit, "No" tray, anything else: no opinion) and
// "ShowExitMsg" ("No": do not ask, apply the choice directly). The ini answer wins.
// Thread-safe (SettingsKey and SettingsIni are).
#pragma once

#include "settings/settings_ini.h"
#include "settings/settings_key.h"

namespace vexa::settings {

// The settings page's start-up choice: "close_to", overridden by "CloseWnd" when that is "Yes" or
// "No". Writes nothing.
[[nodiscard]] bool CloseButtonExits(const SettingsKey& key, const SettingsIni& ini);

// Stores a choice in both places ("close_to" and "CloseWnd"); failures are logged, nothing more.
void StoreCloseChoice(SettingsKey& key, SettingsIni& ini, bool exits);

// False exactly when "ShowExitMsg" is "No".
[[nodiscard]] bool AskOnClose(const SettingsIni& ini);

}  // namespace vexa::settings
