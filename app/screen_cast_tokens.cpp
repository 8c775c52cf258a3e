#include "app/screen_cast_tokens.h"

#include <vector>

#include "app/reg_text.h"
#include "app/settings_catalog.h"
#include "platform/log/log.h"

namespace vexa::app {

std::string SettingsScreenCastTokens::Load() {
    std::vector<uint8_t> data;
    uint32_t size = 0;
    uint32_t type = 0;
    if (ReadRegValue(key_, settings::kScreenCastToken.name, &data, &size, &type) != kErrorSuccess ||
        type != kRegSz)
        return {};
    std::string token(data.begin(), data.end());
    token.resize(token.find('\0') == std::string::npos ? token.size() : token.find('\0'));
    return token;
}

void SettingsScreenCastTokens::Save(const std::string& token) {
    log::Failure(key_.WriteString(settings::kScreenCastToken.name, token),
                 "cannot store the permission to record the screen");
}

}  // namespace vexa::app
