#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "net/crc32.h"
#include "net/deployment.h"
#include "net/network_library.h"
#include "net/update_check.h"
#include "net/update_thread.h"
#include "tests/net/captured_log.h"
#include "tests/net/update_server.h"
#include "tests/support/wait_until.h"

namespace vexa::net {
namespace {

using namespace std::chrono_literals;
using testing::CapturedLog;
using testing::UpdateServer;
using testing::UpdateServerOptions;
using vexa::test::ReadFile;
using vexa::test::TempFolder;
using vexa::test::WaitForFile;
using vexa::test::WriteFile;

// An updater that records which copy ran and with which arguments.
std::string RecordingUpdater(const std::string& label) {
    return "#!/bin/sh\n"
           "out=\"$(dirname \"$0\")/launched\"\n"
           "echo \"" +
           label + " $# $1\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
}

std::string HexCrc(const std::string& text) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x",
                  Crc32({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
    return hex;
}

std::string VersionReply(int version, const std::string& files,
                         const std::string& baseUrl = "{base}/files/") {
    return R"({"status":"SUCCESS","version":)" + std::to_string(version) + R"(,"baseurl":")" + baseUrl +
           R"(","files":)" + files + "}";
}

std::string UpdaterEntry(const std::string& name, const std::string& crc) {
    return R"({"name":")" + name + R"(","url":"/new-updater","crc32":")" + crc + R"("})";
}

// A file list holding one updater entry. Built by appending: GCC 12 at -O3 misreads "[" + a
// temporary string as an overlapping copy (-Wrestrict).
std::string UpdaterList(const std::string& name, const std::string& crc) {
    std::string list = "[";
    list.append(UpdaterEntry(name, crc)).append("]");
    return list;
}

class UpdateCheckAgainstServer : public ::testing::Test {
  protected:
    UpdateOutcome Run(const UpdateServer& server) {
        HttpOptions options;
        if (server.BaseUrl().starts_with("https:")) options.caFile = server.CertificateFile();
        HttpClient client(server.BaseUrl(), server.Key(), options);
        return RunUpdateCheck(client, identity_, Paths(), LaunchUpdater).outcome;
    }
    // The settings file in use lies apart from the program, as it does when the program folder is
    // read-only: the updater must be told its full path.
    UpdaterPaths Paths() const { return {Updater(), IniPath()}; }
    std::filesystem::path Updater() const { return program_.Path() / kUpdaterFileName; }
    std::filesystem::path IniPath() const { return config_.Path() / "Vexa" / "VexaRecorder.ini"; }
    std::filesystem::path LaunchRecord() const { return program_.Path() / "launched"; }
    std::string LaunchedWith(const std::string& label) const {
        return label + " 1 " + IniPath().string() + "\n";
    }
    // After the check, give a launched updater time to write its record.
    bool Launched() const { return WaitForFile(LaunchRecord(), 10); }
    bool NothingLaunched() const { return !WaitForFile(LaunchRecord(), 1); }
    void ExpectNoTemporaries() const {
        EXPECT_FALSE(std::filesystem::exists(Updater().string() + "_willdel"));
        EXPECT_FALSE(std::filesystem::exists(Updater().string() + "_backup"));
    }
    static UpdateServerOptions Reply(std::string reply, std::string fault = "none", bool tls = false) {
        UpdateServerOptions options;
        options.versionReply = std::move(reply);
        options.fault = std::move(fault);
        options.tls = tls;
        return options;
    }
    static UpdateServerOptions SecureReply(std::string reply, std::string fault = "none") {
        return Reply(std::move(reply), std::move(fault), true);
    }

    NetworkLibrary library_;
    TempFolder program_;
    TempFolder config_;
    ClientIdentity identity_{1001, 120, 7, "spring&channelId=9", "Qw3rTy_-12345678"};
    const std::string presentUpdater_ = RecordingUpdater("present");
    const std::string newUpdater_ = RecordingUpdater("new");
};

TEST_F(UpdateCheckAgainstServer, SameVersionOnlyReportsWithEveryValueIntact) {
    UpdateServer server(Reply(VersionReply(120, "[]")));
    WriteFile(Updater(), presentUpdater_, true);
    EXPECT_EQ(Run(server), UpdateOutcome::kUpToDate);
    EXPECT_TRUE(NothingLaunched());

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["path"].asString(), "/client/reportlog");
    EXPECT_EQ(requests[0]["flags"].asInt(), 1);
    const Json::Value& report = requests[0]["params"];
    EXPECT_EQ(report["uuid"].asString(), "Qw3rTy_-12345678");
    EXPECT_EQ(report["softid"].asString(), "1001");
    EXPECT_EQ(report["version"].asString(), "120");
    EXPECT_EQ(report["type"].asString(), "6");
    EXPECT_EQ(report["detail"].asString(), "0");
    EXPECT_EQ(report["bdvid"].asString(), "spring&channelId=9") << "the campaign id travels as one value";
    EXPECT_EQ(report["channelId"].asString(), "7");
    EXPECT_EQ(requests[1]["path"].asString(), "/client/queryversion");
    EXPECT_EQ(requests[1]["flags"].asInt(), 7);
    EXPECT_EQ(requests[1]["params"]["type"].asString(), "1");
}

TEST_F(UpdateCheckAgainstServer, NewerVersionWithoutUpdaterEntryLaunchesThePresentOne) {
    UpdateServer server(SecureReply(VersionReply(121, R"([{"name":"VexaRecorder","url":"x","crc32":"1"}])")));
    WriteFile(Updater(), presentUpdater_, true);
    EXPECT_EQ(Run(server), UpdateOutcome::kLaunchedPresent);
    ASSERT_TRUE(Launched());
    EXPECT_EQ(ReadFile(LaunchRecord()), LaunchedWith("present"));
}

TEST_F(UpdateCheckAgainstServer, ChangedUpdaterIsDownloadedSwappedAndLaunched) {
    for (const char* name : {"AutoUpdater.exe", "autoupdater.exe"}) {
        std::filesystem::remove(LaunchRecord());
        UpdateServer server(SecureReply(VersionReply(130, UpdaterList(name, HexCrc(newUpdater_)))));
        WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
        WriteFile(Updater(), presentUpdater_, true);
        EXPECT_EQ(Run(server), UpdateOutcome::kUpdaterReplaced) << name;
        EXPECT_EQ(ReadFile(Updater()), newUpdater_);
        ExpectNoTemporaries();
        ASSERT_TRUE(Launched()) << name;
        EXPECT_EQ(ReadFile(LaunchRecord()), LaunchedWith("new"));
    }
}

TEST_F(UpdateCheckAgainstServer, MissingUpdaterIsDownloadedAndLaunched) {
    UpdateServer server(SecureReply(VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_)))));
    WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
    EXPECT_EQ(Run(server), UpdateOutcome::kUpdaterReplaced);
    ASSERT_TRUE(Launched());
    EXPECT_EQ(ReadFile(LaunchRecord()), LaunchedWith("new"));
}

TEST_F(UpdateCheckAgainstServer, OtherNamesDoNotCountAsTheUpdater) {
    UpdateServer server(SecureReply(VersionReply(130, UpdaterList("Autoupdater.exe", HexCrc(newUpdater_)))));
    WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
    WriteFile(Updater(), presentUpdater_, true);
    EXPECT_EQ(Run(server), UpdateOutcome::kLaunchedPresent);
    EXPECT_EQ(ReadFile(Updater()), presentUpdater_);
}

TEST_F(UpdateCheckAgainstServer, DownloadWithWrongCrcChangesAndLaunchesNothing) {
    UpdateServer server(SecureReply(VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_))),
                                    "bad-download-crc"));
    WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
    WriteFile(Updater(), presentUpdater_, true);
    CapturedLog log;
    EXPECT_EQ(Run(server), UpdateOutcome::kDownloadRejected);
    EXPECT_EQ(ReadFile(Updater()), presentUpdater_);
    ExpectNoTemporaries();
    EXPECT_TRUE(NothingLaunched());
    EXPECT_NE(log.Text().find("the reply lists " + HexCrc(newUpdater_)), std::string::npos) << log.Text();
}

TEST_F(UpdateCheckAgainstServer, CurrentUpdaterIsLeftAsItIs) {
    UpdateServer server(
        SecureReply(VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(presentUpdater_)))));
    WriteFile(Updater(), presentUpdater_, true);
    EXPECT_EQ(Run(server), UpdateOutcome::kUpdaterCurrent);
    EXPECT_TRUE(NothingLaunched());
    EXPECT_EQ(server.Requests().size(), 2u) << "no download";
}

TEST_F(UpdateCheckAgainstServer, OverPlainHttpAVerifiedReplyIsReadButNothingIsFetchedOrRun) {
    const std::string listed = UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_));
    for (const std::string& files : {listed, std::string("[]")}) {
        UpdateServer server(Reply(VersionReply(130, files)));
        WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
        WriteFile(Updater(), presentUpdater_, true);
        CapturedLog log;
        EXPECT_EQ(Run(server), UpdateOutcome::kNotOverHttps) << files;
        EXPECT_EQ(ReadFile(Updater()), presentUpdater_);
        EXPECT_EQ(server.Requests().size(), 2u) << "no download";
        EXPECT_NE(log.Text().find("update check: version 130 is available, but " + server.BaseUrl() +
                                  " is not https: the updater is neither downloaded nor started"),
                  std::string::npos)
            << log.Text();
    }
    EXPECT_TRUE(NothingLaunched());
}

TEST_F(UpdateCheckAgainstServer, HttpsReplyNamingAPlainHttpDownloadRunsNothing) {
    UpdateServer server(SecureReply(
        VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_)), "http://127.0.0.1:9/files")));
    WriteFile(Updater(), presentUpdater_, true);
    CapturedLog log;
    EXPECT_EQ(Run(server), UpdateOutcome::kNotOverHttps);
    EXPECT_EQ(ReadFile(Updater()), presentUpdater_);
    EXPECT_TRUE(NothingLaunched());
    EXPECT_NE(log.Text().find("http://127.0.0.1:9/files/new-updater is not https"), std::string::npos)
        << log.Text();
}

TEST_F(UpdateCheckAgainstServer, UnsignedOrForeignRepliesNeverLaunchAnythingAndTheLogSaysWhy) {
    const std::string reply = VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_)));
    const std::pair<const char*, const char*> faults[] = {
        {"unsigned", "not signed"},
        {"wrong-nonce", "another request's nonce"},
        {"flip-body", "does not match its CRC-32"},
        {"http-500", "HTTP status 500"},
    };
    for (auto [fault, cause] : faults) {
        UpdateServer server(SecureReply(reply, fault));
        WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
        WriteFile(Updater(), presentUpdater_, true);
        CapturedLog log;
        EXPECT_EQ(Run(server), UpdateOutcome::kQueryFailed) << fault;
        EXPECT_EQ(ReadFile(Updater()), presentUpdater_) << fault;
        EXPECT_NE(log.Text().find("ERROR update check: "), std::string::npos) << log.Text();
        EXPECT_NE(log.Text().find(cause), std::string::npos) << log.Text();
    }
    UpdateServer failed(SecureReply(reply, "status-failed"));
    EXPECT_EQ(Run(failed), UpdateOutcome::kBadReply);
    EXPECT_TRUE(NothingLaunched());
}

// Which replies are malformed is the reply reader's own test (VersionReply); one stands for all here.
TEST_F(UpdateCheckAgainstServer, AMalformedReplyEndsTheCheckQuietly) {
    UpdateServer server(SecureReply(R"({"status":"SUCCESS","version":200,"files":"AutoUpdater.exe"})"));
    WriteFile(Updater(), presentUpdater_, true);
    EXPECT_EQ(Run(server), UpdateOutcome::kBadReply);
    EXPECT_EQ(ReadFile(Updater()), presentUpdater_);
    EXPECT_TRUE(NothingLaunched());
}

class UpdateThreadAgainstServer : public UpdateCheckAgainstServer {
  protected:
    void PointAt(const UpdateServer& server) {
        ::setenv("VEXA_SERVER_BASE_URL", server.BaseUrl().c_str(), 1);
        ::setenv("VEXA_SERVER_PUBLIC_KEY_FILE", server.KeyFile().c_str(), 1);
        ::setenv("VEXA_SERVER_CA_FILE", server.CertificateFile().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("VEXA_SERVER_BASE_URL");
        ::unsetenv("VEXA_SERVER_PUBLIC_KEY_FILE");
        ::unsetenv("VEXA_SERVER_CA_FILE");
    }
    UpdateThread Start() { return StartUpdateCheck(identity_, program_.Path(), IniPath()); }
};

TEST_F(UpdateThreadAgainstServer, StartsOnceAndReplacesTheUpdater) {
    if (!VEXA_TEST_SEAMS_ON) GTEST_SKIP() << "built without the test seams";
    UpdateServer server(SecureReply(VersionReply(130, UpdaterList("AutoUpdater.exe", HexCrc(newUpdater_)))));
    WriteFile(server.FilesFolder() / "new-updater", newUpdater_);
    WriteFile(Updater(), presentUpdater_, true);
    PointAt(server);
    UpdateThread thread = Start();
    EXPECT_EQ(thread.Join().outcome, UpdateOutcome::kUpdaterReplaced);
    ASSERT_TRUE(Launched());
    EXPECT_EQ(ReadFile(LaunchRecord()), LaunchedWith("new"));
}

TEST_F(UpdateThreadAgainstServer, WithoutServerAddressNothingIsSent) {
    auto deployment = LoadDeployment();
    ASSERT_TRUE(deployment.ok());
    if (!deployment->baseUrl.empty()) GTEST_SKIP() << "this build has a server address built in";
    UpdateServer server;  // listening, but nobody tells the program where
    WriteFile(Updater(), presentUpdater_, true);
    const UpdateResult result = Start().Join();
    EXPECT_EQ(result.outcome, UpdateOutcome::kNotConfigured);
    EXPECT_TRUE(result.error.ok());
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(NothingLaunched());
}

TEST_F(UpdateThreadAgainstServer, DestroyingTheThreadAbortsAHangingCheck) {
    if (!VEXA_TEST_SEAMS_ON) GTEST_SKIP() << "built without the test seams";
    UpdateServerOptions options = Reply(VersionReply(130, "[]"), "slow");
    options.delaySeconds = 120;
    UpdateServer server(options);
    PointAt(server);
    const auto start = std::chrono::steady_clock::now();
    {
        UpdateThread thread = Start();
        ASSERT_TRUE(vexa::test::WaitUntil([&] { return !server.Requests().empty(); }));  // hanging
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "shutdown did not wait for the server";
}

}  // namespace
}  // namespace vexa::net
