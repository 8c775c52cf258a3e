// The screen-sharing portal's restore token in the settings store: the desktop asks which screen
// to share once, and later recordings present the token instead (see platform/screen).
// Ownership: the store borrows the SettingsKey, which must outlive it. Thread-safe (SettingsKey is).
#pragma once

#include <string>

#include "settings/settings_key.h"
#include "platform/screen/screen_backend.h"

namespace vexa::settings {

class SettingsScreenCastTokens final : public platform::ScreenCastTokenStore {
  public:
    explicit SettingsScreenCastTokens(SettingsKey& key) : key_(key) {}
    [[nodiscard]] std::string Load() override;
    void Save(const std::string& token) override;  // a failed write is logged

  private:
    SettingsKey& key_;
};

}  // namespace vexa::settings
