#include "net/update_thread.h"

#include "net/deployment.h"

namespace net {

UpdateThread::~UpdateThread() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

UpdateOutcome UpdateThread::Join() {
    if (thread_.joinable()) thread_.join();
    return result_ ? result_->outcome : UpdateOutcome::kNotConfigured;
}

UpdateThread StartUpdateCheck(ClientIdentity identity, std::filesystem::path programFolder,
                              UpdaterLauncher launch) {
    UpdateThread worker;
    worker.result_ = std::make_unique<UpdateThread::Result>();
    auto* result = worker.result_.get();
    worker.thread_ = std::jthread([=, identity = std::move(identity)](std::stop_token stop) {
        Deployment deployment = LoadDeployment();
        if (deployment.baseUrl.empty()) return;  // no server configured: stay silent
        HttpClient client(deployment.baseUrl, RsaPublicKey::FromPem(deployment.publicKeyPem), HttpTimeouts{},
                          stop);
        result->outcome = RunUpdateCheck(client, identity, programFolder / kUpdaterFileName, launch);
    });
    return worker;
}

}  // namespace net
