#include "settings/output_folder.h"

#include <gtest/gtest.h>

#include "settings/settings_catalog.h"
#include "settings/user_dirs.h"
#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using testing::Ok;
using testing::OpenStore;
using testing::TempHome;
using testing::WriteFile;

TEST(OutputFolder, TheDocumentsFolderComesFromTheUserDirsFile) {
    TempHome home;
    EXPECT_EQ(DocumentsFolder(), home.Home() + "/Documents");
    WriteFile(home.Config() + "/user-dirs.dirs", "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n");
    EXPECT_EQ(DocumentsFolder(), home.Home() + "/Dokumente");
    EXPECT_EQ(DefaultOutputFolder(), home.Home() + "/Dokumente/Miravo文件");
    WriteFile(home.Config() + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(DocumentsFolder(), "/srv/docs");
    WriteFile(home.Config() + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");  // disabled
    EXPECT_EQ(DocumentsFolder(), home.Home() + "/Documents");
    WriteFile(home.Config() + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"relative\"\n");
    EXPECT_EQ(DocumentsFolder(), home.Home() + "/Documents");
}

TEST(OutputFolder, AFreshStoreCreatesAndStoresTheDefaultFolder) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    const Result<std::string> folder = ResolveOutputFolder(*key);
    ASSERT_TRUE(Ok(folder.error()));
    EXPECT_EQ(folder.value(), home.Home() + "/Documents/Miravo文件");
    EXPECT_TRUE(std::filesystem::is_directory(folder.value()));
    EXPECT_EQ(StoredOutputFolder(*key), folder.value());
}

TEST(OutputFolder, ADeletedOrUnusableStoredFolderGivesTheDefaultAgain) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    const std::string chosen = home.Root() + "/chosen";
    std::filesystem::create_directories(chosen);
    ASSERT_TRUE(Ok(key->WriteString("output_dir", chosen)));
    EXPECT_EQ(ResolveOutputFolder(*key).value(), chosen);
    std::filesystem::remove(chosen);
    EXPECT_FALSE(StoredOutputFolder(*key));
    EXPECT_EQ(ResolveOutputFolder(*key).value(), home.Home() + "/Documents/Miravo文件");
    ASSERT_TRUE(Ok(key->WriteDword("output_dir", 5)));  // wrong type
    EXPECT_FALSE(StoredOutputFolder(*key));
    ASSERT_TRUE(Ok(key->WriteString("output_dir", "")));
    EXPECT_FALSE(StoredOutputFolder(*key));
}

TEST(OutputFolder, ADefaultThatCannotBeCreatedFailsWithTheFolderThatStoodInTheWay) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    WriteFile(home.Home() + "/Documents", "a file, not a folder");
    EXPECT_EQ(ResolveOutputFolder(*key).error().message(), home.Home() + "/Documents is not a folder");
    EXPECT_FALSE(key->Find("output_dir"));
}

}  // namespace
}  // namespace vexa::settings
