#include "settings/close_choice.h"

#include "settings/settings_catalog.h"
#include "platform/log/log.h"

namespace vexa::settings {

bool CloseButtonExits(const SettingsKey& key, const SettingsIni& ini) {
    const std::string answer = ini.GetString("soft", "CloseWnd");
    if (answer == "Yes") return true;
    if (answer == "No") return false;
    return ReadSetting(key, settings::kCloseTo) == 1;
}

void StoreCloseChoice(SettingsKey& key, SettingsIni& ini, bool exits) {
    StoreSetting(key, settings::kCloseTo, exits ? 1 : 0);
    log::Failure(ini.WriteString("soft", "CloseWnd", exits ? "Yes" : "No"), "cannot store the close choice");
}

bool AskOnClose(const SettingsIni& ini) {
    return ini.GetString("soft", "ShowExitMsg") != "No";
}

}  // namespace vexa::settings
