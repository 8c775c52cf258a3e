#include "platform/screen/portal_screencast.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/log/log.h"

namespace vexa::platform {
namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr auto kQuickAnswer = std::chrono::seconds(10);  // for the steps that ask nobody
constexpr uint32_t kMonitorSource = 1;
constexpr uint32_t kPersistUntilRevoked = 2;

// The first stream of Start's "streams" (a(ua{sv})): its node and announced size.
bool ReadFirstStream(sd_bus_message* m, ScreenCastGrant& grant) {
    if (sd_bus_message_enter_container(m, 'v', "a(ua{sv})") < 0) return false;
    if (sd_bus_message_enter_container(m, 'a', "(ua{sv})") <= 0) return false;
    if (sd_bus_message_enter_container(m, 'r', "ua{sv}") <= 0) return false;
    if (sd_bus_message_read(m, "u", &grant.node) < 0) return false;
    const int r = ReadOptions(m, [&](const std::string& key, sd_bus_message* v) {
        if (key != "size") return false;
        int32_t w = 0, h = 0;
        if (sd_bus_message_read(v, "v", "(ii)", &w, &h) < 0) return false;
        grant.width = w;
        grant.height = h;
        return true;
    });
    if (r < 0 || sd_bus_message_exit_container(m) < 0) return false;
    // Further streams are skipped: one monitor was asked for.
    while (sd_bus_message_skip(m, "(ua{sv})") > 0) {
    }
    return sd_bus_message_exit_container(m) >= 0 && sd_bus_message_exit_container(m) >= 0;
}

}  // namespace

PortalCursorMode ChooseCursorMode(uint32_t offered, bool cursor) {
    const auto has = [&](PortalCursorMode mode) { return (offered & static_cast<uint32_t>(mode)) != 0; };
    if (!cursor && has(PortalCursorMode::kHidden)) return PortalCursorMode::kHidden;
    if (has(PortalCursorMode::kMetadata)) return PortalCursorMode::kMetadata;
    if (has(PortalCursorMode::kEmbedded)) return PortalCursorMode::kEmbedded;
    return PortalCursorMode::kHidden;
}

Result<std::unique_ptr<ScreenCastSession>> ScreenCastSession::Start(const ScreenCastRequest& request) {
    Result<std::unique_ptr<PortalBus>> opened = PortalBus::Open();
    if (!opened.ok()) return opened.error().Within("no screen-sharing portal");
    std::unique_ptr<PortalBus> bus = std::move(opened).value();
    Result<uint32_t> version = bus->Version(kScreenCast);
    if (!version.ok()) return version.error();

    const std::string session_token = bus->NewToken();
    Result<MessagePtr> created = bus->Request(
        kScreenCast, "CreateSession",
        [&](sd_bus_message* m, const std::string& token) {
            return AppendOptions(m, {{"handle_token", token}, {"session_handle_token", session_token}});
        },
        "the screen-sharing session", kQuickAnswer);
    if (!created.ok()) return created.error();
    std::string handle;
    const int r = ReadOptions(created->get(), [&](const std::string& key, sd_bus_message* v) {
        return key == "session_handle" && ReadVariantString(v, handle);
    });
    if (r < 0 || handle.empty())
        return Error(ErrorCode::kProtocol, "the screen-sharing portal created a session without a handle");

    std::unique_ptr<ScreenCastSession> session(new ScreenCastSession(std::move(bus), handle));
    if (Error e = session->SelectAndStart(request, *version); !e.ok()) return e;
    if (Error e = session->OpenRemote(); !e.ok()) return e;
    return session;
}

Error ScreenCastSession::SelectAndStart(const ScreenCastRequest& request, uint32_t version) {
    Options select = {{"types", kMonitorSource}, {"multiple", false}};
    if (version >= 2) {
        Result<uint32_t> offered = bus_->UintProperty(kScreenCast, "AvailableCursorModes");
        grant_.cursor_mode = ChooseCursorMode(offered.ok() ? *offered : 0, request.cursor);
        select.emplace_back("cursor_mode", static_cast<uint32_t>(grant_.cursor_mode));
    } else {
        grant_.cursor_mode = PortalCursorMode::kEmbedded;  // version 1 always draws it in
    }
    if (version >= 4) {
        select.emplace_back("persist_mode", kPersistUntilRevoked);
        if (!request.restore_token.empty()) select.emplace_back("restore_token", request.restore_token);
    }
    Result<MessagePtr> selected = bus_->Request(
        kScreenCast, "SelectSources",
        [&](sd_bus_message* m, const std::string& token) {
            Options options = select;
            options.emplace_back("handle_token", token);
            const int r = sd_bus_message_append(m, "o", handle_.c_str());
            return r < 0 ? r : AppendOptions(m, options);
        },
        "the choice of a screen to share", kQuickAnswer);
    if (!selected.ok()) return selected.error();

    Result<MessagePtr> started = bus_->Request(
        kScreenCast, "Start",
        [&](sd_bus_message* m, const std::string& token) {
            const int r = sd_bus_message_append(m, "os", handle_.c_str(), "");
            return r < 0 ? r : AppendOptions(m, {{"handle_token", token}});
        },
        "sharing the screen", request.answer_time);
    if (!started.ok()) return started.error();
    bool have_stream = false;
    const int r = ReadOptions(started->get(), [&](const std::string& key, sd_bus_message* v) {
        if (key == "streams") return have_stream = ReadFirstStream(v, grant_);
        if (key == "restore_token") return ReadVariantString(v, grant_.restore_token);
        return false;
    });
    if (r < 0 || !have_stream)
        return Error(ErrorCode::kProtocol, "the screen-sharing portal started without a stream");
    return {};
}

Error ScreenCastSession::OpenRemote() {
    sd_bus_error error{};  // the null error: no name, no message, nothing to free
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_call_method(bus_->get(), kPortalService, kPortalPath, kScreenCast,
                                     "OpenPipeWireRemote", &error, &raw, "oa{sv}", handle_.c_str(), 0);
    MessagePtr reply(raw);
    const std::string reason = error.message ? error.message : (r < 0 ? std::strerror(-r) : "");
    sd_bus_error_free(&error);
    if (r < 0) return Error(ErrorCode::kUnavailable, "the portal opened no PipeWire connection: " + reason);
    int fd = -1;
    if (sd_bus_message_read(reply.get(), "h", &fd) < 0 || fd < 0)
        return Error(ErrorCode::kProtocol, "the portal's PipeWire connection is malformed");
    // The message owns its descriptor.
    grant_.remote = UniqueFd(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!grant_.remote.Valid()) return Error::FromErrno(errno, "cannot keep the PipeWire connection");
    return {};
}

ScreenCastSession::~ScreenCastSession() {
    sd_bus_error error{};  // the null error: no name, no message, nothing to free
    const int r = sd_bus_call_method(bus_->get(), kPortalService, handle_.c_str(),
                                     "org.freedesktop.portal.Session", "Close", &error, nullptr, "");
    // A session the portal ended itself (the user declined, the desktop stopped the sharing) is
    // gone already: nothing to close, and no fault.
    const bool gone = sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD) ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_INTERFACE);
    sd_bus_error_free(&error);
    if (r < 0 && !gone) log::Failure(BusError(r, "cannot close the screen-sharing session " + handle_));
}

}  // namespace vexa::platform
