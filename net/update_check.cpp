#include "net/update_check.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include <json/json.h>

#include "net/crc32.h"
#include "net/detached_launch.h"
#include "net/updater_file.h"

namespace net {
namespace {

constexpr int kReportTypeStart = 6;

std::optional<Json::Value> ParseJson(std::string_view text) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, nullptr) || !root.isObject()) {
        return std::nullopt;
    }
    return root;
}

// The first entry named exactly "AutoUpdater.exe" or "autoupdater.exe", or null.
const Json::Value* FindUpdaterEntry(const Json::Value& files) {
    for (const auto& entry : files) {
        if (!entry.isObject() || !entry["name"].isString()) continue;
        const std::string name = entry["name"].asString();
        if (name == "AutoUpdater.exe" || name == "autoupdater.exe") return &entry;
    }
    return nullptr;
}

UpdateOutcome RefreshUpdater(const HttpClient& client, const Json::Value& reply, const Json::Value& entry,
                             const std::filesystem::path& updater, const UpdaterLauncher& launch) {
    if (!reply["baseurl"].isString() || !entry["url"].isString() || !entry["crc32"].isString()) {
        return UpdateOutcome::kBadReply;
    }
    const std::string address = DownloadAddress(reply["baseurl"].asString(), entry["url"].asString());
    const std::uint32_t expected = ParseHexCrc(entry["crc32"].asString());
    if (expected == FileCrc32OrZero(updater)) return UpdateOutcome::kUpdaterCurrent;

    auto download = client.Fetch(address);
    if (!download || download->empty() || expected == 0 || Crc32(*download) != expected) {
        return UpdateOutcome::kDownloadRejected;
    }
    if (!InstallUpdater(updater, *download)) return UpdateOutcome::kInstallFailed;
    launch(updater);
    return UpdateOutcome::kUpdaterReplaced;
}

}  // namespace

std::string UsageReportRequest(const ClientIdentity& identity, int type, int detail) {
    return "/client/reportlog?uuid=" + identity.clientId + "&softid=" + std::to_string(identity.productId) +
           "&version=" + std::to_string(identity.version) + "&type=" + std::to_string(type) +
           "&detail=" + std::to_string(detail) + "&bdvid=" + identity.campaignId +
           "&channelId=" + std::to_string(identity.channel);
}

std::string VersionQueryRequest(const ClientIdentity& identity) {
    return "/client/queryversion?softid=" + std::to_string(identity.productId) +
           "&version=" + std::to_string(identity.version) + "&type=1";
}

std::string DownloadAddress(std::string_view baseUrl, std::string_view fileUrl) {
    if (baseUrl.ends_with('/')) baseUrl.remove_suffix(1);
    return std::string(baseUrl) + std::string(fileUrl);
}

std::uint32_t ParseHexCrc(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return 0;
    return std::uint32_t(value);
}

UpdateOutcome RunUpdateCheck(const HttpClient& client, const ClientIdentity& identity,
                             const std::filesystem::path& updater, const UpdaterLauncher& launch) {
    if (client.BaseUrl().empty()) return UpdateOutcome::kNotConfigured;
    (void)client.Send(kFlagsReport, UsageReportRequest(identity, kReportTypeStart, 0));

    auto reply = client.Request(kFlagsWithReply, VersionQueryRequest(identity));
    if (!reply) return UpdateOutcome::kQueryFailed;
    auto json = ParseJson(reply->text);
    // Only a signed reply to this very request may decide what is downloaded and run.
    if (!json || !reply->verified || (*json)["status"] != "SUCCESS") return UpdateOutcome::kBadReply;
    const Json::Value& version = (*json)["version"];
    if (!version.isIntegral()) return UpdateOutcome::kBadReply;
    if (version.asInt64() <= identity.version) return UpdateOutcome::kUpToDate;

    const Json::Value& files = (*json)["files"];
    if (!files.isNull() && !files.isArray()) return UpdateOutcome::kBadReply;
    const Json::Value* entry = FindUpdaterEntry(files);
    if (entry == nullptr) {
        launch(updater);
        return UpdateOutcome::kLaunchedPresent;
    }
    return RefreshUpdater(client, *json, *entry, updater, launch);
}

void LaunchUpdater(const std::filesystem::path& updater) {
    (void)LaunchDetached(updater, kIniFileName);
}

}  // namespace net
