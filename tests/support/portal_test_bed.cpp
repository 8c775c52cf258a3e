#include "tests/support/portal_test_bed.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace vexa::test {
namespace {

// The system's interpreter, which has Debian's D-Bus and GLib bindings (not a user's own Python).
constexpr const char* kPython = "/usr/bin/python3";

bool OnPath(const char* program) {
    const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

bool WaitForSocket(const std::string& path, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    struct stat st {};
    while (std::chrono::steady_clock::now() < end) {
        if (stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::optional<std::string> GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

std::string PortalTestBed::Missing() {
    for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", kPython})
        if (!OnPath(program)) return std::string(program) + " is not installed";
    if (std::system((std::string(kPython) + " -c 'import dbus, gi' >/dev/null 2>&1").c_str()) != 0)
        return "python3-dbus and python3-gi are not installed";
    return {};
}

pid_t PortalTestBed::Spawn(const std::vector<std::string>& argv, int stdout_fd) {
    const pid_t pid = fork();
    if (pid != 0) {
        if (pid > 0) children_.push_back(pid);
        return pid;
    }
    if (stdout_fd >= 0) dup2(stdout_fd, STDOUT_FILENO);
    const int quiet = open("/dev/null", O_WRONLY);
    if (stdout_fd < 0) dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

PortalTestBed::PortalTestBed(const Options& options) {
    saved_bus_ = GetEnv("DBUS_SESSION_BUS_ADDRESS");
    saved_runtime_ = GetEnv("PIPEWIRE_RUNTIME_DIR");
    const std::string bus_socket = folder_.File("bus");
    bus_address_ = "unix:path=" + bus_socket;
    Spawn({"dbus-daemon", "--session", "--nofork", "--address=" + bus_address_});
    if (!WaitForSocket(bus_socket, std::chrono::seconds(10))) {
        error_ = "dbus-daemon did not start";
        return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_address_.c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", folder_.Path().c_str(), 1);
    if (options.producer) {
        // The daemon's children inherit the private runtime folder and bus.
        pipewire_ = Spawn({"env", "XDG_RUNTIME_DIR=" + folder_.Path().string(), "pipewire"});
        if (!WaitForSocket(folder_.File("pipewire-0"), std::chrono::seconds(10))) {
            error_ = "pipewire did not start";
            return;
        }
        Spawn({"env", "XDG_RUNTIME_DIR=" + folder_.Path().string(),
               "XDG_CONFIG_HOME=" + folder_.File("config"), "XDG_STATE_HOME=" + folder_.File("state"),
               "wireplumber"});
        producer_ = VideoProducer::Start(options.width, options.height, options.cursor_room);
        if (!producer_ || producer_->NodeId() == 0) {
            error_ = "the test video source cannot reach pipewire";
            return;
        }
    }
    if (!StartPortal(options)) error_ = "the fake portal did not start";
}

bool PortalTestBed::StartPortal(const Options& options) {
    int ready[2];
    if (pipe(ready) != 0) return false;
    std::vector<std::string> argv = {kPython, VEXA_FAKE_PORTAL, "--calls", folder_.File("calls.jsonl")};
    if (producer_) {
        const int desktop_width = options.desktop_width > 0 ? options.desktop_width : options.width;
        const int desktop_height = options.desktop_height > 0 ? options.desktop_height : options.height;
        argv.insert(argv.end(), {"--node", std::to_string(producer_->NodeId()), "--width",
                                 std::to_string(desktop_width), "--height", std::to_string(desktop_height),
                                 "--pipewire-socket", folder_.File("pipewire-0")});
    } else {
        argv.push_back("--no-screencast");
    }
    argv.insert(argv.end(), options.portal_args.begin(), options.portal_args.end());
    Spawn(argv, ready[1]);
    close(ready[1]);
    FILE* in = fdopen(ready[0], "r");
    char line[32] = {};
    const bool ok = in && fgets(line, sizeof line, in) && std::string(line) == "ready\n";
    if (in) fclose(in);
    return ok;
}

PortalTestBed::~PortalTestBed() {
    producer_.reset();
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) kill(*it, SIGTERM);
    for (pid_t pid : children_) waitpid(pid, nullptr, 0);
    Restore("DBUS_SESSION_BUS_ADDRESS", saved_bus_);
    Restore("PIPEWIRE_RUNTIME_DIR", saved_runtime_);
}

std::string PortalTestBed::Env() const {
    return "DBUS_SESSION_BUS_ADDRESS=" + bus_address_ + " PIPEWIRE_RUNTIME_DIR=" + folder_.Path().string();
}

std::vector<std::string> PortalTestBed::Calls() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(folder_.File("calls.jsonl")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void PortalTestBed::KillPipeWire() {
    if (pipewire_ > 0) kill(pipewire_, SIGKILL);
}

bool PortalTestBed::Activate(const std::string& shortcut_id) const {
    const std::string cmd = "DBUS_SESSION_BUS_ADDRESS=" + bus_address_ +
                            " dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop "
                            "/org/freedesktop/portal/desktop org.vexa.Test.Activate string:" +
                            shortcut_id + " 2>/dev/null | grep -q 'boolean true'";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace vexa::test
