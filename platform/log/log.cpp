#include "platform/log/log.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace vexa::log {
namespace {

std::mutex sink_mutex;
std::shared_ptr<Sink>& CurrentSink() {
    static std::shared_ptr<Sink> sink;
    return sink;
}

std::shared_ptr<Sink> LoadSink() {
    std::lock_guard lock(sink_mutex);
    return CurrentSink();
}

std::string ThreadName() {
    char name[32] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
    return name;
}

// Creates every missing folder of path's parent chain with mode 0700.
Error MakeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return Error::FromErrno(errno, "cannot create folder " + folder);
    }
    return {};
}

// A FIFO or a device in the log's place must not hang the program: refused, as a link is.
Result<platform::UniqueFd> OpenForAppend(const std::string& path) {
    return platform::OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, 0600,
                                     "cannot open log");
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

const char* LevelName(Level level) {
    switch (level) {
        case Level::kDebug:
            return "DEBUG";
        case Level::kInfo:
            return "INFO";
        case Level::kWarning:
            return "WARN";
        case Level::kError:
            return "ERROR";
    }
    return "?";
}

std::shared_ptr<Sink> SetSink(std::shared_ptr<Sink> sink) {
    std::lock_guard lock(sink_mutex);
    std::swap(CurrentSink(), sink);
    return sink;
}

std::string FormatLine(Level level, std::string_view message, std::chrono::system_clock::time_point when,
                       long thread_id, std::string_view thread_name) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    const size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line(stamp, n);
    char rest[48];
    std::snprintf(rest, sizeof rest, ".%03d [%ld", static_cast<int>(millis < 0 ? 0 : millis), thread_id);
    line += rest;
    if (!thread_name.empty()) line.append(" ").append(thread_name);
    line.append("] ").append(LevelName(level)).append(" ");
    // A message never breaks the one-line-per-entry rule.
    for (char c : message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    return line;
}

void Write(Level level, std::string_view message) {
    const std::shared_ptr<Sink> sink = LoadSink();
    if (!sink) return;
    sink->Write(FormatLine(level, message, std::chrono::system_clock::now(),
                           static_cast<long>(syscall(SYS_gettid)), ThreadName()));
}

void Writef(Level level, const char* format, ...) {
    if (!LoadSink()) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    Write(level, text);
}

void Failure(const Error& error, std::string_view context) {
    if (error.ok()) return;
    std::string line;
    if (!context.empty()) line.append(context).append(": ");
    line.append(error.message()).append(" (").append(ErrorCodeName(error.code())).append(")");
    Write(Level::kError, line);
}

// ---- RotatingFileSink ----

struct RotatingFileSink::State {
    std::mutex mutex;
    platform::UniqueFd fd;  // under mutex
};

RotatingFileSink::RotatingFileSink(std::string path, std::uintmax_t max_bytes, int keep,
                                   std::unique_ptr<State> state)
    : path_(std::move(path)), max_bytes_(max_bytes), keep_(keep < 1 ? 1 : keep), state_(std::move(state)) {}

RotatingFileSink::~RotatingFileSink() = default;

Result<std::shared_ptr<RotatingFileSink>> RotatingFileSink::Open(const std::string& path,
                                                                 std::uintmax_t max_bytes, int keep) {
    if (path.empty() || path.front() != '/')
        return Error(ErrorCode::kInvalidArgument, "log path '" + path + "' is not absolute");
    if (Error made = MakeParentFolders(path); !made.ok()) return made;
    Result<platform::UniqueFd> fd = OpenForAppend(path);
    if (!fd.ok()) return fd.error();
    auto state = std::make_unique<State>();
    state->fd = std::move(fd).value();
    return std::shared_ptr<RotatingFileSink>(new RotatingFileSink(path, max_bytes, keep, std::move(state)));
}

void RotatingFileSink::Write(std::string_view line) {
    std::string text(line);
    text.push_back('\n');
    std::lock_guard lock(state_->mutex);
    platform::UniqueFd& fd = state_->fd;
    struct stat ours {
    }, named{};
    const bool have_ours = fd.Valid() && fstat(fd.Get(), &ours) == 0;
    // Another process rotated the file (or it was removed): follow the name.
    if (!have_ours || stat(path_.c_str(), &named) != 0 || !SameFile(ours, named)) {
        Result<platform::UniqueFd> reopened = OpenForAppend(path_);
        if (!reopened.ok()) return;
        fd = std::move(reopened).value();
        if (fstat(fd.Get(), &ours) != 0) return;
    }
    if (ours.st_size > 0 && static_cast<std::uintmax_t>(ours.st_size) + text.size() > max_bytes_) {
        // Whoever holds the lock and still sees the full file under the name rotates it.
        if (flock(fd.Get(), LOCK_EX) == 0) {
            if (stat(path_.c_str(), &named) == 0 && SameFile(ours, named)) {
                for (int i = keep_ - 1; i >= 1; --i) {
                    const std::string from = i == 1 ? path_ : path_ + "." + std::to_string(i - 1);
                    (void)std::rename(from.c_str(), (path_ + "." + std::to_string(i)).c_str());
                }
                if (keep_ == 1) (void)unlink(path_.c_str());
            }
            flock(fd.Get(), LOCK_UN);
        }
        Result<platform::UniqueFd> fresh = OpenForAppend(path_);
        if (!fresh.ok()) return;
        fd = std::move(fresh).value();
    }
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.Get(), data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a log that cannot be written must not stop the program
        data += n;
        left -= static_cast<size_t>(n);
    }
}

std::string DefaultLogPath() {
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        state = xdg;
    } else {
        std::string home;
        if (const char* h = std::getenv("HOME"); h && h[0]) {
            home = h;
        } else {
            std::vector<char> buffer(16384);
            passwd entry{};
            passwd* found = nullptr;
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
                home = found->pw_dir;
        }
        state = home + "/.local/state";
    }
    while (state.size() > 1 && state.back() == '/') state.pop_back();
    return state + "/Vexa/VexaRecorder/VexaRecorder.log";
}

Error OpenDefaultLog() {
    Result<std::shared_ptr<RotatingFileSink>> sink = RotatingFileSink::Open(DefaultLogPath());
    if (!sink.ok()) return sink.error();
    SetSink(std::move(sink).value());
    return {};
}

}  // namespace vexa::log
