// The update thread: runs the update check once, on a thread of its own, against the deployment's
// server. The main window calls StartUpdateCheck once (after NetworkLibrary is ready) and keeps the
// returned object; destroying it aborts a transfer in flight and joins the thread. The object itself
// is not thread-safe: use it from the thread that started it.
#pragma once

#include <filesystem>
#include <memory>
#include <thread>

#include "net/update_check.h"

namespace vexa::net {

class UpdateThread {
  public:
    UpdateThread() = default;
    UpdateThread(UpdateThread&&) noexcept = default;
    UpdateThread& operator=(UpdateThread&&) noexcept = default;
    ~UpdateThread();

    // Waits for the check to end and tells how it ended.
    [[nodiscard]] UpdateResult Join();

  private:
    friend UpdateThread StartUpdateCheck(ClientIdentity, std::filesystem::path, std::filesystem::path,
                                         UpdaterLauncher);

    // The thread comes first so that a move assignment joins the old thread before its result goes.
    std::jthread thread_;
    std::unique_ptr<UpdateResult> result_;  // written by the thread, read after joining
};

// `programFolder` holds the updater (kUpdaterFileName); `iniPath` is the full path of the settings
// file in use (the application knows where it is: beside the program or in the user's config
// folder), handed to the updater. The launcher defaults to LaunchUpdater.
[[nodiscard]] UpdateThread StartUpdateCheck(ClientIdentity identity, std::filesystem::path programFolder,
                                            std::filesystem::path iniPath,
                                            UpdaterLauncher launch = LaunchUpdater);

}  // namespace vexa::net
