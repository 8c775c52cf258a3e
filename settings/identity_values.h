// The identity values of the ini file, read once when the main window is constructed and sent to
// the vendor's server: product id, version, channel, campaign id and the installation identifier.
// Missing ones get their start-up defaults, which are written at once; when the file cannot be
// written the defaults still hold in memory for this run (the failure is logged).
// Thread-safe (no shared state besides the file, which SettingsIni guards).
#pragma once

#include <string>
#include <string_view>

#include "settings/settings_ini.h"
#include "platform/error.h"

namespace vexa::settings {

struct IdentityValues {
    int id = 0;
    int version = 0;
    int channel = 0;
    std::string bdvid;
    std::string uuid;  // empty only when no random bytes could be had
};

inline constexpr int kDefaultProductId = 1001;
inline constexpr int kDefaultVersion = 101;

[[nodiscard]] IdentityValues LoadIdentityValues(SettingsIni& ini);

// 16 characters of the URL-safe Base64 alphabet (A-Z a-z 0-9 - _).
[[nodiscard]] bool IsAcceptedInstallationId(std::string_view id);

// A new identifier from 12 bytes of the kernel's cryptographic random source; fails when the
// source does.
[[nodiscard]] Result<std::string> MakeInstallationId();

}  // namespace vexa::settings
