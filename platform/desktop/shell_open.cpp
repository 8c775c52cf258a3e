#include "platform/desktop/shell_open.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "platform/log/log.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace vexa::desktop {
namespace {

constexpr const char* kOpener = "xdg-open";

// The full path of an executable program on $PATH.
Result<std::string> FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return Error(ErrorCode::kNotFound,
                 "cannot start " + program + ": it is not installed (not found on PATH)");
}

// Runs in the grandchild between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecProgram(const char* file, char* const* argv, int error_pipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);  // no descriptor of ours reaches the program
    execve(file, argv, environ);
    const int err = errno;
    [[maybe_unused]] const ssize_t written = write(error_pipe, &err, sizeof err);
    _exit(127);
}

// Starts argv[0] (found on $PATH) detached through a double fork: the intermediate child exits at
// once and is reaped here, so the program is adopted by init. A pipe closed on exec reports
// whether the exec itself worked.
Error SpawnDetached(const std::vector<std::string>& arguments) {
    Result<std::string> file = FindOnPath(arguments[0]);
    if (!file.ok()) return file.error();
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string what = "cannot start " + arguments[0];

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return Error::FromErrno(errno, what);
    platform::UniqueFd read_end(fds[0]);
    platform::UniqueFd write_end(fds[1]);
    const pid_t child = fork();
    if (child < 0) return Error::FromErrno(errno, what);
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) ExecProgram(file->c_str(), argv.data(), write_end.Get());
        if (grandchild < 0) {
            const int err = errno;
            [[maybe_unused]] const ssize_t written = write(write_end.Get(), &err, sizeof err);
        }
        _exit(0);
    }
    write_end.Reset();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got = 0;
    do {
        got = read(read_end.Get(), &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof err)) return Error::FromErrno(err, what);
    return {};
}

// The session bus address: $DBUS_SESSION_BUS_ADDRESS, else the user's bus socket; "" for none.
std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return {};
    return "unix:path=" + socket;
}

// Asks the file manager to show the item; the reason when it did not.
Error AskFileManager(const std::string& path) {
    const std::string address = SessionBusAddress();
    if (address.empty()) return Error(ErrorCode::kUnavailable, "no session bus");
    static std::atomic<int> connections{0};
    const QString name = QStringLiteral("vexa-file-manager-%1").arg(connections.fetch_add(1));
    Error result;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), name);
        if (!bus.isConnected()) {
            result = Error(ErrorCode::kUnavailable,
                           "cannot reach the session bus: " + bus.lastError().message().toStdString());
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.FileManager1"),
                QStringLiteral("/org/freedesktop/FileManager1"),
                QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
            const QString uri =
                QString::fromUtf8(QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded());
            call << QStringList{uri} << QString();
            const QDBusMessage reply =
                bus.call(call, QDBus::Block, static_cast<int>(kFileManagerTimeout.count()));
            if (reply.type() != QDBusMessage::ReplyMessage) {
                result = Error(ErrorCode::kUnavailable,
                               "the file manager did not answer: " + reply.errorMessage().toStdString());
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return result;
}

}  // namespace

Error OpenWithDefaultApplication(const std::string& path) {
    // A name that begins with '-' would read as an option.
    const std::string argument = path.starts_with('-') ? "./" + path : path;
    Error error = SpawnDetached({kOpener, argument});
    log::Failure(error, "cannot open " + path);
    return error;
}

Error ShowInFileManager(const std::string& path) {
    std::error_code ignored;  // without a current folder the path stays as it is
    std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    if (absolute.empty()) absolute = path;
    const Error asked = AskFileManager(absolute.string());
    if (asked.ok()) return {};
    log::Writef(log::Level::kInfo, "showing %s by opening its folder: %s", path.c_str(),
                asked.message().c_str());
    return OpenWithDefaultApplication(absolute.parent_path().string());
}

}  // namespace vexa::desktop
