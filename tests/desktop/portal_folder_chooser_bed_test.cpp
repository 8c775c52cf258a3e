// The folder chooser through a file-chooser portal (the fake one on a private session bus): what it
// asks (a folder, modal, over the given window, starting in the given folder) and what it makes of
// the answers: a folder, a cancel, and a desktop without the portal or with one too old for folders.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/portal_folder_chooser.h"
#include "tests/support/portal_test_bed.h"

namespace vexa::desktop {
namespace {

using namespace std::chrono_literals;

class PortalFolderChooserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = test::PortalTestBed::Missing(); !missing.empty())
            GTEST_SKIP() << missing;
    }
    void Start(std::vector<std::string> args) {
        test::PortalTestBed::Options options;
        options.producer = false;
        options.portal_args = std::move(args);
        bed_.reset();  // one bed at a time: each points this process at its own bus
        bed_ = std::make_unique<test::PortalTestBed>(options);
        ASSERT_TRUE(bed_->Ready()) << bed_->Error();
    }
    std::string OpenFileCall() const {
        for (const std::string& call : bed_->Calls())
            if (call.find("\"OpenFile\"") != std::string::npos) return call;
        return {};
    }
    std::unique_ptr<test::PortalTestBed> bed_;
};

TEST_F(PortalFolderChooserTest, AChosenFolderComesBackAsAPathAndTheQuestionAsksForAFolder) {
    Start({"--folder", "file:///tmp/My%20Videos"});
    const auto answer = ChooseFolderThroughPortal("x11:4a00007", "选择录制文件存储目录", "/home/u/视频", 20s);
    ASSERT_TRUE(answer.ok()) << answer.error().message();
    EXPECT_EQ(answer.value(), "/tmp/My Videos");
    const std::string call = OpenFileCall();
    EXPECT_NE(call.find("\"parent\": \"x11:4a00007\""), std::string::npos) << call;
    EXPECT_NE(call.find("\"directory\": true"), std::string::npos) << call;
    EXPECT_NE(call.find("\"modal\": true"), std::string::npos) << call;
    // The start folder's bytes with their NUL (UTF-8 bytes show one character each in the record).
    EXPECT_NE(call.find("\"current_folder\": \"/home/u/"), std::string::npos) << call;
    EXPECT_NE(call.find("\\u0000\""), std::string::npos) << call;
}

TEST_F(PortalFolderChooserTest, ACancelIsNoFolderAndAMissingOrOldPortalSendsTheCallerToItsOwnChooser) {
    Start({"--folder", "cancel"});
    auto answer = ChooseFolderThroughPortal("", "t", "", 20s);
    ASSERT_TRUE(answer.ok()) << answer.error().message();
    EXPECT_EQ(answer.value(), std::nullopt);
    EXPECT_EQ(OpenFileCall().find("current_folder"), std::string::npos);  // no start folder: none sent

    Start({});  // no FileChooser
    answer = ChooseFolderThroughPortal("", "t", "", 20s);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().code(), ErrorCode::kUnavailable) << answer.error().message();

    Start({"--folder", "file:///tmp", "--file-chooser-version", "2"});
    answer = ChooseFolderThroughPortal("", "t", "", 20s);
    ASSERT_FALSE(answer.ok());
    EXPECT_EQ(answer.error().code(), ErrorCode::kUnsupported) << answer.error().message();
    EXPECT_TRUE(OpenFileCall().empty());  // it was never asked
}

}  // namespace
}  // namespace vexa::desktop
