#include "tests/shell/program_under_test.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/desktop/instance.h"

extern char** environ;

namespace vexa::test {
namespace {

using Clock = std::chrono::steady_clock;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) return false;
        Pause(50);
    }
    return true;
}

ProgramUnderTest::ProgramUnderTest() {
    program_ = folder_.File("VexaRecorder");
    std::filesystem::copy_file(VEXA_PROGRAM_PATH, program_);
    std::filesystem::create_directories(Home());
    Result<std::unique_ptr<platform::X11Connection>> connection = platform::X11Connection::Open(nullptr);
    if (!connection.ok()) throw std::runtime_error("program under test: " + connection.error().message());
    connection_ = std::move(connection).value();
    display_ = connection_->get();
    // The catalogues beside the built program (the copy has none beside it).
    const std::filesystem::path built(VEXA_PROGRAM_PATH);
    environment_ = {{"LANGUAGE", "zh_CN"},
                    {"VEXA_LOCALEDIR", (built.parent_path().parent_path() / "share" / "locale").string()},
                    {"VEXA_PUBLISH_CONTROL_TEXTS", "1"}};
}

void ProgramUnderTest::SetEnvironment(const std::string& name, const std::string& value) {
    environment_[name] = value;
}

ProgramUnderTest::~ProgramUnderTest() {
    for (pid_t pid : started_) {
        if (kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
}

pid_t ProgramUnderTest::Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> env_text = {"HOME=" + Home()};
    for (const auto& [name, value] : environment_) {
        if (!value.empty()) env_text.push_back(name + "=" + value);
    }
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "HOME" || name == "XDG_CONFIG_HOME" || name == "XDG_STATE_HOME" ||
            environment_.contains(name))
            continue;
        env_text.push_back(entry);
    }
    std::vector<char*> env;
    for (std::string& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> args_text = {program_};
    args_text.insert(args_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program_.c_str(), nullptr, nullptr, argv.data(), env.data()) != 0)
        throw std::runtime_error("cannot start the program");
    started_.push_back(pid);
    return pid;
}

std::optional<int> ProgramUnderTest::WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    do {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::erase(started_, pid);
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        Pause(20);
    } while (Clock::now() < end);
    return std::nullopt;
}

bool ProgramUnderTest::Running(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

std::optional<WindowState> ProgramUnderTest::FindWindow(const std::string& window_class,
                                                        const std::string& title,
                                                        std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    do {
        const Result<uint32_t> found = desktop::FindTopLevelWindow(window_class, title);
        if (found.ok() && found.value() != 0) return State(found.value());
        Pause(50);
    } while (Clock::now() < end);
    return std::nullopt;
}

WindowState ProgramUnderTest::State(unsigned long window) {
    WindowState state{.window = window};
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return state;
    state.viewable = attributes.map_state == IsViewable;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &state.x, &state.y, &child);
    state.width = attributes.width;
    state.height = attributes.height;
    return state;
}

bool ProgramUnderTest::WaitViewable(unsigned long window, bool viewable, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    do {
        if (State(window).viewable == viewable) return true;
        Pause(30);
    } while (Clock::now() < end);
    return false;
}

unsigned long ProgramUnderTest::CreateWindow(const std::string& window_class, const std::string& title) {
    const Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 50, 0, 0, 0);
    std::string name = window_class;
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(display_, window, &hint);
    XStoreName(display_, window, title.c_str());
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

// The pauses between the events of one gesture only pace the input as a hand would.
void ProgramUnderTest::Click(int x, int y, int button) {
    MoveTo(x, y);
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
    XSync(display_, False);
    Pause(40);
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
    XSync(display_, False);
    Pause(200);
}

void ProgramUnderTest::DoubleClick(int x, int y) {
    MoveTo(x, y);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
        Pause(60);
    }
    Pause(200);
}

void ProgramUnderTest::PressKey(const char* keysym_name) {
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym_name));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XSync(display_, False);
    Pause(30);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
    Pause(300);
}

void ProgramUnderTest::MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
    Pause(120);
}

std::vector<unsigned long> ProgramUnderTest::Pixels(int x, int y, int width, int height) {
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) pixels.push_back(XGetPixel(image, column, row));
    }
    XDestroyImage(image);
    return pixels;
}

bool ProgramUnderTest::Plain(int x, int y, int width, int height) {
    const std::vector<unsigned long> pixels = Pixels(x, y, width, height);
    return !pixels.empty() && std::all_of(pixels.begin(), pixels.end(),
                                          [&](unsigned long pixel) { return pixel == pixels.front(); });
}

bool ProgramUnderTest::HoverSeen(int x, int y) {
    constexpr int kHalf = 6;
    const std::vector<unsigned long> before = Pixels(x - kHalf, y - kHalf, 2 * kHalf, 2 * kHalf);
    MoveTo(x, y);
    return WaitFor([&] { return Pixels(x - kHalf, y - kHalf, 2 * kHalf, 2 * kHalf) != before; });
}

std::map<std::string, std::pair<std::string, std::string>> ProgramUnderTest::ControlTexts(
    unsigned long window) {
    std::map<std::string, std::pair<std::string, std::string>> controls;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, "_VEXA_CONTROL_TEXTS", False), 0, 1 << 20,
                           False, AnyPropertyType, &type, &format, &count, &after, &data) != Success ||
        !data)
        return controls;
    const std::string text(reinterpret_cast<const char*>(data), count);
    XFree(data);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        // The first control of a name wins, as the program's own look-up by name finds it.
        controls.try_emplace(line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                             line.substr(tab2 + 1));
    }
    return controls;
}

std::string ProgramUnderTest::IniText() const {
    return ReadFile(folder_.File("VexaRecorder.ini"));
}

std::string ProgramUnderTest::SettingsText() const {
    return ReadFile(Home() + "/.config/Vexa/VexaRecorder/settings.reg");
}

std::string ProgramUnderTest::LogText() const {
    return ReadFile(Home() + "/.local/state/Vexa/VexaRecorder/VexaRecorder.log");
}

}  // namespace vexa::test
