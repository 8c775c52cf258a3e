// PortalBus: a connection to the session bus for the desktop portals (org.freedesktop.portal.Desktop
// at /org/freedesktop/portal/desktop), and the portals' request pattern: a method answers at once
// with a Request object, and its result comes later as that object's Response signal (0 success,
// 1 the user declined, 2 the desktop ended it). Screen casting and the global shortcuts share it.
//
// Ownership: the PortalBus owns its sd-bus connection; messages it hands out are reference counted
// (MessagePtr). A portal session lives as long as the connection that made it, so the owner of a
// session keeps its PortalBus open.
// Threads: one thread at a time uses a PortalBus; nothing in it is thread-safe.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/error.h"

namespace vexa::platform {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

struct BusMessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, BusMessageUnref>;

// One entry of an options dictionary (a{sv}): a string, a 32-bit unsigned number, a flag or an object
// path.
struct ObjectPath {
    std::string path;
};
using OptionValue = std::variant<std::string, uint32_t, bool, ObjectPath>;
using Options = std::vector<std::pair<std::string, OptionValue>>;

// Appends an a{sv} of the options to m; a negative errno value on failure.
[[nodiscard]] int AppendOptions(sd_bus_message* m, const Options& options);

// Reads an a{sv} from m, calling read(key, m) for every entry with m positioned at the variant: read
// returns true when it consumed the variant, false to have it skipped. A negative errno value when
// the message is malformed.
[[nodiscard]] int ReadOptions(sd_bus_message* m,
                              const std::function<bool(const std::string&, sd_bus_message*)>& read);

// Reads a variant holding a string ("s" or "o") or an unsigned number; false when it holds another
// type (the variant is then left unread).
[[nodiscard]] bool ReadVariantString(sd_bus_message* m, std::string& out);
[[nodiscard]] bool ReadVariantUint(sd_bus_message* m, uint32_t& out);

class PortalBus {
  public:
    // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS); kUnavailable when there is none.
    [[nodiscard]] static Result<std::unique_ptr<PortalBus>> Open();
    ~PortalBus();
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    [[nodiscard]] sd_bus* get() const { return bus_; }

    // The portal interface's "version" property; kUnavailable when the desktop offers no such
    // portal ("the desktop offers no org.freedesktop.portal.ScreenCast portal: ...").
    [[nodiscard]] Result<uint32_t> Version(const char* interface);
    // An unsigned property of the portal interface.
    [[nodiscard]] Result<uint32_t> UintProperty(const char* interface, const char* name);

    // Calls a portal method that answers with a Request and waits up to `timeout` for the
    // Response, dispatching other messages meanwhile. append(m, token) appends the method's
    // arguments; the options dictionary must carry "handle_token" = token. On success the Response
    // is returned positioned at its results (a{sv}). Failures name `what` ("the screen-sharing
    // request"): kCancelled when the user declined, kPermission when the desktop ended the request,
    // kTimeout, kUnavailable when the call itself fails.
    using AppendArgs = std::function<int(sd_bus_message*, const std::string& token)>;
    [[nodiscard]] Result<MessagePtr> Request(const char* interface, const char* method,
                                             const AppendArgs& append, const std::string& what,
                                             std::chrono::milliseconds timeout);

    // A fresh token for handle_token and session_handle_token options ("vexa3").
    [[nodiscard]] std::string NewToken();

  private:
    explicit PortalBus(sd_bus* bus) : bus_(bus) {}
    // Processes incoming messages until done() or the deadline; false on time-out or a broken bus.
    [[nodiscard]] Error DispatchUntil(const std::function<bool()>& done,
                                      std::chrono::steady_clock::time_point deadline,
                                      const std::string& what);

    sd_bus* bus_;
    uint32_t tokens_ = 0;
};

// The errno-style result of an sd-bus call as an Error naming what failed.
[[nodiscard]] Error BusError(int negative_errno, const std::string& what);

}  // namespace vexa::platform
