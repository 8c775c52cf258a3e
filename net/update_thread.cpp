#include "net/update_thread.h"

#include <pthread.h>

#include "net/deployment.h"
#include "platform/log/log.h"

namespace vexa::net {
namespace {

UpdateResult CheckOnce(const ClientIdentity& identity, const UpdaterPaths& paths,
                       const UpdaterLauncher& launch, std::stop_token stop) {
    auto deployment = LoadDeployment();
    if (!deployment.ok()) {
        vexa::log::Failure(deployment.error(), "update check");
        return {UpdateOutcome::kNotConfigured, deployment.error()};
    }
    if (deployment->baseUrl.empty()) return {};  // no server configured: stay silent
    auto key = RsaPublicKey::FromPem(deployment->publicKeyPem);
    // Without a key the signed query fails, and says why; the report still goes out.
    if (!key.ok()) vexa::log::Failure(key.error(), "update check");
    HttpOptions options;
    options.caFile = deployment->caFile;
    HttpClient client(deployment->baseUrl, key.ok() ? std::optional(std::move(key).value()) : std::nullopt,
                      std::move(options), std::move(stop));
    return RunUpdateCheck(client, identity, paths, launch);
}

}  // namespace

UpdateThread::~UpdateThread() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

UpdateResult UpdateThread::Join() {
    if (thread_.joinable()) thread_.join();
    return result_ ? *result_ : UpdateResult{};
}

UpdateThread StartUpdateCheck(ClientIdentity identity, std::filesystem::path programFolder,
                              std::filesystem::path iniPath, UpdaterLauncher launch) {
    UpdateThread worker;
    worker.result_ = std::make_unique<UpdateResult>();
    UpdaterPaths paths{programFolder / kUpdaterFileName, std::move(iniPath)};
    worker.thread_ =
        std::jthread([result = worker.result_.get(), identity = std::move(identity), paths = std::move(paths),
                      launch = std::move(launch)](std::stop_token stop) {
            pthread_setname_np(pthread_self(), "update-check");
            *result = CheckOnce(identity, paths, launch, std::move(stop));
        });
    return worker;
}

}  // namespace vexa::net
