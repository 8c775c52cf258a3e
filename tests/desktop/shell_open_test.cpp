// Opening files with a fake xdg-open first on PATH that records its arguments, and showing a file
// through a fake file manager on a private session bus (or, without a bus, by opening its folder).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/shell_open.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace vexa::desktop {
namespace {

namespace fs = std::filesystem;

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "desktop_files_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QCoreApplication> app_;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using test::ScopedEnv;

class ShellOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The fake writes its parent process, then each argument ended by a NUL, and renames the
        // record into place when it is complete.
        test::WriteFile(folder_.Path() / "bin" / "xdg-open",
                        "#!/bin/sh\n"
                        "{ echo \"$PPID\"; printf '%s\\0' \"$@\"; } > '" +
                            Record().string() +
                            ".part'\n"
                            "mv '" +
                            Record().string() + ".part' '" + Record().string() + "'\n",
                        /*executable=*/true);
        const char* path = std::getenv("PATH");
        path_ =
            std::make_unique<ScopedEnv>("PATH", (folder_.Path() / "bin").string() + ":" + (path ? path : ""));
    }

    fs::path Record() const { return folder_.Path() / "record"; }

    // The arguments the fake xdg-open got, once it has run.
    std::vector<std::string> Arguments() {
        EXPECT_TRUE(test::WaitForFile(Record())) << "xdg-open never ran";
        const std::string text = test::ReadFile(Record());
        fs::remove(Record());
        const size_t line_end = text.find('\n');
        if (line_end == std::string::npos) return {};
        EXPECT_NE(std::stol(text.substr(0, line_end)), static_cast<long>(getpid()))
            << "xdg-open is our child";
        std::vector<std::string> arguments;
        for (size_t at = line_end + 1; at < text.size();) {
            const size_t end = text.find('\0', at);
            arguments.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return arguments;
    }

    test::TempFolder folder_;
    std::unique_ptr<ScopedEnv> path_;
};

TEST_F(ShellOpenTest, TheFileReachesXdgOpenUnchangedAndNoChildIsLeft) {
    const std::string file = (folder_.Path() / "录屏 文件" / "20240102_030405 (1).mp4").string();
    ASSERT_TRUE(OpenWithDefaultApplication(file).ok());
    // The intermediate child is reaped and xdg-open belongs to init: nothing of ours is left.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(Arguments(), std::vector<std::string>{file});

    ASSERT_TRUE(OpenWithDefaultApplication("-x.mp4").ok());
    EXPECT_EQ(Arguments(), std::vector<std::string>{"./-x.mp4"});  // not an option
}

TEST_F(ShellOpenTest, AMissingOrBrokenXdgOpenIsAFailureThatSaysSo) {
    {
        ScopedEnv no_opener("PATH", folder_.Path().string());
        const Error error = OpenWithDefaultApplication("/tmp/a.mp4");
        EXPECT_EQ(error.code(), ErrorCode::kNotFound);
        EXPECT_NE(error.message().find("xdg-open"), std::string::npos) << error.message();
    }
    // Found, but exec fails: the reason comes back from the child.
    test::WriteFile(folder_.Path() / "bin" / "xdg-open", "#!/nonexistent/interpreter\n", /*executable=*/true);
    const Error error = OpenWithDefaultApplication("/tmp/a.mp4");
    EXPECT_EQ(error.code(), ErrorCode::kNotFound);
    EXPECT_NE(error.message().find("No such file"), std::string::npos) << error.message();
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

// xdg-open runs but ends at once failing: nothing is set up to open the file (exit status 3), or it
// is gone (2). That is a failure naming the reason, where success was reported before.
TEST_F(ShellOpenTest, AnXdgOpenThatEndsFailingIsAFailureThatSaysWhy) {
    for (const auto& [status, reason] : {std::pair{3, "no application to open it with is set up"},
                                         std::pair{2, "it is not there"}, std::pair{1, "xdg-open failed"}}) {
        test::WriteFile(folder_.Path() / "bin" / "xdg-open",
                        "#!/bin/sh\nexit " + std::to_string(status) + "\n",
                        /*executable=*/true);
        const Error error = OpenWithDefaultApplication("/tmp/a.mp4");
        EXPECT_EQ(error.code(), ErrorCode::kUnavailable);
        EXPECT_EQ(error.native_code(), static_cast<uint32_t>(status));
        EXPECT_EQ(error.message(),
                  std::string(reason) + " (xdg-open exit status " + std::to_string(status) + ")");
    }
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellOpenTest, WithoutASessionBusTheFileManagerStandInOpensTheFolder) {
    ScopedEnv no_bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    ScopedEnv no_runtime("XDG_RUNTIME_DIR", folder_.Path().string());  // holds no bus socket
    const fs::path file = folder_.Path() / "输出 目录" / "20240102_030405.mp4";
    ASSERT_TRUE(ShowInFileManager(file.string()).ok());
    EXPECT_EQ(Arguments(), std::vector<std::string>{file.parent_path().string()});
}

// org.freedesktop.FileManager1 on a private bus: records ShowItems calls and answers them.
class FakeFileManager : public QDBusVirtualObject {
  public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(message.member() + " " + message.signature());
            for (const QVariant& argument : message.arguments()) {
                const bool list = argument.metaType() == QMetaType::fromType<QStringList>();
                calls_.push_back(list ? argument.toStringList().join(QStringLiteral("|"))
                                      : argument.toString());
            }
        }
        return connection.send(message.createReply());
    }
    QString introspect(const QString&) const override { return {}; }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> calls;
        for (const QString& call : calls_) calls.push_back(call.toStdString());
        return calls;
    }

  private:
    std::mutex mutex_;
    QStringList calls_;
};

// A private dbus-daemon for one test.
class PrivateBus {
  public:
    PrivateBus() {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::string print = "--print-address=" + std::to_string(fds[1]);
        const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--nopidfile", print.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char c = 0;
        while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') address_ += c;
        close(fds[0]);
    }
    ~PrivateBus() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    [[nodiscard]] const std::string& Address() const { return address_; }

  private:
    pid_t pid_ = -1;
    std::string address_;
};

TEST_F(ShellOpenTest, TheFileManagerIsAskedToShowTheFileByItsUri) {
    PrivateBus bus;
    if (bus.Address().empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.Address());

    QThread service_thread;
    service_thread.start();
    FakeFileManager manager;
    manager.moveToThread(&service_thread);
    {
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), "fake-fm");
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    }

    const fs::path file = folder_.Path() / "录屏 文件" / "a#b%.mp4";
    const Error shown = ShowInFileManager(file.string());
    QDBusConnection::disconnectFromBus("fake-fm");
    service_thread.quit();
    service_thread.wait();
    EXPECT_TRUE(shown.ok()) << shown.message();
    // The URI's path is percent-encoded UTF-8 (录 is E5 BD 95); the temporary folder is plain ASCII.
    const std::string uri =
        "file://" + folder_.Path().string() + "/%E5%BD%95%E5%B1%8F%20%E6%96%87%E4%BB%B6/a%23b%25.mp4";
    EXPECT_EQ(manager.Calls(), (std::vector<std::string>{"ShowItems ass", uri, ""}));
    EXPECT_FALSE(fs::exists(Record())) << "the folder was opened as well";
}

}  // namespace
}  // namespace vexa::desktop
