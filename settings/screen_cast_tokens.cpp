#include "settings/screen_cast_tokens.h"

#include "settings/reg_text.h"
#include "settings/settings_catalog.h"
#include "platform/log/log.h"

namespace vexa::settings {

std::string SettingsScreenCastTokens::Load() {
    const std::optional<RegValue> value = key_.Find(settings::kScreenCastToken.name);
    if (!value || value->type != kRegSz) return {};
    std::string token = value->data;
    token.resize(token.find('\0') == std::string::npos ? token.size() : token.find('\0'));
    return token;
}

void SettingsScreenCastTokens::Save(const std::string& token) {
    log::Failure(key_.WriteString(settings::kScreenCastToken.name, token),
                 "cannot store the permission to record the screen");
}

}  // namespace vexa::settings
