// Watching one folder for changes of its entries through inotify. Each read of the kernel's queue
// becomes one batch of records in the order the changes happened, names relative to the folder
// (subfolders are not watched):
//  - created → kAdded; deleted → kRemoved; written, closed after writing, or attributes (times)
//    changed → kModified;
//  - renamed within the folder → kRenamedOld then kRenamedNew; moved in from elsewhere → kAdded,
//    moved out → kRemoved;
//  - the kernel's queue overflowed, or the folder itself was deleted, moved or unmounted → one
//    record with action 0 and no name: read the whole folder again. After the folder itself went
//    away no further batch comes.
//
// Threads: Start creates one watcher thread that sleeps in poll() on the inotify descriptor and a
// stop eventfd (no timers) and calls on_changes there, one batch at a time. Stop() and the
// destructor wake it, wait for a running on_changes to return, and join it; they must not be
// called from on_changes. The object is owned by one thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace vexa::desktop {

struct FolderChange {
    enum Action : int {
        kReload = 0,  // overflow or folder gone: everything may have changed
        kAdded = 1,
        kRemoved = 2,
        kModified = 3,
        kRenamedOld = 4,
        kRenamedNew = 5,
    };
    Action action = kReload;
    std::string name;
    friend bool operator==(const FolderChange&, const FolderChange&) = default;
};

class DirectoryWatcher {
  public:
    using Callback = std::function<void(std::vector<FolderChange>)>;

    // kNotFound / kPermission / kInvalidArgument (not a folder) from inotify, naming the folder.
    [[nodiscard]] static Result<std::unique_ptr<DirectoryWatcher>> Start(const std::string& folder,
                                                                         Callback on_changes);
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Ends watching; idempotent.
    void Stop();
    [[nodiscard]] const std::string& Folder() const { return folder_; }

  private:
    DirectoryWatcher(std::string folder, platform::UniqueFd inotify, platform::UniqueFd stop,
                     Callback on_changes);
    void Run();  // the watcher thread

    // Set before the thread starts, read-only afterwards.
    const std::string folder_;
    const platform::UniqueFd inotify_;
    const platform::UniqueFd stop_;  // eventfd, written by Stop()
    const Callback on_changes_;

    std::thread thread_;  // owning thread only
};

}  // namespace vexa::desktop
