#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/http_client.h"
#include "net/network_library.h"
#include "tests/net/update_server.h"
#include "tests/support/wait_until.h"

namespace vexa::net {
namespace {

using namespace std::chrono_literals;
using testing::UpdateServer;
using testing::UpdateServerOptions;
using vexa::test::WriteFile;

class HttpClientAgainstServer : public ::testing::Test {
  protected:
    static HttpClient ClientFor(const UpdateServer& server, HttpOptions options = {}) {
        return HttpClient(server.BaseUrl(), server.Key(), std::move(options));
    }
    static UpdateServerOptions WithFault(std::string fault) {
        UpdateServerOptions options;
        options.fault = std::move(fault);
        return options;
    }
    static UpdateServerOptions WithReply(std::string reply) {
        UpdateServerOptions options;
        options.versionReply = std::move(reply);
        return options;
    }
    NetworkLibrary library_;
};

TEST_F(HttpClientAgainstServer, SignedQueryRoundTrips) {
    ASSERT_TRUE(library_.Status().ok());
    UpdateServer server;
    auto reply =
        ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?softid=1001&version=101&type=1");
    ASSERT_TRUE(reply.ok()) << reply.error().message();
    EXPECT_TRUE(reply->verified);
    EXPECT_EQ(reply->text, R"({"status":"SUCCESS","version":100})");

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0]["valid"].asBool()) << "the server accepted our CRC and RSA block";
    EXPECT_EQ(requests[0]["flags"].asInt(), 7);
    EXPECT_EQ(requests[0]["params"]["softid"].asString(), "1001");
    EXPECT_FALSE(requests[0]["params"]["nonce"].asString().empty());
}

TEST_F(HttpClientAgainstServer, EachRequestCarriesAFreshNonce) {
    UpdateServer server;
    auto client = ClientFor(server);
    ASSERT_TRUE(client.Request(kFlagsWithReply, "/client/queryversion?a=1").ok());
    ASSERT_TRUE(client.Request(kFlagsWithReply, "/client/queryversion?a=1").ok());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0]["params"]["nonce"], requests[1]["params"]["nonce"]);
}

TEST_F(HttpClientAgainstServer, ReportIsSentScrambledWithoutCheck) {
    UpdateServer server;
    EXPECT_TRUE(ClientFor(server).Send(kFlagsReport, "/client/reportlog?uuid=u1&type=6").ok());
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["flags"].asInt(), 1);
    EXPECT_EQ(requests[0]["params"]["uuid"].asString(), "u1");
}

// A damaged packet reaches the reply check as the server sent it; each kind of damage (CRC, length,
// signature) is the reply check's own test (ProtectedFormat), so one stands for all here.
TEST_F(HttpClientAgainstServer, DamagedRepliesAndFailedStatusesFailSayingWhy) {
    const std::pair<const char*, const char*> faults[] = {
        {"wrong-nonce", "another request's nonce"},
        {"http-500", "HTTP status 500"},
        {"http-404", "HTTP status 404"},
    };
    for (auto [fault, cause] : faults) {
        UpdateServer server(WithFault(fault));
        auto reply = ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1");
        ASSERT_FALSE(reply.ok()) << fault;
        EXPECT_EQ(reply.error().code(), vexa::ErrorCode::kProtocol) << fault;
        EXPECT_NE(reply.error().message().find(cause), std::string::npos) << reply.error().message();
        EXPECT_EQ(server.Requests().size(), 1u) << fault;
    }
}

TEST_F(HttpClientAgainstServer, FailedStatusComesBackUnverified) {
    UpdateServer server(WithFault("status-failed"));
    auto reply = ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_TRUE(reply.ok());
    EXPECT_FALSE(reply->verified);
    EXPECT_NE(reply->text.find(R"("status":"FAILED")"), std::string::npos);
}

TEST_F(HttpClientAgainstServer, FetchNeedsStatus200AndPrefixesRelativeAddresses) {
    UpdateServer server;
    WriteFile(server.FilesFolder() / "blob", std::string("a\0b", 3));
    auto client = ClientFor(server);
    auto relative = client.Fetch("/files/blob", 3);
    ASSERT_TRUE(relative.ok());
    EXPECT_EQ(relative->size(), 3u);
    EXPECT_TRUE(client.Fetch(server.BaseUrl() + "/files/blob", 3).ok());
    EXPECT_FALSE(client.Fetch("/files/absent", kMaxReplyBytes).ok()) << "a 404 body is no download";
    // Another scheme is never fetched, even when handed over as it stands.
    HttpClient fileClient("file://", std::nullopt);
    EXPECT_FALSE(fileClient.Fetch("/etc/hostname", kMaxReplyBytes).ok());
}

TEST_F(HttpClientAgainstServer, BodiesBeyondTheLimitAreRefusedAnnouncedOrNot) {
    for (const char* fault : {"none", "no-length"}) {
        UpdateServer server(WithFault(fault));
        WriteFile(server.FilesFolder() / "blob", std::string(100'000, 'z'));
        auto client = ClientFor(server);
        EXPECT_TRUE(client.Fetch("/files/blob", 100'000).ok()) << fault;
        auto tooLarge = client.Fetch("/files/blob", 99'999);
        ASSERT_FALSE(tooLarge.ok()) << fault;
        EXPECT_NE(tooLarge.error().message().find("larger than 99999 bytes"), std::string::npos)
            << tooLarge.error().message();
    }
}

TEST_F(HttpClientAgainstServer, RepliesAreLimitedTo1MiB) {
    // Base64 makes the raw reply about 4/3 of the JSON text.
    auto replyWithPadding = [](std::size_t bytes) {
        return R"({"status":"SUCCESS","version":100,"pad":")" + std::string(bytes, 'p') + "\"}";
    };
    UpdateServer within(WithReply(replyWithPadding(700'000)));
    EXPECT_TRUE(ClientFor(within).Request(kFlagsWithReply, "/client/queryversion?a=1").ok());
    UpdateServer beyond(WithReply(replyWithPadding(800'000)));
    auto refused = ClientFor(beyond).Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message().find("larger than 1048576 bytes"), std::string::npos)
        << refused.error().message();
}

TEST_F(HttpClientAgainstServer, SlowReplyEndsAtTheTimeout) {
    UpdateServerOptions options = WithFault("slow");
    options.delaySeconds = 5;
    UpdateServer server(options);
    auto reply = ClientFor(server, {1000ms, 300ms}).Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_FALSE(reply.ok());
    EXPECT_EQ(reply.error().code(), vexa::ErrorCode::kTimeout);
}

TEST_F(HttpClientAgainstServer, StalledServerIsAbandonedLongBeforeTheTotalTimeout) {
    UpdateServerOptions slow = WithFault("slow");
    slow.delaySeconds = 60;
    UpdateServer server(slow);
    HttpOptions options;  // the 25-minute time-outs stay
    options.lowSpeedTime = 1s;
    const auto start = std::chrono::steady_clock::now();
    auto reply = ClientFor(server, options).Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_FALSE(reply.ok());
    EXPECT_EQ(reply.error().code(), vexa::ErrorCode::kTimeout) << reply.error().message();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "abandoned long before the server answered";
}

TEST_F(HttpClientAgainstServer, StopRequestAbortsATransferInFlight) {
    UpdateServerOptions options = WithFault("slow");
    options.delaySeconds = 60;
    UpdateServer server(options);
    std::stop_source stop;
    HttpClient client(server.BaseUrl(), server.Key(), {}, stop.get_token());
    std::jthread stopper([&] {
        (void)vexa::test::WaitUntil([&] { return !server.Requests().empty(); });  // in flight
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    auto reply = client.Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_FALSE(reply.ok());
    EXPECT_EQ(reply.error().code(), vexa::ErrorCode::kCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "aborted long before the server answered";
}

TEST_F(HttpClientAgainstServer, HttpsKeepsCertificateVerificationOn) {
    UpdateServerOptions options;
    options.tls = true;
    UpdateServer server(options);
    WriteFile(server.FilesFolder() / "blob", "data");
    // The server's certificate is self-signed: an unverified peer must not be trusted.
    auto untrusted = ClientFor(server).Fetch("/files/blob", kMaxReplyBytes);
    ASSERT_FALSE(untrusted.ok());
    EXPECT_EQ(untrusted.error().code(), vexa::ErrorCode::kProtocol) << untrusted.error().message();
    EXPECT_FALSE(ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1").ok());
    EXPECT_TRUE(server.Requests().empty());

    // Trusting that certificate, the same client reaches the same server: the refusal above came from
    // verification, not from a broken server.
    HttpOptions trusting;
    trusting.caFile = server.CertificateFile();
    EXPECT_TRUE(ClientFor(server, trusting).Fetch("/files/blob", kMaxReplyBytes).ok());
    EXPECT_TRUE(ClientFor(server, trusting).Request(kFlagsWithReply, "/client/queryversion?a=1").ok());
}

}  // namespace
}  // namespace vexa::net
