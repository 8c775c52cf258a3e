#include "settings/settings_ini.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "settings/ini_document.h"
#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using testing::Ok;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

class SettingsIniTest : public ::testing::Test {
  protected:
    TempHome home_;
    std::string path_ = home_.Root() + "/program/VexaRecorder.ini";
    SettingsIni ini_{path_};
};

TEST_F(SettingsIniTest, IntegersReadLikeTheProfileFunction) {
    WriteFile(path_,
              "[soft]\nid=1001\nversion= 12abc \nchannel=-7\nbdvid=x12\nempty=\nplus=+5\n"
              "huge=99999999999\nhuge_negative=-99999999999\n");
    EXPECT_EQ(ini_.GetInt("soft", "id"), 1001);
    EXPECT_EQ(ini_.GetInt("SOFT", "VERSION"), 12);
    EXPECT_EQ(ini_.GetInt("soft", "channel"), -7);
    EXPECT_EQ(ini_.GetInt("soft", "bdvid"), 0);
    EXPECT_EQ(ini_.GetInt("soft", "empty"), 0);
    EXPECT_EQ(ini_.GetInt("soft", "plus"), 5);
    EXPECT_EQ(ini_.GetInt("soft", "missing"), 0);
    EXPECT_EQ(ini_.GetInt("config", "id"), 0);
    EXPECT_EQ(ini_.GetInt("soft", "huge"), INT32_MAX);
    EXPECT_EQ(ini_.GetInt("soft", "huge_negative"), INT32_MIN);
}

TEST_F(SettingsIniTest, TextIsTrimmedUnquotedAndCutToTheBuffer) {
    WriteFile(path_, "; comment\r\n[Soft]\r\n  ShowExitMsg =  No  \r\nquoted=\"Yes \"\r\nlong=" +
                         std::string(300, 'a') + "\r\n[soft]\r\nShowExitMsg=second section\r\n");
    EXPECT_EQ(ini_.GetString("soft", "showexitmsg"), "No");
    EXPECT_EQ(ini_.GetString("soft", "quoted"), "Yes ");
    EXPECT_EQ(ini_.GetString("soft", "long"), std::string(259, 'a'));
    EXPECT_EQ(ini_.GetString("soft", "long", 20), std::string(19, 'a'));
    EXPECT_EQ(ini_.GetString("soft", "missing"), "");
    EXPECT_EQ(SettingsIni(home_.Root() + "/none.ini").GetString("soft", "id"), "");
}

TEST_F(SettingsIniTest, WritesKeepOtherSectionsKeysAndComments) {
    const std::string original = "; installer note\n[soft]\nid=5\n; keep me\nchannel=3\n\n[other]\nthing=1\n";
    WriteFile(path_, original);
    ASSERT_TRUE(Ok(ini_.WriteString("soft", "ID", "1001")));
    ASSERT_TRUE(Ok(ini_.WriteString("soft", "CloseWnd", "No")));
    ASSERT_TRUE(Ok(ini_.WriteString("config", "uuid", "abcdefghijklmnop")));
    EXPECT_EQ(ReadFile(path_),
              "; installer note\n[soft]\nid=1001\n; keep me\nchannel=3\nCloseWnd=No\n\n[other]\nthing=1\n"
              "\n[config]\nuuid=abcdefghijklmnop\n");
    EXPECT_EQ(ini_.GetString("config", "uuid"), "abcdefghijklmnop");
}

TEST_F(SettingsIniTest, UnwritableTextIsRefused) {
    EXPECT_EQ(ini_.WriteString("soft", "id", "1\n[evil]").message(),
              "cannot write " + path_ + ": [soft] id cannot be stored: a line break");
    EXPECT_FALSE(ini_.WriteString("so]ft", "id", "1").ok());
    EXPECT_FALSE(ini_.WriteString("soft", "a=b", "1").ok());
    EXPECT_FALSE(ini_.WriteString("soft", "", "1").ok());
    EXPECT_FALSE(std::filesystem::exists(path_) && !ReadFile(path_).empty());
}

TEST_F(SettingsIniTest, WritesGoThroughASymbolicLinkToItsTargetAndKeepItsMode) {
    const std::string target = home_.Root() + "/shared/VexaRecorder.ini";
    WriteFile(target, "[soft]\nid=5\n");
    ::chmod(target.c_str(), 0640);
    std::filesystem::create_directories(home_.Root() + "/program");
    std::filesystem::create_symlink(target, path_);
    ASSERT_TRUE(Ok(ini_.WriteString("soft", "id", "1001")));
    EXPECT_TRUE(std::filesystem::is_symlink(path_));
    EXPECT_EQ(ReadFile(target), "[soft]\nid=1001\n");
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms::owner_read |
                                                                 std::filesystem::perms::owner_write |
                                                                 std::filesystem::perms::group_read);
}

TEST_F(SettingsIniTest, AnIniLargerThanItsReadCapIsReadButNeverWrittenBack) {
    WriteFile(path_, "[soft]\nid=5\n");
    ASSERT_EQ(::truncate(path_.c_str(), (off_t{4} << 20) + 1), 0);  // a sparse tail
    EXPECT_EQ(ini_.GetInt("soft", "id"), 5);
    const Error refused = ini_.WriteString("soft", "id", "1001");
    EXPECT_NE(refused.message().find(path_ + " is larger than 4 MiB"), std::string::npos)
        << refused.message();
    EXPECT_EQ(std::filesystem::file_size(path_), (std::uintmax_t{4} << 20) + 1);
}

TEST_F(SettingsIniTest, AReadOnlyFileIsNeverReplaced) {
    WriteFile(path_, "[soft]\nid=5\n");
    ::chmod(path_.c_str(), 0444);
    EXPECT_FALSE(ini_.WriteString("soft", "id", "1001").ok());
    EXPECT_EQ(ReadFile(path_), "[soft]\nid=5\n");
}

TEST_F(SettingsIniTest, TheProgramFolderIsUsedWhenItCanBeWritten) {
    std::filesystem::create_directories(home_.Root() + "/program");
    EXPECT_EQ(SettingsIni::Locate(home_.Root() + "/program/", home_.Config()).Path(), path_);
    EXPECT_EQ(SettingsIni::Locate(home_.Root() + "/program", home_.Config()).Path(), path_);
}

TEST_F(SettingsIniTest, AnUnwritableProgramFolderFallsBackToTheConfigFolder) {
    // A folder that does not exist cannot be written, whoever runs the test.
    const std::string installed = home_.Root() + "/opt/vexa/";
    SettingsIni fallback = SettingsIni::Locate(installed, home_.Config());
    EXPECT_EQ(fallback.Path(), home_.Config() + "/Vexa/VexaRecorder.ini");
    ASSERT_TRUE(Ok(fallback.WriteString("soft", "id", "1001")));
    EXPECT_EQ(ReadFile(fallback.Path()), "[soft]\nid=1001\n");
}

TEST_F(SettingsIniTest, TheFallbackStillReadsAndStartsFromTheCopyBesideTheProgram) {
    const std::string beside = home_.Root() + "/opt/VexaRecorder.ini";
    WriteFile(beside, "[soft]\nchannel=42\nid=7\n");
    SettingsIni ini(home_.Config() + "/Vexa/VexaRecorder.ini", beside);
    EXPECT_EQ(ini.GetInt("soft", "channel"), 42);
    ASSERT_TRUE(Ok(ini.WriteString("soft", "id", "1001")));
    EXPECT_EQ(ini.GetInt("soft", "id"), 1001);
    EXPECT_EQ(ini.GetInt("soft", "channel"), 42);
    EXPECT_EQ(ReadFile(beside), "[soft]\nchannel=42\nid=7\n");
    EXPECT_EQ(ReadFile(ini.Path()), "[soft]\nchannel=42\nid=1001\n");
}

TEST(IniDocument, KeysBeforeAnySectionOrWithoutEqualsAreNotValues) {
    const IniDocument document = IniDocument::Parse("id=1\n[soft]\nversion\n[soft2]\nversion=3");
    EXPECT_FALSE(document.Get("soft", "id"));
    EXPECT_FALSE(document.Get("soft", "version"));
    EXPECT_EQ(document.Get("soft2", "version"), "3");
}

}  // namespace
}  // namespace vexa::settings
