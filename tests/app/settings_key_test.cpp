#include "app/settings_key.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/app/temp_home.h"

namespace vexa::app {
namespace {

using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

std::unique_ptr<SettingsKey> OpenOrDie(const std::string& path) {
    std::string error;
    auto key = SettingsKey::Open(path, &error);
    EXPECT_TRUE(key) << error;
    return key;
}

TEST(SettingsKey, AFreshUserGetsTheKeyCreatedInTheConfigFolder) {
    TempHome home;
    EXPECT_EQ(SettingsKey::DefaultPath(), home.StorePath());
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsKey::DefaultPath(), home.Home() + "/.config/Vexa/VexaRecorder/settings.reg");
    ::setenv("XDG_CONFIG_HOME", home.Config().c_str(), 1);

    const auto key = OpenOrDie(SettingsKey::DefaultPath());
    EXPECT_TRUE(std::filesystem::exists(home.StorePath()));
    EXPECT_TRUE(key->Snapshot().empty());
}

TEST(SettingsKey, AFolderThatCannotBeCreatedFailsTheOpenWithAReason) {
    TempHome home;
    WriteFile(home.Root() + "/blocker", "a file where the folder should be");
    std::string error;
    EXPECT_FALSE(SettingsKey::Open(home.Root() + "/blocker/Vexa/settings.reg", &error));
    EXPECT_NE(error.find("blocker"), std::string::npos) << error;
}

TEST(SettingsKey, TheUserStoreSaysWhyItCannotOpen) {
    TempHome home;
    WriteFile(home.Config() + "/Vexa", "a file where the folder should be");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenUserSettings());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot create the settings folder"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
}

TEST(SettingsKey, TypedReadsDemandTheExactTypeAndSize) {
    TempHome home;
    auto key = OpenOrDie(home.StorePath());
    ASSERT_TRUE(key->WriteDword("frames", 20));
    ASSERT_TRUE(key->WriteValue("qword_sized", kRegDword, std::string(8, '\0')));
    ASSERT_TRUE(key->WriteValue("short_dword", kRegDword, std::string(2, '\0')));
    ASSERT_TRUE(key->WriteBinary("binary_four", std::string(4, '\0')));
    ASSERT_TRUE(key->WriteBinary("rect", std::string(16, '\x01')));
    ASSERT_TRUE(key->WriteBinary("rect_long", std::string(17, '\x01')));
    ASSERT_TRUE(key->WriteValue("rect_as_dword", kRegDword, std::string(16, '\x01')));

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

TEST(SettingsKey, QueryValueAnswersWithRegistryResultCodes) {
    TempHome home;
    auto key = OpenOrDie(home.StorePath());
    ASSERT_TRUE(key->WriteString("output_dir", "/tmp/out"));
    uint8_t buffer[4];
    uint32_t size = sizeof buffer;
    uint32_t type = 0;
    EXPECT_EQ(key->QueryValue("nothing", &type, buffer, &size), kErrorFileNotFound);
    EXPECT_EQ(key->QueryValue("output_dir", &type, buffer, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(key->QueryValue("output_dir", &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, kRegSz);
    size = 0;
    EXPECT_EQ(key->QueryValue("output_dir", nullptr, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 8u);
}

TEST(SettingsKey, ReadRegValueReturnsTheWholeValueOrTheError) {
    TempHome home;
    auto key = OpenOrDie(home.StorePath());
    const std::string long_path = "/home/" + std::string(300, 'x') + "/Miravo文件";
    ASSERT_TRUE(key->WriteString("output_dir", long_path));
    ASSERT_TRUE(key->WriteString("empty", ""));
    std::vector<uint8_t> data;
    uint32_t size = 0;
    uint32_t type = 0;
    ASSERT_EQ(ReadRegValue(*key, "output_dir", &data, &size, &type), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(std::string(data.begin(), data.end()), long_path);
    EXPECT_EQ(size, long_path.size());
    ASSERT_EQ(ReadRegValue(*key, "empty", &data, &size, nullptr), kErrorSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(ReadRegValue(*key, "missing", &data, &size, &type), kErrorFileNotFound);
    EXPECT_EQ(ReadRegValue(*key, "output_dir", nullptr, &size, &type), kErrorInvalidParameter);
    EXPECT_EQ(ReadRegValue(*key, "output_dir", &data, nullptr, &type), kErrorInvalidParameter);
}

// Another process keeps changing the length of the value while it is read: every read returns one
// whole version of it (the buffer grows when the value grew between asking and reading).
TEST(SettingsKey, ReadRegValueSeesWholeValuesWhileAnotherProcessRewritesThem) {
    TempHome home;
    const std::string short_text(10, 's');
    const std::string long_text(700, 'l');
    auto key = OpenOrDie(home.StorePath());
    ASSERT_TRUE(key->WriteString("output_dir", short_text));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto writer = SettingsKey::Open(home.StorePath());
        for (int i = 0; writer && i < 200; ++i)
            static_cast<void>(writer->WriteString("output_dir", i % 2 ? short_text : long_text));
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        std::vector<uint8_t> data;
        uint32_t size = 0;
        ASSERT_EQ(ReadRegValue(*key, "output_dir", &data, &size, nullptr), kErrorSuccess);
        const std::string text(data.begin(), data.end());
        ASSERT_TRUE(text == short_text || text == long_text) << text.size();
        ASSERT_EQ(size, text.size());
    }
}

TEST(SettingsKey, AWriteIsSeenByTheNextReadOfAnotherOpener) {
    TempHome home;
    auto first = OpenOrDie(home.StorePath());
    auto second = OpenOrDie(home.StorePath());
    EXPECT_FALSE(second->ReadDword("count_down"));
    ASSERT_TRUE(first->WriteDword("count_down", 1));
    EXPECT_EQ(second->ReadDword("count_down"), 1u);
    ASSERT_TRUE(second->Delete("COUNT_DOWN"));
    EXPECT_FALSE(first->ReadDword("count_down"));
}

TEST(SettingsKey, WritesReplaceTheFileAndLeaveNoTemporaryFiles) {
    TempHome home;
    auto key = OpenOrDie(home.StorePath());
    ASSERT_TRUE(key->WriteDword("a", 1));
    struct stat before {};
    ASSERT_EQ(::stat(home.StorePath().c_str(), &before), 0);
    ASSERT_TRUE(key->WriteDword("b", 2));
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
    auto key = OpenOrDie(home.StorePath());
    const std::string before = ReadFile(home.StorePath());
    EXPECT_FALSE(key->WriteDword("", 1));
    EXPECT_FALSE(key->WriteDword("line\nbreak", 1));
    EXPECT_FALSE(key->Delete(""));
    EXPECT_EQ(ReadFile(home.StorePath()), before);
}

TEST(SettingsKey, ADamagedFileLoadsWhatIsIntactAndIsRepairedByTheNextWrite) {
    TempHome home;
    WriteFile(home.StorePath(),
              std::string("\"good\"=dword:00000005\n\x01\xff\xfe garbage\0\n\"half\"=dword:000", 43));
    auto key = OpenOrDie(home.StorePath());
    EXPECT_EQ(key->ReadDword("good"), 5u);
    EXPECT_FALSE(key->Find("half"));
    ASSERT_TRUE(key->WriteDword("new", 7));
    const std::string text = ReadFile(home.StorePath());
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_NE(text.find("\"good\"=dword:00000005\n"), std::string::npos);
    EXPECT_NE(text.find("\"new\"=dword:00000007\n"), std::string::npos);
}

TEST(SettingsKey, AFifoInPlaceOfTheFileNeitherHangsNorIsReplaced) {
    TempHome home;
    std::filesystem::create_directories(std::filesystem::path(home.StorePath()).parent_path());
    ASSERT_EQ(::mkfifo(home.StorePath().c_str(), 0600), 0);
    auto key = OpenOrDie(home.StorePath());
    EXPECT_FALSE(key->ReadDword("anything"));
    EXPECT_FALSE(key->WriteDword("anything", 1));
    EXPECT_TRUE(std::filesystem::is_fifo(home.StorePath()));
}

TEST(SettingsKey, AFileThatCannotBeReadIsNeverOverwritten) {
    TempHome home;
    auto key = OpenOrDie(home.StorePath());
    ASSERT_TRUE(key->WriteDword("kept", 1));
    std::filesystem::remove(home.StorePath());
    std::filesystem::create_directory(home.StorePath());  // the name now points at a folder
    EXPECT_FALSE(key->WriteDword("other", 2));
    EXPECT_TRUE(std::filesystem::is_directory(home.StorePath()));
}

// The folder dialog's thread writes while the interface thread writes too; a second opener in
// the same process takes the same file lock.
TEST(SettingsKey, TwoThreadsWithTheirOwnKeysLoseNoValue) {
    TempHome home;
    constexpr int kPerThread = 150;
    auto first = OpenOrDie(home.StorePath());
    auto second = OpenOrDie(home.StorePath());
    const auto writer = [](SettingsKey* key, const std::string& prefix) {
        for (int i = 0; i < kPerThread; ++i) EXPECT_TRUE(key->WriteDword(prefix + std::to_string(i), 1));
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
    ASSERT_TRUE(OpenOrDie(home.StorePath()));
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            auto key = SettingsKey::Open(home.StorePath());
            int failures = key ? 0 : 1;
            for (int i = 0; key && i < kPerProcess; ++i)
                failures += key->WriteDword("p" + std::to_string(child) + "_" + std::to_string(i),
                                            static_cast<uint32_t>(child * 100000 + i))
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
    auto key = OpenOrDie(home.StorePath());
    EXPECT_EQ(key->Snapshot().size(), 2u * kPerProcess);
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kPerProcess; ++i) {
            ASSERT_EQ(key->ReadDword("p" + std::to_string(child) + "_" + std::to_string(i)),
                      static_cast<uint32_t>(child * 100000 + i));
        }
    }
}

}  // namespace
}  // namespace vexa::app
