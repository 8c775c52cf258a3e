#include "platform/desktop/directory_watcher.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/log/log.h"

namespace vexa::desktop {
namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                IN_EXCL_UNLINK;
// Events that mean: read everything again.
constexpr uint32_t kReloadMask = IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
// Events after which the watch is gone.
constexpr uint32_t kGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

// The plain (unpaired) meaning of each event bit, in the order they are checked.
struct ActionFor {
    uint32_t mask;
    FolderChange::Action action;
};
constexpr ActionFor kActions[] = {
    {IN_CREATE, FolderChange::kAdded},    {IN_MOVED_TO, FolderChange::kAdded},
    {IN_DELETE, FolderChange::kRemoved},  {IN_MOVED_FROM, FolderChange::kRemoved},
    {IN_MODIFY, FolderChange::kModified}, {IN_CLOSE_WRITE, FolderChange::kModified},
    {IN_ATTRIB, FolderChange::kModified},
};

struct RawEvent {
    uint32_t mask;
    uint32_t cookie;
    std::string name;
};

// Reads what the queue holds now (nothing when it is empty); false when reading failed.
bool ReadEvents(int fd, char* buffer, size_t size, std::vector<RawEvent>& events) {
    const ssize_t length = read(fd, buffer, size);
    if (length < 0) return errno == EAGAIN || errno == EINTR;
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        inotify_event header;
        std::memcpy(&header, buffer + offset, sizeof header);
        const char* name = buffer + offset + sizeof header;
        events.push_back({header.mask, header.cookie, std::string(name, strnlen(name, header.len))});
        offset += static_cast<ssize_t>(sizeof header + header.len);
    }
    return true;
}

bool EndsInUnpairedMove(const std::vector<RawEvent>& events) {
    return !events.empty() && (events.back().mask & IN_MOVED_FROM);
}

// The MOVED_TO half of the rename whose MOVED_FROM is events[from], or events.size().
size_t FindMovedTo(const std::vector<RawEvent>& events, const std::vector<bool>& used, size_t from) {
    for (size_t j = from + 1; j < events.size(); ++j) {
        if (!used[j] && (events[j].mask & IN_MOVED_TO) && events[j].cookie == events[from].cookie) return j;
    }
    return events.size();
}

// The records of one read: renames within the folder pair up by cookie (old name, then new).
std::vector<FolderChange> Translate(const std::vector<RawEvent>& events) {
    std::vector<FolderChange> changes;
    std::vector<bool> used(events.size(), false);
    for (size_t i = 0; i < events.size(); ++i) {
        const RawEvent& event = events[i];
        if (event.mask & kReloadMask) return {FolderChange{FolderChange::kReload, {}}};
        if (used[i]) continue;
        if (event.mask & IN_MOVED_FROM) {
            const size_t partner = FindMovedTo(events, used, i);
            if (partner < events.size()) {
                used[partner] = true;
                changes.push_back({FolderChange::kRenamedOld, event.name});
                changes.push_back({FolderChange::kRenamedNew, events[partner].name});
                continue;
            }
        }
        for (const ActionFor& entry : kActions) {
            if (event.mask & entry.mask) {
                changes.push_back({entry.action, event.name});
                break;
            }
        }
    }
    return changes;
}

}  // namespace

Result<std::unique_ptr<DirectoryWatcher>> DirectoryWatcher::Start(const std::string& folder,
                                                                  Callback on_changes) {
    platform::UniqueFd inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify.Valid()) return Error::FromErrno(errno, "cannot watch folder " + folder);
    if (inotify_add_watch(inotify.Get(), folder.c_str(), kWatchMask) < 0) {
        Error error = Error::FromErrno(errno, "cannot watch folder " + folder);
        log::Failure(error);
        return error;
    }
    platform::UniqueFd stop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop.Valid()) return Error::FromErrno(errno, "cannot watch folder " + folder);
    std::unique_ptr<DirectoryWatcher> watcher(
        new DirectoryWatcher(folder, std::move(inotify), std::move(stop), std::move(on_changes)));
    try {
        watcher->thread_ = std::thread([w = watcher.get()] { w->Run(); });
    } catch (const std::system_error& e) {
        return Error::FromErrno(e.code().value(), "cannot start the watcher of folder " + folder);
    }
    return watcher;
}

DirectoryWatcher::DirectoryWatcher(std::string folder, platform::UniqueFd inotify, platform::UniqueFd stop,
                                   Callback on_changes)
    : folder_(std::move(folder)),
      inotify_(std::move(inotify)),
      stop_(std::move(stop)),
      on_changes_(std::move(on_changes)) {}

DirectoryWatcher::~DirectoryWatcher() {
    Stop();
}

void DirectoryWatcher::Stop() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    // Only a counter at its maximum refuses the write, and such a counter already wakes the thread.
    [[maybe_unused]] const ssize_t written = write(stop_.Get(), &one, sizeof one);
    thread_.join();
}

void DirectoryWatcher::Run() {
    pthread_setname_np(pthread_self(), "folder-watcher");
    std::vector<char> buffer(64 * 1024);  // hundreds of events per read
    pollfd fds[2] = {{inotify_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            log::Failure(Error::FromErrno(errno, "cannot wait for changes of folder " + folder_));
            return;
        }
        if (fds[1].revents & POLLIN) return;
        std::vector<RawEvent> events;
        bool ok = ReadEvents(inotify_.Get(), buffer.data(), buffer.size(), events);
        // The two halves of a rename are queued together; a full buffer may have split them.
        while (ok && EndsInUnpairedMove(events)) {
            const size_t before = events.size();
            ok = ReadEvents(inotify_.Get(), buffer.data(), buffer.size(), events);
            if (events.size() == before) break;
        }
        if (!ok) {
            log::Failure(Error::FromErrno(errno, "cannot read changes of folder " + folder_));
            return;
        }
        bool gone = false;
        for (const RawEvent& event : events) gone = gone || (event.mask & kGoneMask);
        std::vector<FolderChange> changes = Translate(events);
        if (!changes.empty()) on_changes_(std::move(changes));
        if (gone) return;
    }
}

}  // namespace vexa::desktop
