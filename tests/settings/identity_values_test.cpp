#include "settings/identity_values.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <set>

#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using testing::Ok;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

class IdentityValuesTest : public ::testing::Test {
  protected:
    TempHome home_;
    std::string path_ = home_.Root() + "/VexaRecorder.ini";
    SettingsIni ini_{path_};
};

TEST_F(IdentityValuesTest, AFreshInstallGetsItsDefaultsWrittenAtOnce) {
    const IdentityValues values = LoadIdentityValues(ini_);
    EXPECT_EQ(values.id, 1001);
    EXPECT_EQ(values.version, 101);
    EXPECT_EQ(values.channel, 0);
    EXPECT_EQ(values.bdvid, "");
    EXPECT_TRUE(IsAcceptedInstallationId(values.uuid)) << values.uuid;
    EXPECT_EQ(ini_.GetString("soft", "id"), "1001");
    EXPECT_EQ(ini_.GetString("soft", "version"), "101");
    EXPECT_EQ(ini_.GetString("config", "uuid"), values.uuid);
    EXPECT_FALSE(ini_.GetString("soft", "channel").size());  // channel and bdvid are never written
    EXPECT_EQ(LoadIdentityValues(ini_).uuid, values.uuid);   // kept on the next start
}

TEST_F(IdentityValuesTest, StoredValuesAreKeptAndBadOnesReplaced) {
    WriteFile(path_, "[soft]\nid=-3\nversion=205\nchannel=9\nbdvid=summer\n[config]\nuuid=short\n");
    const IdentityValues values = LoadIdentityValues(ini_);
    EXPECT_EQ(values.id, 1001);
    EXPECT_EQ(values.version, 205);
    EXPECT_EQ(values.channel, 9);
    EXPECT_EQ(values.bdvid, "summer");
    EXPECT_NE(values.uuid, "short");
    EXPECT_TRUE(IsAcceptedInstallationId(values.uuid));
    EXPECT_EQ(ini_.GetString("soft", "version"), "205");
}

TEST_F(IdentityValuesTest, AReadOnlyFileStillGivesTheDefaultsInMemory) {
    WriteFile(path_, "[soft]\nid=0\n");
    ::chmod(path_.c_str(), 0444);
    const IdentityValues values = LoadIdentityValues(ini_);
    EXPECT_EQ(values.id, 1001);
    EXPECT_EQ(values.version, 101);
    EXPECT_TRUE(IsAcceptedInstallationId(values.uuid));
    EXPECT_EQ(ReadFile(path_), "[soft]\nid=0\n");
}

TEST(InstallationId, IsSixteenUrlSafeCharactersAndDiffersEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        auto id = MakeInstallationId();
        ASSERT_TRUE(Ok(id.error()));
        EXPECT_TRUE(IsAcceptedInstallationId(*id)) << *id;
        seen.insert(*id);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_TRUE(IsAcceptedInstallationId("AZaz09-_AZaz09-_"));
    EXPECT_FALSE(IsAcceptedInstallationId("AZaz09+/AZaz09+/"));
    EXPECT_FALSE(IsAcceptedInstallationId("AZaz09-_AZaz09-"));
    EXPECT_FALSE(IsAcceptedInstallationId("AZaz09-_AZaz09-_A"));
}

}  // namespace
}  // namespace vexa::settings
