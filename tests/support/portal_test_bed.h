// A private screen-sharing desktop for tests: its own session bus (dbus-daemon), PipeWire daemon and
// session manager (WirePlumber, which links the streams), a test video source (VideoProducer) and
// the fake portal (fake_portal.py) that grants the source's node. While a bed exists, this process's
// DBUS_SESSION_BUS_ADDRESS and PIPEWIRE_RUNTIME_DIR point into it (restored afterwards), so code
// under test and children started with Env() find it.
// Threads: one test thread; the bed's processes are children that the destructor ends.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/video_producer.h"

namespace vexa::test {

class PortalTestBed {
  public:
    struct Options {
        int width = 640;  // the stream's pixels
        int height = 360;
        // The monitor's size in desktop (logical) pixels as the portal announces it, as GNOME and KDE
        // do for a scaled output (a 320x180 desktop on a 640x360 stream: scale 2); 0: the stream's.
        int desktop_width = 0;
        int desktop_height = 0;
        bool producer = true;                  // a video source and ScreenCast
        int cursor_room = 256;                 // the producer's room for a pointer bitmap (a side)
        std::vector<std::string> portal_args;  // extra fake_portal.py options ("--refuse", "--shortcuts")
    };

    // Why no bed can be made here ("" when one can): a missing program.
    [[nodiscard]] static std::string Missing();

    explicit PortalTestBed(const Options& options);
    ~PortalTestBed();
    PortalTestBed(const PortalTestBed&) = delete;
    PortalTestBed& operator=(const PortalTestBed&) = delete;

    [[nodiscard]] bool Ready() const { return error_.empty(); }
    [[nodiscard]] const std::string& Error() const { return error_; }
    [[nodiscard]] VideoProducer& Producer() { return *producer_; }
    // "DBUS_SESSION_BUS_ADDRESS=... PIPEWIRE_RUNTIME_DIR=..." for a shell command's front.
    [[nodiscard]] std::string Env() const;
    // The fake portal's calls so far, one JSON object a line.
    [[nodiscard]] std::vector<std::string> Calls() const;
    // Kills the PipeWire daemon: every stream loses its connection.
    void KillPipeWire();
    // Has the fake portal send GlobalShortcuts' Activated for the id.
    [[nodiscard]] bool Activate(const std::string& shortcut_id) const;

  private:
    pid_t Spawn(const std::vector<std::string>& argv, int stdout_fd = -1);
    [[nodiscard]] bool StartPortal(const Options& options);

    TempFolder folder_;
    std::string bus_address_;
    std::optional<std::string> saved_bus_;
    std::optional<std::string> saved_runtime_;
    std::vector<pid_t> children_;
    pid_t pipewire_ = -1;
    std::unique_ptr<VideoProducer> producer_;
    std::string error_;
};

}  // namespace vexa::test
