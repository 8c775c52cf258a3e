// The desktop's ScreenCast portal: asks which monitor to share (CreateSession, SelectSources, Start)
// and opens the PipeWire connection that carries its picture (OpenPipeWireRemote). A restore token
// from an earlier grant lets the desktop skip the question; the grant hands out a new one.
//
// Ownership: a ScreenCastSession owns its bus connection and the portal session, which it closes
// when destroyed (the desktop then stops the stream); the PipeWire connection is handed out once.
// Threads: one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/screen/portal_bus.h"
#include "platform/unique_fd.h"

namespace vexa::platform {

// How the stream carries the pointer (the portal's cursor_mode bits).
enum class PortalCursorMode : uint32_t { kHidden = 1, kEmbedded = 2, kMetadata = 4 };

struct ScreenCastRequest {
    bool cursor = true;         // the pointer is wanted (as metadata where offered, else drawn in)
    std::string restore_token;  // from an earlier grant; empty asks the user
    std::chrono::milliseconds answer_time{std::chrono::minutes(2)};  // for the user's choice
};

struct ScreenCastGrant {
    UniqueFd remote;  // a connection to the PipeWire daemon that may see the stream
    uint32_t node = 0;
    int width = 0;  // as the portal announced it; 0 when it did not
    int height = 0;
    PortalCursorMode cursor_mode = PortalCursorMode::kHidden;
    std::string restore_token;  // empty when the portal gave none
};

// The cursor mode to ask for among the offered bits: metadata where offered, else embedded, else
// hidden; hidden when the pointer is not wanted and the portal can hide it.
[[nodiscard]] PortalCursorMode ChooseCursorMode(uint32_t offered, bool cursor);

class ScreenCastSession {
  public:
    // Runs the whole flow. Failures name what failed: kUnavailable "no screen-sharing portal ...",
    // kCancelled / kPermission when the user or the desktop refused, kTimeout when nobody answered.
    [[nodiscard]] static Result<std::unique_ptr<ScreenCastSession>> Start(const ScreenCastRequest& request);
    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession&) = delete;
    ScreenCastSession& operator=(const ScreenCastSession&) = delete;

    [[nodiscard]] ScreenCastGrant& Grant() { return grant_; }

  private:
    ScreenCastSession(std::unique_ptr<PortalBus> bus, std::string handle)
        : bus_(std::move(bus)), handle_(std::move(handle)) {}
    [[nodiscard]] Error SelectAndStart(const ScreenCastRequest& request, uint32_t version);
    [[nodiscard]] Error OpenRemote();

    std::unique_ptr<PortalBus> bus_;
    std::string handle_;  // the portal session's object path
    ScreenCastGrant grant_;
};

}  // namespace vexa::platform
