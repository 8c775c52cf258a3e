#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <curl/curl.h>

#include "net/http_client.h"
#include "net/network_library.h"
#include "tests/net/update_server.h"

namespace net {
namespace {

using namespace std::chrono_literals;
using testing::UpdateServer;
using testing::UpdateServerOptions;
using vexa::test::WriteFile;

class HttpClientAgainstServer : public ::testing::Test {
  protected:
    static HttpClient ClientFor(const UpdateServer& server, HttpTimeouts timeouts = {}) {
        return HttpClient(server.BaseUrl(), server.Key(), timeouts);
    }
    static UpdateServerOptions WithFault(std::string fault) {
        UpdateServerOptions options;
        options.fault = std::move(fault);
        return options;
    }
    NetworkLibrary library_;
};

TEST_F(HttpClientAgainstServer, SignedQueryRoundTrips) {
    ASSERT_TRUE(library_.Ready());
    UpdateServer server;
    auto reply =
        ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?softid=1001&version=101&type=1");
    ASSERT_TRUE(reply);
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
    ASSERT_TRUE(client.Request(kFlagsWithReply, "/client/queryversion?a=1"));
    ASSERT_TRUE(client.Request(kFlagsWithReply, "/client/queryversion?a=1"));
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0]["params"]["nonce"], requests[1]["params"]["nonce"]);
}

TEST_F(HttpClientAgainstServer, ReportIsSentScrambledWithoutCheck) {
    UpdateServer server;
    EXPECT_TRUE(ClientFor(server).Send(kFlagsReport, "/client/reportlog?uuid=u1&type=6"));
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["flags"].asInt(), 1);
    EXPECT_EQ(requests[0]["params"]["uuid"].asString(), "u1");
}

TEST_F(HttpClientAgainstServer, DamagedOrUnsignedRepliesFail) {
    for (const char* fault :
         {"wrong-nonce", "flip-body", "short-reply", "unsigned", "http-500", "http-404"}) {
        UpdateServer server(WithFault(fault));
        EXPECT_FALSE(ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1")) << fault;
        EXPECT_EQ(server.Requests().size(), 1u) << fault;
    }
}

TEST_F(HttpClientAgainstServer, FailedStatusComesBackUnverified) {
    UpdateServer server(WithFault("status-failed"));
    auto reply = ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1");
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->verified);
    EXPECT_NE(reply->text.find(R"("status":"FAILED")"), std::string::npos);
}

TEST_F(HttpClientAgainstServer, FetchNeedsStatus200AndPrefixesRelativeAddresses) {
    UpdateServer server;
    WriteFile(server.FilesFolder() / "blob", std::string("a\0b", 3));
    auto client = ClientFor(server);
    auto relative = client.Fetch("/files/blob");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->size(), 3u);
    EXPECT_TRUE(client.Fetch(server.BaseUrl() + "/files/blob"));
    EXPECT_FALSE(client.Fetch("/files/absent")) << "a 404 body is no download";
    // Another scheme is never fetched, even when handed over as it stands.
    HttpClient fileClient("file://", std::nullopt);
    EXPECT_FALSE(fileClient.Fetch("/etc/hostname"));
}

TEST_F(HttpClientAgainstServer, SlowReplyEndsAtTheTimeout) {
    UpdateServerOptions options = WithFault("slow");
    options.delaySeconds = 5;
    UpdateServer server(options);
    EXPECT_FALSE(ClientFor(server, {1000ms, 300ms}).Request(kFlagsWithReply, "/client/queryversion?a=1"));
}

TEST_F(HttpClientAgainstServer, StopRequestAbortsATransferInFlight) {
    UpdateServerOptions options = WithFault("slow");
    options.delaySeconds = 60;
    UpdateServer server(options);
    std::stop_source stop;
    HttpClient client(server.BaseUrl(), server.Key(), {}, stop.get_token());
    std::jthread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Request(kFlagsWithReply, "/client/queryversion?a=1"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "aborted long before the server answered";
}

TEST_F(HttpClientAgainstServer, HttpsKeepsCertificateVerificationOn) {
    UpdateServerOptions options;
    options.tls = true;
    UpdateServer server(options);
    WriteFile(server.FilesFolder() / "blob", "data");
    // The server's certificate is self-signed: an unverified peer must not be trusted.
    EXPECT_FALSE(ClientFor(server).Fetch("/files/blob"));
    EXPECT_FALSE(ClientFor(server).Request(kFlagsWithReply, "/client/queryversion?a=1"));
    EXPECT_TRUE(server.Requests().empty());

    // The same server is reachable by a transfer that trusts its certificate: the refusal above came
    // from verification, not from a broken server.
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    const std::string url = server.BaseUrl() + "/files/blob";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, server.CertificateFile().c_str());
    curl_easy_setopt(
        curl.get(), CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    EXPECT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
}

}  // namespace
}  // namespace net
