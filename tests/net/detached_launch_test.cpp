#include <gtest/gtest.h>

#include <unistd.h>

#include "net/detached_launch.h"
#include "tests/support/temp_folder.h"

namespace vexa::net {
namespace {

using vexa::test::ReadFile;
using vexa::test::TempFolder;
using vexa::test::WaitForFile;
using vexa::test::WriteFile;

// The script records its arguments, its session id and its parent, then renames the record into place
// so the test never reads half a file.
constexpr const char* kRecorder =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/record\"\n"
    "printf '%s|%s|%s|%s\\n' \"$#\" \"$1\" \"$(ps -o sid= -p $$ | tr -d ' ')\" \"$$\" > \"$out.tmp\"\n"
    "mv \"$out.tmp\" \"$out\"\n";

TEST(DetachedLaunch, RunsTheProgramWithItsOnlyArgumentInANewSession) {
    TempFolder folder;
    const auto program = folder.Path() / "AutoUpdater";
    WriteFile(program, kRecorder, true);
    ASSERT_TRUE(LaunchDetached(program, "/home/u/.config/Vexa/VexaRecorder.ini").ok());
    ASSERT_TRUE(WaitForFile(folder.Path() / "record"));
    const std::string record = ReadFile(folder.Path() / "record");
    const auto fields = [&] {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (auto bar = record.find('|'); bar != std::string::npos; bar = record.find('|', start)) {
            parts.push_back(record.substr(start, bar - start));
            start = bar + 1;
        }
        parts.push_back(record.substr(start, record.size() - start - 1));
        return parts;
    }();
    ASSERT_EQ(fields.size(), 4u) << record;
    EXPECT_EQ(fields[0], "1");
    EXPECT_EQ(fields[1], "/home/u/.config/Vexa/VexaRecorder.ini");
    EXPECT_NE(std::stoi(fields[2]), ::getsid(0)) << "the program runs in a session of its own";
    EXPECT_NE(fields[2], fields[3]) << "but does not lead it, so it can't take a terminal";
}

TEST(DetachedLaunch, ReportsWhyAProgramCannotRun) {
    TempFolder folder;
    const vexa::Error missing = LaunchDetached(folder.Path() / "missing", "VexaRecorder.ini");
    EXPECT_EQ(missing.code(), vexa::ErrorCode::kNotFound);
    EXPECT_EQ(missing.message(),
              "cannot start " + (folder.Path() / "missing").string() + ": No such file or directory");
    WriteFile(folder.Path() / "plain", "#!/bin/sh\ntrue\n", false);
    const vexa::Error plain = LaunchDetached(folder.Path() / "plain", "VexaRecorder.ini");
    EXPECT_EQ(plain.code(), vexa::ErrorCode::kPermission) << plain.message();
}

}  // namespace
}  // namespace vexa::net
