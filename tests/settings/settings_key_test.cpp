#include "settings/settings_key.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/log/log.h"
#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using testing::Ok;
using testing::OpenStore;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

TEST(SettingsKey, AFreshUserGetsTheKeyCreatedInTheConfigFolder) {
    TempHome home;
    EXPECT_EQ(SettingsKey::DefaultPath(), home.StorePath());
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsKey::DefaultPath(), home.Home() + "/.config/Vexa/VexaRecorder/settings.reg");
    ::setenv("XDG_CONFIG_HOME", home.Config().c_str(), 1);

    const auto key = OpenStore(SettingsKey::DefaultPath());
    EXPECT_TRUE(std::filesystem::exists(home.StorePath()));
    EXPECT_TRUE(key->Snapshot().empty());
}

TEST(SettingsKey, AFolderThatCannotBeCreatedFailsTheOpenWithAReason) {
    TempHome home;
    WriteFile(home.Root() + "/blocker", "a file where the folder should be");
    const Error error = SettingsKey::Open(home.Root() + "/blocker/Vexa/settings.reg").error();
    EXPECT_NE(error.message().find("cannot create folder " + home.Root() + "/blocker/Vexa: Not a directory"),
              std::string::npos)
        << error.message();
}

TEST(SettingsKey, TheUserStoreSaysWhyItCannotOpen) {
    TempHome home;
    WriteFile(home.Config() + "/Vexa", "a file where the folder should be");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenUserSettings().ok());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot open the settings store " + home.StorePath()), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
}

TEST(SettingsKey, TypedReadsDemandTheExactTypeAndSize) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    ASSERT_TRUE(Ok(key->WriteDword("frames", 20)));
    ASSERT_TRUE(Ok(key->WriteValue("qword_sized", kRegDword, std::string(8, '\0'))));
    ASSERT_TRUE(Ok(key->WriteValue("short_dword", kRegDword, std::string(2, '\0'))));
    ASSERT_TRUE(Ok(key->WriteBinary("binary_four", std::string(4, '\0'))));
    ASSERT_TRUE(Ok(key->WriteBinary("rect", std::string(16, '\x01'))));
    ASSERT_TRUE(Ok(key->WriteBinary("rect_long", std::string(17, '\x01'))));
    ASSERT_TRUE(Ok(key->WriteValue("rect_as_dword", kRegDword, std::string(16, '\x01'))));

    EXPECT_EQ(key->ReadDword("frames"), 20u);
    EXPECT_EQ(key->ReadDword("FRAMES"), 20u);
    EXPECT_FALSE(key->ReadDword("qword_sized"));
    EXPECT_FALSE(key->ReadDword("short_dword"));
    EXPECT_FALSE(key->ReadDword("binary_four"));
    EXPECT_FALSE(key->ReadDword("missing"));
    EXPECT_TRUE(key->ReadBinary16("rect"));
    EXPECT_FALSE(key->ReadBinary16("rect_long"));
    EXPECT_FALSE(key->ReadBinary16("rect_as_dword"));
    EXPECT_FALSE(key->ReadBinary16("frames"));
}

TEST(SettingsKey, FindReturnsTheWholeValueWithItsType) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    const std::string long_path = "/home/" + std::string(300, 'x') + "/Miravo文件";
    ASSERT_TRUE(Ok(key->WriteString("output_dir", long_path)));
    ASSERT_TRUE(Ok(key->WriteString("empty", "")));
    const auto found = key->Find("OUTPUT_DIR");  // names compare without case
    ASSERT_TRUE(found);
    EXPECT_EQ(found->type, kRegSz);
    EXPECT_EQ(found->data, long_path);
    EXPECT_EQ(found->name, "output_dir");
    const auto empty = key->Find("empty");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->data.empty());
    EXPECT_FALSE(key->Find("missing"));
}

// Another process keeps changing the length of the value while it is read: every read returns one
// whole version of it.
TEST(SettingsKey, FindSeesWholeValuesWhileAnotherProcessRewritesThem) {
    TempHome home;
    const std::string short_text(10, 's');
    const std::string long_text(700, 'l');
    auto key = OpenStore(home.StorePath());
    ASSERT_TRUE(Ok(key->WriteString("output_dir", short_text)));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto writer = OpenStore(home.StorePath());
        for (int i = 0; writer && i < 200; ++i)
            static_cast<void>(writer->WriteString("output_dir", i % 2 ? short_text : long_text));
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        const auto found = key->Find("output_dir");
        ASSERT_TRUE(found);
        ASSERT_TRUE(found->data == short_text || found->data == long_text) << found->data.size();
    }
}

TEST(SettingsKey, AWriteIsSeenByTheNextReadOfAnotherOpener) {
    TempHome home;
    auto first = OpenStore(home.StorePath());
    auto second = OpenStore(home.StorePath());
    EXPECT_FALSE(second->ReadDword("count_down"));
    ASSERT_TRUE(Ok(first->WriteDword("count_down", 1)));
    EXPECT_EQ(second->ReadDword("count_down"), 1u);
    ASSERT_TRUE(Ok(second->Delete("COUNT_DOWN")));
    EXPECT_FALSE(first->ReadDword("count_down"));
}

TEST(SettingsKey, WritesReplaceTheFileAndLeaveNoTemporaryFiles) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    ASSERT_TRUE(Ok(key->WriteDword("a", 1)));
    struct stat before {};
    ASSERT_EQ(::stat(home.StorePath().c_str(), &before), 0);
    ASSERT_TRUE(Ok(key->WriteDword("b", 2)));
    struct stat after {};
    ASSERT_EQ(::stat(home.StorePath().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file took the name: readers never see half of one
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    const auto folder = std::filesystem::path(home.StorePath()).parent_path();
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST(SettingsKey, InvalidNamesAreRefusedAndChangeNothing) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    const std::string before = ReadFile(home.StorePath());
    EXPECT_FALSE(key->WriteDword("", 1).ok());
    EXPECT_FALSE(key->WriteDword("line\nbreak", 1).ok());
    EXPECT_FALSE(key->Delete("").ok());
    EXPECT_EQ(ReadFile(home.StorePath()), before);
}

TEST(SettingsKey, ADamagedFileLoadsWhatIsIntactAndIsRepairedByTheNextWrite) {
    TempHome home;
    WriteFile(home.StorePath(),
              std::string("\"good\"=dword:00000005\n\x01\xff\xfe garbage\0\n\"half\"=dword:000", 43));
    auto key = OpenStore(home.StorePath());
    EXPECT_EQ(key->ReadDword("good"), 5u);
    EXPECT_FALSE(key->Find("half"));
    ASSERT_TRUE(Ok(key->WriteDword("new", 7)));
    const std::string text = ReadFile(home.StorePath());
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_NE(text.find("\"good\"=dword:00000005\n"), std::string::npos);
    EXPECT_NE(text.find("\"new\"=dword:00000007\n"), std::string::npos);
}

// Collects the log's lines while it lives.
class CapturedLog : public log::Sink {
  public:
    CapturedLog() = default;
    void Write(std::string_view line) override {
        std::lock_guard lock(mutex_);
        text_.append(line).append("\n");
    }
    std::string Text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

// Opens `path` while the log is captured; returns the failure's message and the log.
std::pair<std::string, std::string> FailedOpen(const std::string& path) {
    const auto captured = std::make_shared<CapturedLog>();
    const auto previous = log::SetSink(captured);
    const Error error = SettingsKey::Open(path).error();
    log::SetSink(previous);
    EXPECT_FALSE(error.ok()) << path << " opened";
    return {error.message(), captured->Text()};
}

// A store the program could not write would silently drop every change, so the start fails.
TEST(SettingsKey, AStoreThatCannotBeReadOrReplacedFailsTheOpenAndTheLogSaysWhy) {
    TempHome home;
    const std::string path = home.StorePath();
    std::filesystem::create_directories(path);  // a folder in place of the file
    const auto [message, logged] = FailedOpen(path);
    EXPECT_NE(message.find("cannot open the settings store " + path), std::string::npos) << message;
    EXPECT_NE(message.find("Is a directory"), std::string::npos) << message;
    EXPECT_NE(logged.find("ERROR " + message), std::string::npos) << logged;
    EXPECT_TRUE(std::filesystem::is_directory(path));

    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // must neither hang nor be replaced
    EXPECT_NE(FailedOpen(path).first.find(path + " is not a regular file"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_fifo(path));
}

TEST(SettingsKey, AStoreWithoutPermissionFailsTheOpen) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not bind root; the folder case covers it";
    TempHome home;
    const std::string path = home.StorePath();
    WriteFile(path, "\"kept\"=dword:00000001\n");
    ::chmod(path.c_str(), 0400);
    EXPECT_NE(FailedOpen(path).first.find("Permission denied"), std::string::npos);
    ::chmod(path.c_str(), 0600);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    ::chmod(folder.c_str(), 0500);  // the file is writable, but no new file can replace it
    EXPECT_NE(FailedOpen(path).first.find("cannot create files in " + folder + ": Permission denied"),
              std::string::npos);
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(ReadFile(path), "\"kept\"=dword:00000001\n");
}

TEST(SettingsKey, AStoreThatIsASymbolicLinkIsWrittenThroughToItsTarget) {
    TempHome home;
    const std::string target = home.Root() + "/dotfiles/vexa/settings.reg";
    WriteFile(target, "\"kept\"=dword:00000001\n");
    std::filesystem::create_directories(std::filesystem::path(home.StorePath()).parent_path());
    std::filesystem::create_symlink("../../../dotfiles/vexa/settings.reg", home.StorePath());  // relative
    auto key = OpenStore(home.StorePath());
    ASSERT_TRUE(key);
    ASSERT_TRUE(Ok(key->WriteDword("added", 2)));
    EXPECT_TRUE(std::filesystem::is_symlink(home.StorePath()));
    const std::string text = ReadFile(target);
    EXPECT_NE(text.find("\"kept\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"added\"=dword:00000002\n"), std::string::npos) << text;
    EXPECT_EQ(OpenStore(home.StorePath())->ReadDword("added"), 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.Root() + "/dotfiles/vexa"),
                            std::filesystem::directory_iterator()),
              1);  // no temporary file left beside the target
}

// A file cut at the read cap keeps its tail: it is read in part, but never written back.
TEST(SettingsKey, AStoreLargerThanTheReadCapIsReadButNeverWrittenBack) {
    TempHome home;
    const std::string path = home.StorePath();
    WriteFile(path, "\"head\"=dword:00000001\n");
    auto key = OpenStore(path);
    ASSERT_TRUE(key);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kReadCap) + 100), 0);  // a sparse tail
    EXPECT_EQ(key->ReadDword("head"), 1u);
    const Error refused = key->WriteDword("new", 2);
    EXPECT_NE(refused.message().find(path + " is larger than 64 MiB"), std::string::npos)
        << refused.message();
    EXPECT_EQ(std::filesystem::file_size(path), kReadCap + 100);
    EXPECT_FALSE(key->ReadDword("new"));
}

TEST(SettingsKey, TemporaryFilesLeftByACrashAreRemovedByTheNextWriteAndNoOthers) {
    TempHome home;
    const std::string path = home.StorePath();
    auto key = OpenStore(path);
    ASSERT_TRUE(key);
    const std::string folder = std::filesystem::path(path).parent_path().string() + "/";
    const std::vector<std::string> leftovers = {"settings.reg.vexa-tmp.a1B2c3",
                                                "settings.reg.vexa-tmp.XXXXXX"};
    const std::vector<std::string> others = {
        "settings.reg.vexa-tmp.a1B2c",   "settings.reg.vexa-tmp.a1B2c34", "settings.reg.vexa-tmp.a1B2-3",
        "settings.reg.backup",           "settings.reg.a1B2c3",           "other.reg.vexa-tmp.a1B2c3",
        "xsettings.reg.vexa-tmp.a1B2c3",
    };
    for (const auto& name : leftovers) WriteFile(folder + name, "half a store");
    for (const auto& name : others) WriteFile(folder + name, "not ours");
    std::filesystem::create_directory(folder + "settings.reg.vexa-tmp.d1r2c3");  // not a file
    std::filesystem::create_symlink(folder + "settings.reg.backup", folder + "settings.reg.vexa-tmp.l1n2k3");
    ASSERT_TRUE(Ok(key->WriteDword("a", 1)));
    for (const auto& name : leftovers) EXPECT_FALSE(std::filesystem::exists(folder + name)) << name;
    for (const auto& name : others) EXPECT_EQ(ReadFile(folder + name), "not ours") << name;
    EXPECT_TRUE(std::filesystem::is_directory(folder + "settings.reg.vexa-tmp.d1r2c3"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "settings.reg.vexa-tmp.l1n2k3"));
}

TEST(SettingsKey, AFileThatCannotBeReadIsNeverOverwritten) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    ASSERT_TRUE(Ok(key->WriteDword("kept", 1)));
    std::filesystem::remove(home.StorePath());
    std::filesystem::create_directory(home.StorePath());  // the name now points at a folder
    EXPECT_FALSE(key->WriteDword("other", 2).ok());
    EXPECT_TRUE(std::filesystem::is_directory(home.StorePath()));
}

// The folder dialog's thread writes while the interface thread writes too; a second opener in
// the same process takes the same file lock.
TEST(SettingsKey, TwoThreadsWithTheirOwnKeysLoseNoValue) {
    TempHome home;
    constexpr int kPerThread = 150;
    auto first = OpenStore(home.StorePath());
    auto second = OpenStore(home.StorePath());
    const auto writer = [](SettingsKey* key, const std::string& prefix) {
        for (int i = 0; i < kPerThread; ++i) EXPECT_TRUE(Ok(key->WriteDword(prefix + std::to_string(i), 1)));
    };
    std::thread one(writer, first.get(), "a");
    std::thread two(writer, second.get(), "b");
    writer(first.get(), "c");  // the same key from a third thread
    one.join();
    two.join();
    EXPECT_EQ(first->Snapshot().size(), 3u * kPerThread);
}

// Each child process writes its own 1,000 values, one write at a time, while the other does too.
TEST(SettingsKey, TwoProcessesWritingAtOnceLoseNoValue) {
    TempHome home;
    constexpr int kPerProcess = 1000;
    ASSERT_TRUE(OpenStore(home.StorePath()));
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            auto key = OpenStore(home.StorePath());
            int failures = key ? 0 : 1;
            for (int i = 0; key && i < kPerProcess; ++i)
                failures += key->WriteDword("p" + std::to_string(child) + "_" + std::to_string(i),
                                            static_cast<uint32_t>(child * 100000 + i))
                                    .ok()
                                ? 0
                                : 1;
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto key = OpenStore(home.StorePath());
    EXPECT_EQ(key->Snapshot().size(), 2u * kPerProcess);
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kPerProcess; ++i) {
            ASSERT_EQ(key->ReadDword("p" + std::to_string(child) + "_" + std::to_string(i)),
                      static_cast<uint32_t>(child * 100000 + i));
        }
    }
}

}  // namespace
}  // namespace vexa::settings
