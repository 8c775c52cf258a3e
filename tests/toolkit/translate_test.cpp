// The language the program speaks: which catalogues a locale chooses, and texts looked up through
// real gettext catalogues compiled by msgfmt (the project's English one, and a broken one whose
// placeholders do not match).
#include "toolkit/translate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>

#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace vexa::toolkit {
namespace {

using Languages = std::vector<std::string>;

TEST(TranslationLanguagesTest, LanguageThenLcAllThenLcMessagesThenLangChooseAndChineseKeepsTheSourceTexts) {
    struct Case {
        LocaleVariables variables;
        Languages expected;
    };
    const Case cases[] = {
        // Chinese in any form keeps the source texts.
        {{"", "", "", "zh_CN.UTF-8"}, {}},
        {{"zh", "", "", "de_DE.UTF-8"}, {}},
        {{"", "zh_CN.GB18030", "", "en_US.UTF-8"}, {}},
        // Every other locale: its catalogue where there is one, English after it.
        {{"", "", "", "de_DE.UTF-8"}, {"de_DE.UTF-8", "en"}},
        {{"", "", "fr_FR", "zh_CN.UTF-8"}, {"fr_FR", "en"}},  // LC_MESSAGES before LANG
        {{"", "de_AT", "fr_FR", "zh_CN"}, {"de_AT", "en"}},   // LC_ALL before both
        // C, POSIX and nothing at all give English (gettext alone would not translate there).
        {{"", "", "", ""}, {"en"}},
        {{"", "", "", "C"}, {"en"}},
        {{"", "C.UTF-8", "", "zh_CN.UTF-8"}, {"en"}},  // LC_ALL wins even when it names no language
        {{"", "", "", "POSIX"}, {"en"}},
        // LANGUAGE first, also over a C locale; its Chinese entry ends the list there.
        {{"fr:zh_CN:de", "", "", "C"}, {"fr"}},
        {{"C:de::de", "", "", ""}, {"de", "en"}},  // C skipped, empty entries and repeats dropped
        {{":", "", "", "zh_CN.UTF-8"}, {}},        // a LANGUAGE without entries counts as unset
    };
    for (const Case& c : cases) {
        const LocaleVariables& v = c.variables;
        EXPECT_EQ(TranslationLanguages(v), c.expected)
            << "LANGUAGE=" << v.language << " LC_ALL=" << v.lc_all << " LC_MESSAGES=" << v.lc_messages
            << " LANG=" << v.lang;
    }
}

TEST(TranslationPlaceholdersTest,
     OnlyATranslationWithTheSameArgumentsStandsInAndSubstitutionFollowsTheOrder) {
    EXPECT_TRUE(SamePlaceholders("扬声器 %s", "Speaker %s"));
    EXPECT_TRUE(SamePlaceholders("%s 与 %s", "%2$s and %1$s"));
    EXPECT_TRUE(SamePlaceholders("100%% 完成", "done"));
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker"));
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker %s %s"));
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker %d"));       // any other conversion is refused
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker %2$s"));     // an argument that is not there
    EXPECT_FALSE(SamePlaceholders("%s %s", "%1$s %s"));              // the two forms mixed
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker %"));        // a lone percent at the end
    EXPECT_FALSE(SamePlaceholders("扬声器 %s", "Speaker %1234$s"));  // no such argument number

    EXPECT_EQ(Substitute("%2$s, then %1$s (100%%)", {"a", "b"}), "b, then a (100%)");
    EXPECT_EQ(Substitute("%s%s", {"x"}), "x%s");  // a missing argument stays visible, nothing read past
}

class CatalogueTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_TRUE(InitTranslation({}, "").ok()); }
};

TEST_F(CatalogueTest, TheEnglishCatalogueTranslatesUnderTheCLocaleAndChineseKeepsTheBytes) {
    std::setlocale(LC_ALL, "C");  // as a user with LANG=C starts it
    ASSERT_TRUE(InitTranslation(TranslationLanguages({"", "", "", "C"}), VEXA_BUILD_LOCALEDIR).ok());
    EXPECT_STREQ(Tr("开始录制"), "Start recording");
    EXPECT_EQ(TrFormat("扬声器 %s", {"2"}), "Speaker 2");
    EXPECT_EQ(TrFormat("摄像头打开失败(0x%s", {"80004005"}), "Cannot open the camera (0x80004005)");
    EXPECT_STREQ(Tr("没有这个文本"), "没有这个文本");  // a text without an entry stays as it is

    const char* source = "开始录制";
    ASSERT_TRUE(
        InitTranslation(TranslationLanguages({"", "", "", "zh_CN.UTF-8"}), VEXA_BUILD_LOCALEDIR).ok());
    EXPECT_EQ(Tr(source), source);  // the very bytes
    EXPECT_EQ(TrFormat("扬声器 %s", {"2"}), "扬声器 2");
}

TEST_F(CatalogueTest, ATranslationWhosePlaceholdersDifferIsNotUsed) {
    test::TempFolder folder;
    const std::filesystem::path messages = folder.Path() / "xx" / "LC_MESSAGES";
    std::filesystem::create_directories(messages);
    std::ofstream(folder.File("xx.po"))
        << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
           "msgid \"扬声器 %s\"\nmsgstr \"Speaker %s of %s\"\n\n"
           "msgid \"麦克风 %s\"\nmsgstr \"Mic %d\"\n\n"
           "msgid \"摄像头 %s\"\nmsgstr \"Camera #%1$s\"\n";
    // Without --check msgfmt takes the broken entries, as a careless catalogue would have them.
    const test::CommandResult compiled = test::RunCommand(
        "msgfmt -o '" + (messages / "vexarecorder.mo").string() + "' '" + folder.File("xx.po") + "' 2>&1");
    ASSERT_EQ(compiled.exit_code, 0) << compiled.out;

    ASSERT_TRUE(InitTranslation({"xx"}, folder.Path().string()).ok());
    EXPECT_STREQ(Tr("扬声器 %s"), "Speaker %s of %s");    // the catalogue is read...
    EXPECT_EQ(TrFormat("扬声器 %s", {"1"}), "扬声器 1");  // ...but its broken entries are not used
    EXPECT_EQ(TrFormat("麦克风 %s", {"1"}), "麦克风 1");
    EXPECT_EQ(TrFormat("摄像头 %s", {"1"}), "Camera #1");
}

}  // namespace
}  // namespace vexa::toolkit
