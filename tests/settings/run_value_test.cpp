#include "settings/run_value.h"

#include <gtest/gtest.h>

#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using testing::Ok;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

TEST(RunValue, TheEntryStartsThisProgramHidden) {
    TempHome home;
    RunValue run;
    EXPECT_EQ(run.Path(), home.Config() + "/autostart/VexaRecorder.desktop");
    EXPECT_FALSE(run.IsCheckedFor("/opt/vexa/VexaRecorder"));
    ASSERT_TRUE(Ok(run.Write("/opt/vexa/VexaRecorder")));
    EXPECT_NE(ReadFile(run.Path()).find("\nExec=\"/opt/vexa/VexaRecorder\" -autostart\n"), std::string::npos);
    EXPECT_EQ(run.ReadCommand(), "\"/opt/vexa/VexaRecorder\" -autostart");
    EXPECT_TRUE(run.IsCheckedFor("/opt/vexa/VexaRecorder"));
}

TEST(RunValue, AnEntryOfAnotherCopyIsNotCheckedButIsRemoved) {
    TempHome home;
    RunValue run;
    ASSERT_TRUE(Ok(run.Write("/home/me/old/VexaRecorder")));
    EXPECT_FALSE(run.IsCheckedFor("/opt/vexa/VexaRecorder"));
    EXPECT_FALSE(run.IsCheckedFor("/home/me/old/vexarecorder"));  // paths are case-sensitive
    EXPECT_FALSE(run.IsCheckedFor("/home/me/old/VexaRecorde"));
    EXPECT_TRUE(Ok(run.Remove()));
    EXPECT_FALSE(std::filesystem::exists(run.Path()));
    EXPECT_TRUE(Ok(run.Remove()));  // nothing left to remove is fine
}

TEST(RunValue, TheCheckComparesTheWholeCommand) {
    TempHome home;
    RunValue run;
    const std::string program = "/opt/vexa/VexaRecorder";
    const auto checked_with = [&](const std::string& exec_line) {
        WriteFile(run.Path(), "[Desktop Entry]\nType=Application\nExec=" + exec_line + "\n");
        return run.IsCheckedFor(program);
    };
    EXPECT_TRUE(checked_with("\"/opt/vexa/VexaRecorder\" -AUTOSTART"));
    EXPECT_FALSE(checked_with("/opt/vexa/VexaRecorder -autostart"));
    EXPECT_FALSE(checked_with("\"/opt/vexa/VexaRecorder\" -autostart2"));
    EXPECT_FALSE(checked_with("\"/opt/vexa/VexaRecorder\"  -autostart"));
    EXPECT_FALSE(checked_with("\"/opt/vexa/VexaRecorder\""));
    EXPECT_FALSE(checked_with(""));
    WriteFile(run.Path(), "[Desktop Entry]\nExec=\"/opt/vexa/VexaRecorder\" -autostart\nHidden=true\n");
    EXPECT_FALSE(run.IsCheckedFor(program));
    WriteFile(run.Path(), "[Other]\nExec=\"/opt/vexa/VexaRecorder\" -autostart\n");
    EXPECT_FALSE(run.IsCheckedFor(program));
}

TEST(RunValue, PathsWithSpecialCharactersSurviveTheExecQuoting) {
    TempHome home;
    RunValue run;
    for (const std::string program :
         {"/home/me/My Apps/Vexa Recorder", "/tmp/a\"b$c`d\\e%f%%g/VexaRecorder", "/opt/文件/VexaRecorder"}) {
        ASSERT_TRUE(Ok(run.Write(program)));
        EXPECT_EQ(run.ReadCommand(), RunValue::CommandFor(program)) << program;
        EXPECT_TRUE(run.IsCheckedFor(program)) << program;
    }
}

// A path the entry cannot hold (desktop entries are UTF-8 without control characters other than tab
// and line breaks, which are escaped) is refused, and no entry is left that the desktop would reject.
TEST(RunValue, APathTheEntryCannotHoldIsRefusedAndLeavesNoEntry) {
    TempHome home;
    RunValue run;
    for (const std::string bad :
         {"/\xff/x", "/\xc0\x80/overlong", "/\xed\xa0\x80/surrogate", "/\xf4\x90\x80\x80/big",
          "/\xe6\x96/cut", "/\x01/control", "/\x7f/delete"}) {
        EXPECT_EQ(run.Write(bad).code(), ErrorCode::kInvalidArgument) << bad;
        EXPECT_FALSE(std::filesystem::exists(run.Path())) << bad;
    }
    ASSERT_TRUE(Ok(run.Write("/opt/录像\t\r/VexaRecorder")));  // valid UTF-8 and escaped controls
    EXPECT_EQ(run.ReadCommand(), RunValue::CommandFor("/opt/录像\t\r/VexaRecorder"));
}

TEST(RunValue, AnEntryThatIsASymbolicLinkIsWrittenThroughAndRemovedAsALink) {
    TempHome home;
    RunValue run;
    const std::string target = home.Root() + "/dotfiles/VexaRecorder.desktop";
    WriteFile(target, "");
    std::filesystem::create_directories(home.Config() + "/autostart");
    std::filesystem::create_symlink("../../dotfiles/VexaRecorder.desktop", run.Path());
    ASSERT_TRUE(Ok(run.Write("/opt/vexa/VexaRecorder")));
    EXPECT_TRUE(std::filesystem::is_symlink(run.Path()));
    EXPECT_NE(ReadFile(target).find("\nExec=\"/opt/vexa/VexaRecorder\" -autostart\n"), std::string::npos);
    EXPECT_TRUE(run.IsCheckedFor("/opt/vexa/VexaRecorder"));
    ASSERT_TRUE(Ok(run.Remove()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(run.Path())));
    EXPECT_TRUE(std::filesystem::exists(target));
}

}  // namespace
}  // namespace vexa::settings
