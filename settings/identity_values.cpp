#include "settings/identity_values.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>

#include "platform/log/log.h"

namespace vexa::settings {

namespace {

constexpr std::string_view kUrlSafeAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::size_t kIdLength = 16;
constexpr std::size_t kIdBuffer = 20;      // the stored identifier is read with room for 19 characters
constexpr std::size_t kBdvidBuffer = 512;  // the campaign id may be up to 511 characters

Error FillRandom(uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::getrandom(bytes, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Error::FromErrno(errno, "cannot get random bytes");
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return {};
}

// A write that fails leaves the value in memory for this run; the log says why.
void WriteOrLog(SettingsIni& ini, std::string_view section, std::string_view key, const std::string& value) {
    log::Failure(ini.WriteString(section, key, value), "cannot store the identity value " + std::string(key));
}

// An ini integer of 0 or less takes its default, which is written at once.
int WithDefault(SettingsIni& ini, std::string_view key, int fallback) {
    const int value = ini.GetInt("soft", key);
    if (value > 0) return value;
    WriteOrLog(ini, "soft", key, std::to_string(fallback));
    return fallback;
}

}  // namespace

bool IsAcceptedInstallationId(std::string_view id) {
    return id.size() == kIdLength && id.find_first_not_of(kUrlSafeAlphabet) == std::string_view::npos;
}

Result<std::string> MakeInstallationId() {
    std::array<uint8_t, kIdLength * 3 / 4> bytes{};
    if (Error filled = FillRandom(bytes.data(), bytes.size()); !filled.ok()) return filled;
    std::string id;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t group = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) id += kUrlSafeAlphabet[group >> shift & 63];
    }
    return id;
}

IdentityValues LoadIdentityValues(SettingsIni& ini) {
    IdentityValues values;
    values.id = WithDefault(ini, "id", kDefaultProductId);
    values.version = WithDefault(ini, "version", kDefaultVersion);
    values.channel = ini.GetInt("soft", "channel");
    values.uuid = ini.GetString("config", "uuid", kIdBuffer);
    if (!IsAcceptedInstallationId(values.uuid)) {
        Result<std::string> made = MakeInstallationId();
        log::Failure(made.error(), "cannot make an installation identifier");
        values.uuid = made.ok() ? std::move(*made) : std::string();
        if (!values.uuid.empty()) WriteOrLog(ini, "config", "uuid", values.uuid);
    }
    values.bdvid = ini.GetString("soft", "bdvid", kBdvidBuffer);
    return values;
}

}  // namespace vexa::settings
