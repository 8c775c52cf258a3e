#include "platform/desktop/shell_open.h"

#include "platform/process/detached_launch.h"

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
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// What xdg-open's exit status says went wrong.
std::string OpenerFailure(uint32_t status) {
    switch (status) {
        case 2:
            return "it is not there";
        case 3:
            return "no application to open it with is set up";
        case 4:
            return "the application could not open it";
        default:
            return "xdg-open failed";
    }
}

// Starts xdg-open (found on $PATH) detached with `argument`, and says when it ends at once failing.
Error SpawnOpener(const std::string& argument) {
    Result<std::string> file = FindOnPath(kOpener);
    if (!file.ok()) return file.error();
    const Result<std::optional<int>> launched =
        platform::LaunchAndWatch(*file, {kOpener, argument}, kOpenerWatch);
    if (!launched.ok()) return launched.error();
    const std::optional<int> status = launched.value();
    if (!status || *status == 0) return {};
    const auto code = static_cast<uint32_t>(*status);
    return Error(ErrorCode::kUnavailable,
                 OpenerFailure(code) + " (xdg-open exit status " + std::to_string(code) + ")", code);
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
    Error error = SpawnOpener(argument);
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
