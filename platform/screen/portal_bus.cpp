#include "platform/screen/portal_bus.h"

#include <cstring>

namespace vexa::platform {
namespace {

struct BusErrorFree {
    void operator()(sd_bus_error* e) const { sd_bus_error_free(e); }
};

// The Request object a portal creates for a call of this connection with this token.
std::string RequestPath(sd_bus* bus, const std::string& token) {
    const char* unique = nullptr;
    std::string sender = sd_bus_get_unique_name(bus, &unique) >= 0 && unique ? unique + 1 : "";
    for (char& c : sender)
        if (c == '.') c = '_';
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

int AppendOption(sd_bus_message* m, const std::string& key, const OptionValue& value) {
    int r = sd_bus_message_open_container(m, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(m, "s", key.c_str());
    if (r < 0) return r;
    if (const auto* s = std::get_if<std::string>(&value)) {
        r = sd_bus_message_append(m, "v", "s", s->c_str());
    } else if (const auto* u = std::get_if<uint32_t>(&value)) {
        r = sd_bus_message_append(m, "v", "u", *u);
    } else if (const auto* b = std::get_if<bool>(&value)) {
        r = sd_bus_message_append(m, "v", "b", static_cast<int>(*b));
    } else {
        r = sd_bus_message_append(m, "v", "o", std::get<ObjectPath>(value).path.c_str());
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

// The Response of one request: filled by the signal handler.
struct PendingResponse {
    MessagePtr message;
};

int OnResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<PendingResponse*>(userdata);
    if (!pending->message) pending->message.reset(sd_bus_message_ref(m));
    return 0;
}

struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

}  // namespace

Error BusError(int negative_errno, const std::string& what) {
    return Error::FromErrno(-negative_errno, what);
}

int AppendOptions(sd_bus_message* m, const Options& options) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& [key, value] : options) {
        if (r < 0) return r;
        r = AppendOption(m, key, value);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int ReadOptions(sd_bus_message* m, const std::function<bool(const std::string&, sd_bus_message*)>& read) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
        if (!read(key, m) && (r = sd_bus_message_skip(m, "v")) < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    return r < 0 ? r : sd_bus_message_exit_container(m);
}

bool ReadVariantString(sd_bus_message* m, std::string& out) {
    const char* text = nullptr;
    for (const char* type : {"s", "o"}) {
        if (sd_bus_message_read(m, "v", type, &text) >= 0) {
            out = text ? text : "";
            return true;
        }
    }
    return false;
}

bool ReadVariantUint(sd_bus_message* m, uint32_t& out) {
    return sd_bus_message_read(m, "v", "u", &out) >= 0;
}

Result<std::unique_ptr<PortalBus>> PortalBus::Open() {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0)
        return Error(ErrorCode::kUnavailable,
                     std::string("cannot connect to the session bus: ") + std::strerror(-r));
    return std::unique_ptr<PortalBus>(new PortalBus(bus));
}

PortalBus::~PortalBus() {
    sd_bus_flush_close_unref(bus_);
}

std::string PortalBus::NewToken() {
    return "vexa" + std::to_string(++tokens_);
}

Result<uint32_t> PortalBus::UintProperty(const char* interface, const char* name) {
    sd_bus_error error{};  // the null error: no name, no message, nothing to free
    std::unique_ptr<sd_bus_error, BusErrorFree> free_error(&error);
    uint32_t value = 0;
    const int r =
        sd_bus_get_property_trivial(bus_, kPortalService, kPortalPath, interface, name, &error, 'u', &value);
    if (r < 0) {
        const std::string reason = error.message ? error.message : std::strerror(-r);
        return Error(ErrorCode::kUnavailable,
                     std::string("the desktop offers no ") + interface + " portal: " + reason);
    }
    return value;
}

Result<uint32_t> PortalBus::Version(const char* interface) {
    return UintProperty(interface, "version");
}

Error PortalBus::DispatchUntil(const std::function<bool()>& done,
                               std::chrono::steady_clock::time_point deadline, const std::string& what) {
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) return BusError(r, "the session bus broke while waiting for " + what);
        if (done()) return {};
        if (r > 0) continue;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return Error(ErrorCode::kTimeout, "the desktop did not answer " + what);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
        if (const int w = sd_bus_wait(bus_, static_cast<uint64_t>(us)); w < 0 && w != -EINTR)
            return BusError(w, "the session bus broke while waiting for " + what);
    }
}

Result<MessagePtr> PortalBus::Request(const char* interface, const char* method, const AppendArgs& append,
                                      const std::string& what, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string token = NewToken();
    PendingResponse pending;
    // The match comes first, so that a portal answering at once is heard.
    auto listen = [&](const std::string& path, SlotPtr& slot) {
        sd_bus_slot* raw = nullptr;
        const int r = sd_bus_match_signal(bus_, &raw, nullptr, path.c_str(), "org.freedesktop.portal.Request",
                                          "Response", OnResponse, &pending);
        slot.reset(raw);
        return r;
    };
    SlotPtr expected_slot;
    if (const int r = listen(RequestPath(bus_, token), expected_slot); r < 0)
        return BusError(r, "cannot listen for the answer to " + what);

    sd_bus_message* raw_call = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &raw_call, kPortalService, kPortalPath, interface, method);
    MessagePtr call(raw_call);
    if (r >= 0) r = append(call.get(), token);
    if (r < 0) return BusError(r, "cannot compose " + what);
    sd_bus_error error{};  // the null error: no name, no message, nothing to free
    std::unique_ptr<sd_bus_error, BusErrorFree> free_error(&error);
    sd_bus_message* raw_reply = nullptr;
    r = sd_bus_call(bus_, call.get(), static_cast<uint64_t>(timeout.count()) * 1000, &error, &raw_reply);
    MessagePtr reply(raw_reply);
    if (r < 0) {
        const std::string reason = error.message ? error.message : std::strerror(-r);
        return Error(ErrorCode::kUnavailable, "the desktop portal rejected " + what + ": " + reason);
    }
    // Portals before version 0.9 chose the Request's path themselves.
    const char* handle = nullptr;
    SlotPtr returned_slot;
    if (sd_bus_message_read(reply.get(), "o", &handle) >= 0 && handle && handle != RequestPath(bus_, token)) {
        if ((r = listen(handle, returned_slot)) < 0)
            return BusError(r, "cannot listen for the answer to " + what);
    }
    if (Error e = DispatchUntil([&] { return pending.message != nullptr; }, deadline, what); !e.ok())
        return e;

    uint32_t code = 2;
    if (sd_bus_message_read(pending.message.get(), "u", &code) < 0)
        return Error(ErrorCode::kProtocol, "the desktop portal's answer to " + what + " is malformed");
    switch (code) {
        case 0:
            return std::move(pending.message);
        case 1:
            return Error(ErrorCode::kCancelled, "the user declined " + what);
        default:
            return Error(ErrorCode::kPermission, "the desktop refused " + what);
    }
}

}  // namespace vexa::platform
