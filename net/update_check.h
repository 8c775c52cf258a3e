// The update check: report the program start to the server, ask for the newest version and, when one
// exists, make sure the updater program beside the executable is current and start it. Runs once per
// program start on the update thread (update_thread.h); the functions here block and touch no shared
// state, so they are safe on any single thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "net/http_client.h"

namespace net {

// Identity values from the ini file, filled in by the application before the check starts.
struct ClientIdentity {
    int productId = 1001;    // "soft" / "id"
    int version = 101;       // "soft" / "version", compared with the server's
    int channel = 0;         // "soft" / "channel"
    std::string campaignId;  // "soft" / "bdvid"
    std::string clientId;    // "config" / "uuid"
};

inline constexpr const char* kIniFileName = "VexaRecorder.ini";  // the updater's only argument
inline constexpr const char* kUpdaterFileName = "AutoUpdater";   // in the program folder

enum class UpdateOutcome {
    kNotConfigured,     // no server address: nothing was sent
    kQueryFailed,       // transfer or reply checks failed
    kBadReply,          // not JSON, status not "SUCCESS", or malformed members
    kUpToDate,          // the server's version is not newer
    kLaunchedPresent,   // no updater listed: the present one was started
    kUpdaterCurrent,    // the listed updater matches the present one: nothing to do
    kDownloadRejected,  // the download failed, was empty or its CRC-32 did not match
    kInstallFailed,     // writing or swapping the new updater failed
    kUpdaterReplaced,   // a new updater was swapped in and started
};

// Starts the updater with the ini file name; failures to start are ignored.
using UpdaterLauncher = std::function<void(const std::filesystem::path& updater)>;

[[nodiscard]] std::string UsageReportRequest(const ClientIdentity& identity, int type, int detail);
[[nodiscard]] std::string VersionQueryRequest(const ClientIdentity& identity);

// "baseurl" with one trailing "/" dropped, followed directly by "url".
[[nodiscard]] std::string DownloadAddress(std::string_view baseUrl, std::string_view fileUrl);

// The low 32 bits of a hexadecimal text ("0x" prefix allowed); 0 when it is not one.
[[nodiscard]] std::uint32_t ParseHexCrc(std::string_view text);

[[nodiscard]] UpdateOutcome RunUpdateCheck(const HttpClient& client, const ClientIdentity& identity,
                                           const std::filesystem::path& updater,
                                           const UpdaterLauncher& launch);

// The launcher used by the program: detached, with kIniFileName as the only argument.
void LaunchUpdater(const std::filesystem::path& updater);

}  // namespace net
