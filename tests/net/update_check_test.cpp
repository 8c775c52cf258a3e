#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "net/crc32.h"
#include "net/update_check.h"
#include "net/updater_file.h"
#include "tests/support/temp_folder.h"

namespace vexa::net {
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
    ClientIdentity identity{1001, 105, 3, "cmp9", "AbCdEfGh-_345678"};
    EXPECT_EQ(UsageReportRequest(identity, 6, 0),
              "/client/reportlog?uuid=AbCdEfGh-_345678&softid=1001&version=105&type=6&detail=0&bdvid=cmp9"
              "&channelId=3");
    EXPECT_EQ(VersionQueryRequest(identity), "/client/queryversion?softid=1001&version=105&type=1");
}

TEST(Requests, TextValuesCannotAddParameters) {
    ClientIdentity identity{1001, 105, 3, "x&softid=1&channelId=9", "u=v&w"};
    EXPECT_EQ(UsageReportRequest(identity, 6, 0),
              "/client/reportlog?uuid=u%3Dv%26w&softid=1001&version=105&type=6&detail=0"
              "&bdvid=x%26softid%3D1%26channelId%3D9&channelId=3");
}

TEST(VersionReply, ReadsVersionAndTheFirstUpdaterEntry) {
    auto reply = ParseVersionReply(
        R"({"status":"SUCCESS","version":130,"baseurl":"https://h/dir/","files":[)"
        R"({"name":"Other.exe","url":"o","crc32":"1"},{"name":"autoupdater.exe","url":"u1","crc32":"0xAB"},)"
        R"({"name":"AutoUpdater.exe","url":"u2","crc32":"CD"}]})");
    ASSERT_TRUE(reply.ok()) << reply.error().message();
    EXPECT_EQ(reply->version, 130);
    ASSERT_TRUE(reply->updater.has_value());
    EXPECT_EQ(reply->updater->address, "https://h/diru1");
    EXPECT_EQ(reply->updater->crc, 0xABu);

    auto bare = ParseVersionReply(R"({"status":"SUCCESS","version":-5})");
    ASSERT_TRUE(bare.ok());
    EXPECT_EQ(bare->version, -5);
    EXPECT_FALSE(bare->updater.has_value());
}

TEST(VersionReply, HostileOrMalformedRepliesFailWithoutThrowing) {
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    const std::string updaterWith =
        R"({"status":"SUCCESS","version":2,"baseurl":"b","files":[{"name":"AutoUpdater.exe",)";
    for (const std::string& text : {
             // Beyond a 64-bit signed integer: JsonCpp calls these integral, then throws on reading them.
             std::string(R"({"status":"SUCCESS","version":9223372036854775808})"),
             std::string(R"({"status":"SUCCESS","version":18446744073709551615})"),
             std::string(R"({"status":"SUCCESS","version":1e19})"),
             std::string(R"({"status":"SUCCESS","version":1.5})"),
             std::string(R"({"status":"SUCCESS","version":"200"})"),
             std::string(R"({"status":"SUCCESS"})"),
             std::string(R"({"status":"success","version":200})"),
             std::string(R"({"status":"SUCCESS","version":200,"files":"AutoUpdater.exe"})"),
             std::string(R"({"status":"SUCCESS","version":200,"files":{"name":"AutoUpdater.exe"}})"),
             updaterWith + R"("url":7,"crc32":"1"}]})",
             updaterWith + R"("url":"u","crc32":17}]})",
             std::string(R"(["status","SUCCESS"])"),
             std::string("{\"status\":\"SUCCESS\",\"version\":"),
             R"({"status":"SUCCESS","version":1,"x":)" + deep + "}",
             deep,
         }) {
        vexa::Result<VersionReply> reply = vexa::Error();
        ASSERT_NO_THROW(reply = ParseVersionReply(text)) << text.substr(0, 80);
        ASSERT_FALSE(reply.ok()) << text.substr(0, 80);
        EXPECT_EQ(reply.error().code(), vexa::ErrorCode::kProtocol) << text.substr(0, 80);
    }
    // Out-of-range numbers are refused by the type check itself, not by a conversion that threw.
    EXPECT_EQ(ParseVersionReply(R"({"status":"SUCCESS","version":9223372036854775808})").error().message(),
              "version reply version is not an integer of 64 bits");
    // The largest version that fits is read, not refused.
    auto largest = ParseVersionReply(R"({"status":"SUCCESS","version":9223372036854775807})");
    ASSERT_TRUE(largest.ok());
    EXPECT_EQ(largest->version, INT64_MAX);
}

TEST(UpdaterFile, CrcOfMissingEmptyOrNonRegularFileIsZero) {
    TempFolder folder;
    EXPECT_EQ(FileCrc32OrZero(folder.Path() / "missing"), 0u);
    WriteFile(folder.Path() / "empty", "");
    EXPECT_EQ(FileCrc32OrZero(folder.Path() / "empty"), 0u);
    EXPECT_EQ(FileCrc32OrZero(folder.Path()), 0u);  // a folder can't be read
    // A FIFO by the updater's name, nobody writing to it: read at once as no updater.
    std::uint32_t fifo_crc = 1;
    EXPECT_TRUE(vexa::test::ReturnsWithoutBlockingOnFifo(
        folder.Path() / "AutoUpdater", [&] { fifo_crc = FileCrc32OrZero(folder.Path() / "AutoUpdater"); }));
    EXPECT_EQ(fifo_crc, 0u);
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
    ASSERT_TRUE(
        InstallUpdater(updater, {reinterpret_cast<const std::uint8_t*>(fresh.data()), fresh.size()}).ok());
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
    ASSERT_TRUE(InstallUpdater(updater, bytes).ok());
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
    const vexa::Error blocked = InstallUpdater(updater, bytes);
    EXPECT_FALSE(blocked.ok());
    EXPECT_NE(blocked.message().find("AutoUpdater_willdel"), std::string::npos) << blocked.message();
    EXPECT_EQ(ReadFile(updater), "present");

    // The updater's folder is gone: nothing to write into.
    const vexa::Error noFolder = InstallUpdater(folder.Path() / "no-such-folder" / "AutoUpdater", bytes);
    EXPECT_EQ(noFolder.code(), vexa::ErrorCode::kNotFound) << noFolder.message();
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
    EXPECT_FALSE(InstallUpdater(updater, bytes).ok());
    EXPECT_EQ(ReadFile(updater / "inside"), "keep");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "AutoUpdater_willdel"));
}

TEST(UpdaterFile, LinksLeftUnderTheIncomingNameAreReplacedNotWrittenThrough) {
    TempFolder folder;
    const auto updater = folder.Path() / "AutoUpdater";
    const auto incoming = folder.Path() / "AutoUpdater_willdel";
    WriteFile(updater, "present");
    const std::uint8_t bytes[] = {'n', 'e', 'w'};

    // A symbolic link planted by someone else, pointing at a file of the user's.
    WriteFile(folder.Path() / "symlink-target", "precious");
    std::filesystem::create_symlink(folder.Path() / "symlink-target", incoming);
    ASSERT_TRUE(InstallUpdater(updater, bytes).ok());
    EXPECT_EQ(ReadFile(folder.Path() / "symlink-target"), "precious");
    EXPECT_EQ(ReadFile(updater), "new");

    // A hard link: opening it with truncation would empty the other name too.
    WriteFile(folder.Path() / "hardlink-target", "precious");
    std::filesystem::create_hard_link(folder.Path() / "hardlink-target", incoming);
    ASSERT_TRUE(InstallUpdater(updater, bytes).ok());
    EXPECT_EQ(ReadFile(folder.Path() / "hardlink-target"), "precious");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(incoming)));
}

}  // namespace
}  // namespace vexa::net
