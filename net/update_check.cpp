#include "net/update_check.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include <json/json.h>

#include "net/crc32.h"
#include "net/detached_launch.h"
#include "net/query_escape.h"
#include "net/updater_file.h"
#include "platform/log/log.h"

namespace vexa::net {
namespace {

constexpr int kReportTypeStart = 6;
constexpr const char* kLogContext = "update check";

vexa::Error Malformed(const std::string& why) {
    return vexa::Error(vexa::ErrorCode::kProtocol, "version reply " + why);
}

vexa::Result<Json::Value> ParseJsonObject(std::string_view text) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        return Malformed("is not JSON: " + errors.substr(0, errors.find('\n')));
    }
    if (!root.isObject()) return Malformed("is not a JSON object");
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

// Every member is type-checked before it is converted, so no JsonCpp conversion can throw here.
vexa::Result<VersionReply> ReadMembers(const Json::Value& root) {
    if (root["status"] != "SUCCESS") return Malformed("status is not SUCCESS");
    const Json::Value& version = root["version"];
    if (!version.isInt64()) return Malformed("version is not an integer of 64 bits");
    VersionReply reply{version.asInt64(), std::nullopt};

    const Json::Value& files = root["files"];
    if (!files.isNull() && !files.isArray()) return Malformed("files is not a list");
    const Json::Value* entry = FindUpdaterEntry(files);
    if (entry == nullptr) return reply;
    const Json::Value& baseUrl = root["baseurl"];
    const Json::Value& url = (*entry)["url"];
    const Json::Value& crc = (*entry)["crc32"];
    if (!baseUrl.isString() || !url.isString() || !crc.isString())
        return Malformed("lists the updater without baseurl, url and crc32 texts");
    reply.updater = VersionReply::Updater{DownloadAddress(baseUrl.asString(), url.asString()),
                                          ParseHexCrc(crc.asString())};
    return reply;
}

UpdateResult Failed(UpdateOutcome outcome, const vexa::Error& error) {
    vexa::log::Failure(error, kLogContext);
    return {outcome, error};
}

UpdateResult Launched(UpdateOutcome outcome, const UpdaterPaths& paths, const UpdaterLauncher& launch) {
    vexa::Error error = launch(paths);
    if (!error.ok()) return Failed(outcome, error);
    vexa::log::Writef(vexa::log::Level::kInfo, "%s: started %s %s", kLogContext, paths.updater.c_str(),
                      paths.ini.c_str());
    return {outcome, {}};
}

// Running a file is trusted to TLS alone: the signed CRC-32 can be matched by anyone on the path.
UpdateResult RefusedOverPlainHttp(std::int64_t version, const std::string& address) {
    return Failed(UpdateOutcome::kNotOverHttps,
                  vexa::Error(vexa::ErrorCode::kProtocol,
                              "version " + std::to_string(version) + " is available, but " + address +
                                  " is not https: the updater is neither downloaded nor started"));
}

UpdateResult RefreshUpdater(const HttpClient& client, const VersionReply& reply, const UpdaterPaths& paths,
                            const UpdaterLauncher& launch) {
    const VersionReply::Updater& listed = *reply.updater;
    if (listed.crc == FileCrc32OrZero(paths.updater)) return {UpdateOutcome::kUpdaterCurrent, {}};
    const std::string address = client.Resolve(listed.address);
    if (!IsHttps(address)) return RefusedOverPlainHttp(reply.version, address);

    auto rejected = [&](const std::string& why) {
        return Failed(UpdateOutcome::kDownloadRejected,
                      vexa::Error(vexa::ErrorCode::kProtocol, "download " + address + " " + why));
    };
    if (listed.crc == 0) return rejected("is listed with CRC-32 0");
    auto download = client.Fetch(address, kMaxUpdaterBytes);
    if (!download.ok()) return Failed(UpdateOutcome::kDownloadRejected, download.error());
    if (download->empty()) return rejected("is empty");
    if (const std::uint32_t crc = Crc32(*download); crc != listed.crc) {
        char why[64];
        std::snprintf(why, sizeof why, "has CRC-32 %08x, the reply lists %08x", crc, listed.crc);
        return rejected(why);
    }
    if (vexa::Error error = InstallUpdater(paths.updater, *download); !error.ok())
        return Failed(UpdateOutcome::kInstallFailed, error);
    return Launched(UpdateOutcome::kUpdaterReplaced, paths, launch);
}

}  // namespace

vexa::Result<VersionReply> ParseVersionReply(std::string_view text) {
    try {
        auto root = ParseJsonObject(text);
        if (!root.ok()) return root.error();
        return ReadMembers(*root);
    } catch (const Json::Exception& error) {
        // The parser throws on nesting deeper than its stack limit; a guard for any other surprise.
        return Malformed(std::string("is not readable: ") + error.what());
    }
}

std::string UsageReportRequest(const ClientIdentity& identity, int type, int detail) {
    return "/client/reportlog?uuid=" + EscapeQueryValue(identity.clientId) +
           "&softid=" + std::to_string(identity.productId) + "&version=" + std::to_string(identity.version) +
           "&type=" + std::to_string(type) + "&detail=" + std::to_string(detail) +
           "&bdvid=" + EscapeQueryValue(identity.campaignId) +
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

UpdateResult RunUpdateCheck(const HttpClient& client, const ClientIdentity& identity,
                            const UpdaterPaths& paths, const UpdaterLauncher& launch) {
    if (client.BaseUrl().empty()) return {UpdateOutcome::kNotConfigured, {}};
    // The report's outcome changes nothing, but a failure is still worth a line.
    vexa::log::Failure(client.Send(kFlagsReport, UsageReportRequest(identity, kReportTypeStart, 0)),
                       "usage report");

    auto reply = client.Request(kFlagsWithReply, VersionQueryRequest(identity));
    if (!reply.ok()) return Failed(UpdateOutcome::kQueryFailed, reply.error());
    if (!reply->verified) {
        return Failed(UpdateOutcome::kBadReply, vexa::Error(vexa::ErrorCode::kProtocol,
                                                            "version reply is not signed for this request"));
    }
    auto version = ParseVersionReply(reply->text);
    if (!version.ok()) return Failed(UpdateOutcome::kBadReply, version.error());
    if (version->version <= identity.version) return {UpdateOutcome::kUpToDate, {}};
    if (!IsHttps(client.BaseUrl()))
        return RefusedOverPlainHttp(version->version, std::string(client.BaseUrl()));

    if (!version->updater) return Launched(UpdateOutcome::kLaunchedPresent, paths, launch);
    return RefreshUpdater(client, *version, paths, launch);
}

vexa::Error LaunchUpdater(const UpdaterPaths& paths) {
    return LaunchDetached(paths.updater, paths.ini.string());
}

}  // namespace vexa::net
