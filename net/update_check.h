// The update check: report the program start to the server, ask for the newest version and, when one
// exists, make sure the updater program beside the executable is current and start it. Runs once per
// program start on the update thread (update_thread.h); the functions here block and touch no shared
// state besides the log, so they are safe on any single thread.
//
// Trust: the reply's signature covers only a CRC-32 of its body, which an attacker on the path can
// match, so a file is fetched and started only when the base address and the download address are
// both https (certificates checked). Over plain http a verified reply is read and its version logged,
// and nothing is downloaded, installed or run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "platform/error.h"

namespace vexa::net {

// Identity values from the ini file, filled in by the application before the check starts.
struct ClientIdentity {
    int productId = 1001;    // "soft" / "id"
    int version = 101;       // "soft" / "version", compared with the server's
    int channel = 0;         // "soft" / "channel"
    std::string campaignId;  // "soft" / "bdvid"
    std::string clientId;    // "config" / "uuid"
};

inline constexpr const char* kUpdaterFileName = "AutoUpdater";  // in the program folder
inline constexpr std::size_t kMaxUpdaterBytes = std::size_t{256} << 20;

struct UpdaterPaths {
    std::filesystem::path updater;  // the program folder followed by kUpdaterFileName
    std::filesystem::path ini;      // the settings file in use: the updater's only argument
};

enum class UpdateOutcome {
    kNotConfigured,     // no server address: nothing was sent
    kQueryFailed,       // transfer or reply checks failed
    kBadReply,          // unsigned, not JSON, status not "SUCCESS", or malformed members
    kUpToDate,          // the server's version is not newer
    kNotOverHttps,      // newer, but the reply or the download would not come over https: nothing run
    kLaunchedPresent,   // no updater listed: the present one was started
    kUpdaterCurrent,    // the listed updater matches the present one: nothing to do
    kDownloadRejected,  // the download failed, was empty or its CRC-32 did not match
    kInstallFailed,     // writing or swapping the new updater failed
    kUpdaterReplaced,   // a new updater was swapped in and started
};

struct UpdateResult {
    UpdateOutcome outcome = UpdateOutcome::kNotConfigured;
    vexa::Error error;  // the cause of a failure (also logged); ok otherwise
};

// The members of a version reply that the check acts on.
struct VersionReply {
    std::int64_t version = 0;
    struct Updater {
        std::string address;  // DownloadAddress("baseurl", "url")
        std::uint32_t crc = 0;
    };
    std::optional<Updater> updater;  // the first entry named "AutoUpdater.exe" or "autoupdater.exe"
};

// Reads a version reply. Fails, and never throws, on text that is not a JSON object, a status other
// than "SUCCESS", a version that is not an integer within 64 bits, or members of the wrong type.
[[nodiscard]] vexa::Result<VersionReply> ParseVersionReply(std::string_view text);

// Starts the updater; the check logs a failure and goes on.
using UpdaterLauncher = std::function<vexa::Error(const UpdaterPaths& paths)>;

// Query values are percent-encoded, so an identity value can never add a parameter.
[[nodiscard]] std::string UsageReportRequest(const ClientIdentity& identity, int type, int detail);
[[nodiscard]] std::string VersionQueryRequest(const ClientIdentity& identity);

// "baseurl" with one trailing "/" dropped, followed directly by "url".
[[nodiscard]] std::string DownloadAddress(std::string_view baseUrl, std::string_view fileUrl);

// The low 32 bits of a hexadecimal text ("0x" prefix allowed); 0 when it is not one.
[[nodiscard]] std::uint32_t ParseHexCrc(std::string_view text);

// Every failure is written to the log with its cause.
[[nodiscard]] UpdateResult RunUpdateCheck(const HttpClient& client, const ClientIdentity& identity,
                                          const UpdaterPaths& paths, const UpdaterLauncher& launch);

// The launcher used by the program: detached, with the ini path as the only argument.
[[nodiscard]] vexa::Error LaunchUpdater(const UpdaterPaths& paths);

}  // namespace vexa::net
