#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "net/crc32.h"
#include "net/update_check.h"
#include "net/updater_file.h"
#include "tests/support/temp_folder.h"

namespace net {
namespace {

using vexa::test::ReadFile;
using vexa::test::TempFolder;
using vexa::test::WriteFile;

TEST(DownloadAddress, DropsOneTrailingSlashAndAddsNoSeparator) {
    EXPECT_EQ(DownloadAddress("http://host/dir/", "AutoUpdater.exe"), "http://host/dirAutoUpdater.exe");
    EXPECT_EQ(DownloadAddress("http://host/dir//", "/a.exe"), "http://host/dir//a.exe");
    EXPECT_EQ(DownloadAddress("http://host/dir", "/a.exe"), "http://host/dir/a.exe");
    EXPECT_EQ(DownloadAddress("", "/files/a.exe"), "/files/a.exe");
}

TEST(ParseHexCrc, ReadsHexTextAndKeepsTheLow32Bits) {
    EXPECT_EQ(ParseHexCrc("cbf43926"), 0xCBF43926u);
    EXPECT_EQ(ParseHexCrc("CBF43926"), 0xCBF43926u);
    EXPECT_EQ(ParseHexCrc("0x1F"), 0x1Fu);
    EXPECT_EQ(ParseHexCrc("1CBF43926"), 0xCBF43926u);
    EXPECT_EQ(ParseHexCrc(""), 0u);
    EXPECT_EQ(ParseHexCrc("12z4"), 0u);
    EXPECT_EQ(ParseHexCrc("-1"), 0u);
}

TEST(Requests, CarryTheIdentityValuesInOrder) {
    ClientIdentity identity{1001, 105, 3, "cmp9", "AbCdEfGh12345678"};
    EXPECT_EQ(UsageReportRequest(identity, 6, 0),
              "/client/reportlog?uuid=AbCdEfGh12345678&softid=1001&version=105&type=6&detail=0&bdvid=cmp9"
              "&channelId=3");
    EXPECT_EQ(VersionQueryRequest(identity), "/client/queryversion?softid=1001&version=105&type=1");
}

TEST(UpdaterFile, CrcOfMissingOrEmptyFileIsZero) {
    TempFolder folder;
    EXPECT_EQ(FileCrc32OrZero(folder.Path() / "missing"), 0u);
    WriteFile(folder.Path() / "empty", "");
    EXPECT_EQ(FileCrc32OrZero(folder.Path() / "empty"), 0u);
    EXPECT_EQ(FileCrc32OrZero(folder.Path()), 0u);  // a folder can't be read
    std::string big(200'000, 'q');
    WriteFile(folder.Path() / "big", big);
    EXPECT_EQ(FileCrc32OrZero(folder.Path() / "big"),
              Crc32({reinterpret_cast<const std::uint8_t*>(big.data()), big.size()}));
}

TEST(UpdaterFile, InstallReplacesTheUpdaterAndLeavesNoTemporaries) {
    TempFolder folder;
    const auto updater = folder.Path() / "AutoUpdater";
    WriteFile(updater, "old updater");
    WriteFile(folder.Path() / "AutoUpdater_backup", "stale backup");
    const std::string fresh = "#!/bin/sh\necho new\n";
    ASSERT_TRUE(InstallUpdater(updater, {reinterpret_cast<const std::uint8_t*>(fresh.data()), fresh.size()}));
    EXPECT_EQ(ReadFile(updater), fresh);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "AutoUpdater_willdel"));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "AutoUpdater_backup"));
    struct stat info {};
    ASSERT_EQ(::stat(updater.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
}

TEST(UpdaterFile, InstallPutsAnUpdaterWhereNoneWas) {
    TempFolder folder;
    const auto updater = folder.Path() / "AutoUpdater";
    const std::uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(InstallUpdater(updater, bytes));
    EXPECT_EQ(ReadFile(updater), std::string("\1\2\3"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

TEST(UpdaterFile, FailedInstallKeepsThePresentUpdater) {
    TempFolder folder;
    // The incoming file can't be created: its name is taken by a folder.
    const auto updater = folder.Path() / "AutoUpdater";
    WriteFile(updater, "present");
    std::filesystem::create_directory(folder.Path() / "AutoUpdater_willdel");
    WriteFile(folder.Path() / "AutoUpdater_willdel" / "x", "blocks removal");
    const std::uint8_t bytes[] = {9};
    EXPECT_FALSE(InstallUpdater(updater, bytes));
    EXPECT_EQ(ReadFile(updater), "present");

    // The updater's folder is gone: nothing to write into.
    EXPECT_FALSE(InstallUpdater(folder.Path() / "no-such-folder" / "AutoUpdater", bytes));
}

TEST(UpdaterFile, UpdaterThatCannotBeMovedAsideIsLeftAlone) {
    TempFolder folder;
    // Moving the updater aside fails (a non-empty folder can't replace another one), so the new file
    // must not be moved in either.
    const auto updater = folder.Path() / "AutoUpdater";
    std::filesystem::create_directories(updater);
    WriteFile(updater / "inside", "keep");
    std::filesystem::create_directories(folder.Path() / "AutoUpdater_backup" / "sub");
    const std::uint8_t bytes[] = {9};
    EXPECT_FALSE(InstallUpdater(updater, bytes));
    EXPECT_EQ(ReadFile(updater / "inside"), "keep");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "AutoUpdater_willdel"));
}

}  // namespace
}  // namespace net
