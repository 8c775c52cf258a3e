#include "tests/net/update_server.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace vexa::net::testing {
namespace {

using vexa::test::ReadFile;
using vexa::test::WriteFile;

// Reads one line from the server's standard output ("PORT <n>").
int ReadPort(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    int port = 0;
    if (std::sscanf(line.c_str(), "PORT %d", &port) != 1) throw std::runtime_error("update server: " + line);
    return port;
}

}  // namespace

UpdateServer::UpdateServer(UpdateServerOptions options) : tls_(options.tls) {
    std::filesystem::create_directory(FilesFolder());
    WriteFile(folder_.Path() / "reply.json", options.versionReply);
    std::vector<std::string> args = {"python3",   VEXA_UPDATE_SERVER_SCRIPT,
                                     "--key-out", KeyFile().string(),
                                     "--reply",   (folder_.Path() / "reply.json").string(),
                                     "--files",   FilesFolder().string(),
                                     "--log",     (folder_.Path() / "log.jsonl").string(),
                                     "--fault",   options.fault,
                                     "--delay",   std::to_string(options.delaySeconds)};
    if (options.tls) {
        args.insert(args.end(), {"--tls", "--cert-out", CertificateFile().string()});
    }
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execv("/usr/bin/python3", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    port_ = ReadPort(out[0]);
    ::close(out[0]);
}

UpdateServer::~UpdateServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string UpdateServer::BaseUrl() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

RsaPublicKey UpdateServer::Key() const {
    auto key = RsaPublicKey::FromPem(ReadFile(KeyFile()));
    if (!key.ok()) throw std::runtime_error("update server key: " + key.error().message());
    return std::move(key).value();
}

std::vector<Json::Value> UpdateServer::Requests() const {
    std::vector<Json::Value> requests;
    std::ifstream log(folder_.Path() / "log.jsonl");
    Json::CharReaderBuilder builder;
    for (std::string line; std::getline(log, line);) {
        Json::Value record;
        std::string errors;
        std::istringstream in(line);
        if (Json::parseFromStream(builder, in, &record, &errors)) requests.push_back(record);
    }
    return requests;
}

}  // namespace vexa::net::testing
