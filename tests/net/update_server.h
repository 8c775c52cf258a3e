// Runs tools/update-server/update_server.py for one test: a protected-format server on 127.0.0.1 at a
// port the system picks, with its own key pair, reply file, served files and fault switch. The server
// process lives as long as this object. Use from one thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <json/json.h>

#include "net/rsa_public_key.h"
#include "tests/support/temp_folder.h"

namespace vexa::net::testing {

struct UpdateServerOptions {
    std::string versionReply = R"({"status":"SUCCESS","version":100})";  // "{base}" = server address
    std::string fault = "none";
    double delaySeconds = 30;
    bool tls = false;
};

class UpdateServer {
  public:
    explicit UpdateServer(UpdateServerOptions options = {});
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    [[nodiscard]] std::string BaseUrl() const;
    [[nodiscard]] std::filesystem::path KeyFile() const { return folder_.Path() / "key.pem"; }
    [[nodiscard]] RsaPublicKey Key() const;
    // With tls: the server's self-signed certificate.
    [[nodiscard]] std::filesystem::path CertificateFile() const { return folder_.Path() / "cert.pem"; }
    // Files placed here are served under "/files/<name>".
    [[nodiscard]] std::filesystem::path FilesFolder() const { return folder_.Path() / "files"; }
    // Every request the server received, oldest first, as logged.
    [[nodiscard]] std::vector<Json::Value> Requests() const;

  private:
    vexa::test::TempFolder folder_;
    bool tls_;
    int pid_ = -1;
    int port_ = 0;
};

}  // namespace vexa::net::testing
