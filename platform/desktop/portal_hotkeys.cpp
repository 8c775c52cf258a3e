#include "platform/desktop/portal_hotkeys.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <map>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/log/log.h"
#include "platform/screen/portal_bus.h"
#include "platform/sync/spin_lock.h"
#include "platform/thread_annotations.h"
#include "platform/unique_fd.h"

namespace vexa::desktop {
namespace {

constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr auto kAnswerTime = std::chrono::seconds(60);  // the desktop may ask the user
// How long registrations are gathered before they are bound together.
constexpr auto kGatherTime = std::chrono::milliseconds(300);

struct Shortcut {
    uint32_t modifiers = 0;
    uint32_t virtual_key = 0;
};

// The shortcuts as the portal's a(sa{sv}): the id, a description and the preferred trigger.
int AppendShortcuts(sd_bus_message* m, const std::map<int, Shortcut>& shortcuts) {
    int r = sd_bus_message_open_container(m, 'a', "(sa{sv})");
    for (const auto& [key, s] : shortcuts) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'r', "sa{sv}");
        if (r >= 0) r = sd_bus_message_append(m, "s", std::to_string(key).c_str());
        if (r >= 0)
            r = platform::AppendOptions(
                m, {{"description", "hotkey " + HotkeyService::ChordText(s.modifiers, s.virtual_key)},
                    {"preferred_trigger", PortalTrigger(s.modifiers, s.virtual_key)}});
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

// A new shortcut session. The shortcuts go with it as well: KDE's portal (Plasma 5.27) takes a
// session's shortcuts only from CreateSession's options, once; other portals ignore the option and
// take them from BindShortcuts.
Result<std::string> CreateShortcutSession(platform::PortalBus& bus,
                                          const std::map<int, Shortcut>& shortcuts) {
    const std::string session_token = bus.NewToken();
    Result<platform::MessagePtr> created = bus.Request(
        kShortcuts, "CreateSession",
        [&](sd_bus_message* m, const std::string& token) {
            int r = sd_bus_message_open_container(m, 'a', "{sv}");
            for (const auto& [key, value] : {std::pair<const char*, std::string>{"handle_token", token},
                                             {"session_handle_token", session_token}}) {
                if (r >= 0) r = sd_bus_message_append(m, "{sv}", key, "s", value.c_str());
            }
            if (!shortcuts.empty()) {
                if (r >= 0) r = sd_bus_message_open_container(m, 'e', "sv");
                if (r >= 0) r = sd_bus_message_append(m, "s", "shortcuts");
                if (r >= 0) r = sd_bus_message_open_container(m, 'v', "a(sa{sv})");
                if (r >= 0) r = AppendShortcuts(m, shortcuts);
                if (r >= 0) r = sd_bus_message_close_container(m);
                if (r >= 0) r = sd_bus_message_close_container(m);
            }
            return r < 0 ? r : sd_bus_message_close_container(m);
        },
        "the shortcut session", kAnswerTime);
    if (!created.ok()) return created.error();
    std::string session;
    if (platform::ReadOptions(created->get(),
                              [&](const std::string& key, sd_bus_message* v) {
                                  return key == "session_handle" && platform::ReadVariantString(v, session);
                              }) < 0 ||
        session.empty())
        return Error(ErrorCode::kProtocol, "the shortcut portal created a session without a handle");
    return session;
}

void CloseSession(platform::PortalBus& bus, const std::string& session) {
    sd_bus_call_method(bus.get(), platform::kPortalService, session.c_str(), "org.freedesktop.portal.Session",
                       "Close", nullptr, nullptr, "");
}

class PortalHotkeys final : public HotkeyBackend {
  public:
    PortalHotkeys(std::unique_ptr<platform::PortalBus> bus, std::string session, platform::UniqueFd wake,
                  HotkeyService::Callback on_hotkey)
        : on_hotkey_(std::move(on_hotkey)),
          wake_(std::move(wake)),
          bus_(std::move(bus)),
          session_(std::move(session)) {}

    ~PortalHotkeys() override {
        {
            platform::SpinGuard guard(lock_);
            stopping_ = true;
        }
        Wake();
        if (thread_.joinable()) thread_.join();
        CloseSession(*bus_, session_);
    }

    Error Start() {
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_match_signal(bus_->get(), &slot, nullptr, platform::kPortalPath, kShortcuts,
                                          "Activated", &PortalHotkeys::OnActivated, this);
        if (r < 0) return platform::BusError(r, "cannot listen for the desktop's shortcuts");
        activated_slot_ = slot;
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error& e) {
            return Error::FromErrno(e.code().value(), "cannot start the hotkey thread");
        }
        return {};
    }

    // Registrations that come together (the program's at start) are bound together, in one session:
    // the binding follows once none has come for a moment.
    Error Register(int id, uint32_t modifiers, uint32_t virtual_key) override {
        return Call([&] {
            wanted_[id] = Shortcut{modifiers, virtual_key};
            bind_due_ = std::chrono::steady_clock::now() + kGatherTime;
            return Error{};
        });
    }

    void Unregister(int id) override {
        log::Failure(Call([&] {
                         bound_.erase(id);
                         wanted_.erase(id);
                         return Error{};
                     }),
                     "cannot unregister a hotkey");
    }

  private:
    // Runs task on the listener thread and returns its result; at once when called there.
    Error Call(const std::function<Error()>& task) {
        if (std::this_thread::get_id() == thread_.get_id()) return task();
        std::promise<Error> done;
        std::future<Error> result = done.get_future();
        {
            platform::SpinGuard guard(lock_);
            if (!listening_) return Error(ErrorCode::kUnavailable, "the desktop's shortcut portal is gone");
            tasks_.push_back([&] { done.set_value(task()); });
        }
        Wake();
        return result.get();
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_.Get(), &one, sizeof one);
    }

    // Binds every wanted shortcut in a new session made with all of them (see
    // CreateShortcutSession); the old session then closes. On refusal it keeps what it had.
    void Bind() {
        bind_due_.reset();
        std::string chords;
        for (const auto& [id, s] : wanted_)
            chords += (chords.empty() ? "" : ", ") + HotkeyService::ChordText(s.modifiers, s.virtual_key);
        Result<std::string> session = CreateShortcutSession(*bus_, wanted_);
        if (!session.ok()) return log::Failure(session.error().Within("cannot register hotkeys " + chords));
        Result<platform::MessagePtr> bound = bus_->Request(
            kShortcuts, "BindShortcuts",
            [&](sd_bus_message* m, const std::string& token) {
                int r = sd_bus_message_append(m, "o", session->c_str());
                if (r >= 0) r = AppendShortcuts(m, wanted_);
                if (r >= 0) r = sd_bus_message_append(m, "s", "");
                return r < 0 ? r : platform::AppendOptions(m, {{"handle_token", token}});
            },
            "binding hotkeys " + chords, kAnswerTime);
        if (!bound.ok()) {
            CloseSession(*bus_, *session);
            return log::Failure(bound.error().Within("cannot register hotkeys " + chords));
        }
        CloseSession(*bus_, session_);
        session_ = std::move(session).value();
        bound_ = wanted_;
        log::Info("global hotkeys bound by the desktop: " + chords);
    }

    static int OnActivated(sd_bus_message* m, void* data, sd_bus_error*) {
        auto* self = static_cast<PortalHotkeys*>(data);
        const char* session = nullptr;
        const char* shortcut_id = nullptr;
        if (sd_bus_message_read(m, "os", &session, &shortcut_id) < 0 || self->session_ != session) return 0;
        char* end = nullptr;
        const long id = std::strtol(shortcut_id, &end, 10);
        if (!end || *end != '\0') return 0;
        // Called back once sd-bus has returned: on_hotkey may register hotkeys, which uses the bus.
        self->activated_.push_back(static_cast<int>(id));
        return 0;
    }

    void CallBack() {
        std::vector<int> ids;
        ids.swap(activated_);
        for (const int id : ids) {
            const auto it = bound_.find(id);
            if (it != bound_.end()) on_hotkey_(id, it->second.modifiers);  // else unregistered meanwhile
        }
    }

    void Run() {
        pthread_setname_np(pthread_self(), "hotkeys");
        for (;;) {
            std::vector<std::function<void()>> batch;
            bool stop = false;
            {
                platform::SpinGuard guard(lock_);
                batch.swap(tasks_);
                stop = stopping_;
            }
            for (const auto& task : batch) task();
            if (stop) break;
            if (bind_due_ && std::chrono::steady_clock::now() >= *bind_due_) Bind();
            int r = 0;
            while ((r = sd_bus_process(bus_->get(), nullptr)) > 0) {
            }
            if (r < 0) {
                log::Failure(platform::BusError(r, "the session bus broke"), "global hotkeys stopped");
                break;
            }
            CallBack();
            pollfd fds[2] = {
                {sd_bus_get_fd(bus_->get()), static_cast<short>(sd_bus_get_events(bus_->get())), 0},
                {wake_.Get(), POLLIN, 0}};
            if (poll(fds, 2, PollTimeout()) < 0 && errno != EINTR) break;
            uint64_t count = 0;
            if ((fds[1].revents & POLLIN) && read(wake_.Get(), &count, sizeof count) < 0 && errno != EAGAIN)
                break;
        }
        std::vector<std::function<void()>> late;
        {
            platform::SpinGuard guard(lock_);
            listening_ = false;
            late.swap(tasks_);
        }
        for (const auto& task : late) task();
        sd_bus_slot_unref(activated_slot_);
        activated_slot_ = nullptr;
    }

    // sd-bus asks to be woken at an absolute monotonic time, or never.
    int PollTimeout() {
        int bind_in = -1;
        if (bind_due_) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*bind_due_ - std::chrono::steady_clock::now());
            bind_in = static_cast<int>(std::clamp<int64_t>(left.count(), 0, 60'000));
        }
        uint64_t at = 0;
        if (sd_bus_get_timeout(bus_->get(), &at) < 0 || at == UINT64_MAX) return bind_in;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t now_us =
            static_cast<uint64_t>(now.tv_sec) * 1'000'000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
        const int bus_in =
            at <= now_us ? 0 : static_cast<int>(std::min<uint64_t>((at - now_us + 999) / 1000, 60'000));
        return bind_in < 0 ? bus_in : std::min(bus_in, bind_in);
    }

    // Set before the thread starts, read-only afterwards.
    const HotkeyService::Callback on_hotkey_;
    const platform::UniqueFd wake_;
    std::thread thread_;

    // Owned by the listener thread once it runs.
    std::unique_ptr<platform::PortalBus> bus_;
    std::string session_;  // the session of the shortcuts bound last
    sd_bus_slot* activated_slot_ = nullptr;
    std::map<int, Shortcut> bound_;                                  // what the desktop has bound in session_
    std::map<int, Shortcut> wanted_;                                 // what the program registered
    std::optional<std::chrono::steady_clock::time_point> bind_due_;  // when wanted_ is bound
    std::vector<int> activated_;  // ids the portal activated, not yet called back

    // Shared by callers and the listener thread.
    platform::SpinLock lock_;
    std::vector<std::function<void()>> tasks_ GUARDED_BY(lock_);
    bool stopping_ GUARDED_BY(lock_) = false;
    bool listening_ GUARDED_BY(lock_) = true;
};

}  // namespace

std::string PortalTrigger(uint32_t modifiers, uint32_t virtual_key) {
    std::string key;
    if (virtual_key >= 'A' && virtual_key <= 'Z') {
        key = std::string(1, static_cast<char>(virtual_key - 'A' + 'a'));
    } else if (virtual_key >= '0' && virtual_key <= '9') {
        key = std::string(1, static_cast<char>(virtual_key));
    } else if (virtual_key >= 0x70 && virtual_key <= 0x7B) {
        key = 'F';  // appended, not "F" + temporary, which GCC 12 at -O3 misreads as an overlapping copy
        key += std::to_string(virtual_key - 0x70 + 1);
    } else {
        return {};
    }
    std::string text;
    if (modifiers & kModControl) text += "CTRL+";
    if (modifiers & kModAlt) text += "ALT+";
    if (modifiers & kModShift) text += "SHIFT+";
    if (modifiers & kModWin) text += "LOGO+";
    return text + key;
}

Result<std::unique_ptr<HotkeyBackend>> OpenPortalHotkeys(HotkeyService::Callback on_hotkey) {
    Result<std::unique_ptr<platform::PortalBus>> opened = platform::PortalBus::Open();
    if (!opened.ok()) return opened.error();
    std::unique_ptr<platform::PortalBus> bus = std::move(opened).value();
    if (Result<uint32_t> version = bus->Version(kShortcuts); !version.ok()) return version.error();
    Result<std::string> session = CreateShortcutSession(*bus, {});
    if (!session.ok()) return session.error();
    platform::UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) return Error::FromErrno(errno, "cannot create the hotkey thread's wake-up");
    auto hotkeys = std::make_unique<PortalHotkeys>(std::move(bus), std::move(session).value(),
                                                   std::move(wake), std::move(on_hotkey));
    if (Error e = hotkeys->Start(); !e.ok()) return e;
    return std::unique_ptr<HotkeyBackend>(std::move(hotkeys));
}

}  // namespace vexa::desktop
