// Runs the vexa-settings tool against a private store and ini file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/settings_key.h"
#include "tests/settings/temp_home.h"
#include "tests/support/run_command.h"

namespace vexa::settings {
namespace {

using test::CommandResult;
using test::RunCommand;
using testing::OpenStore;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

// Runs the tool (or a copy of it) with `arguments`; `out` holds its standard output, and its
// standard error too when `with_errors`.
CommandResult RunTool(const std::string& arguments, const std::string& tool = VEXA_SETTINGS_TOOL,
                      bool with_errors = false) {
    return RunCommand(tool + " " + arguments + (with_errors ? " 2>&1" : " 2>/dev/null"));
}

TEST(VexaSettingsTool, SetsGetsListsAndDeletesTypedValues) {
    TempHome home;
    EXPECT_EQ(RunTool("set desktop_frames dword 25").exit_code, 0);
    EXPECT_EQ(RunTool("get desktop_frames").out, "dword:00000019\n; reads as 20\n");
    EXPECT_EQ(RunTool("set count_down_val dword 0x9").exit_code, 0);
    EXPECT_EQ(RunTool("get count_down_val").out, "dword:00000009\n; reads as 5\n");
    EXPECT_EQ(RunTool("set desktop_select_rgn binary 01,02,03").exit_code, 0);  // a wrong size can be stored
    EXPECT_EQ(RunTool("set output_dir sz '/tmp/a b'").exit_code, 0);
    EXPECT_EQ(RunTool("list").out,
              "\"count_down_val\"=dword:00000009\n\"desktop_frames\"=dword:00000019\n"
              "\"desktop_select_rgn\"=hex:01,02,03\n\"output_dir\"=\"/tmp/a b\"\n");
    EXPECT_EQ(RunTool("delete desktop_frames").exit_code, 0);
    EXPECT_EQ(RunTool("get desktop_frames").exit_code, 1);
    auto key = OpenStore(home.StorePath());
    EXPECT_FALSE(key->ReadBinary16("desktop_select_rgn"));
    EXPECT_EQ(key->Find("output_dir")->data, "/tmp/a b");
}

TEST(VexaSettingsTool, RefusesBadInputWithUsageStatus) {
    TempHome home;
    EXPECT_EQ(RunTool("set a dword 4294967296").exit_code, 2);
    EXPECT_EQ(RunTool("set a dword twelve").exit_code, 2);
    EXPECT_EQ(RunTool("set a binary 0g").exit_code, 2);
    EXPECT_EQ(RunTool("set a binary 012").exit_code, 2);
    EXPECT_EQ(RunTool("set a qword 1").exit_code, 2);
    EXPECT_EQ(RunTool("frobnicate").exit_code, 2);
    EXPECT_EQ(RunTool("list").out, "");
}

TEST(VexaSettingsTool, ReadsAndWritesTheIniFile) {
    TempHome home;
    const std::string ini = "--ini " + home.Root() + "/VexaRecorder.ini ";
    EXPECT_EQ(RunTool(ini + "ini set soft CloseWnd No").exit_code, 0);
    EXPECT_EQ(RunTool(ini + "ini get SOFT closewnd").out, "No\n");
    EXPECT_EQ(RunTool(ini + "ini get soft id").out, "\n");
    EXPECT_EQ(ReadFile(home.Root() + "/VexaRecorder.ini"), "[soft]\nCloseWnd=No\n");
}

// The tool edits the ini of the program built in its own tree (or installed beside it), where the
// program looks for it, never an ini of its own.
TEST(VexaSettingsTool, FindsTheIniOfTheProgramOfItsOwnTree) {
    namespace fs = std::filesystem;
    TempHome home;
    const fs::path tool_folder = fs::path(home.Root()) / "build/tools/vexa-settings";
    const fs::path program_folder = (tool_folder / VEXA_PROGRAM_FROM_TOOL).lexically_normal();
    const std::string tool = (tool_folder / "vexa-settings").string();
    fs::create_directories(tool_folder);
    fs::copy_file(VEXA_SETTINGS_TOOL, tool);  // a copy of the tree: the real program may not be built

    const CommandResult nowhere = RunTool("ini set soft id 7", tool, true);
    EXPECT_EQ(nowhere.exit_code, 1);
    EXPECT_NE(nowhere.out.find("--ini"), std::string::npos) << nowhere.out;
    for (const fs::path& ini : {tool_folder / "VexaRecorder.ini", program_folder / "VexaRecorder.ini",
                                fs::path(home.Config()) / "Vexa/VexaRecorder.ini"})
        EXPECT_FALSE(fs::exists(ini)) << ini;

    WriteFile(program_folder / "VexaRecorder", "#!/bin/sh\n", true);
    EXPECT_EQ(RunTool("ini set soft id 7", tool).exit_code, 0);
    EXPECT_EQ(ReadFile(program_folder / "VexaRecorder.ini"), "[soft]\nid=7\n");
    EXPECT_EQ(RunTool("ini get soft id", tool).out, "7\n");
    EXPECT_FALSE(fs::exists(tool_folder / "VexaRecorder.ini"));

    WriteFile(tool_folder / "VexaRecorder", "#!/bin/sh\n", true);  // installed together
    EXPECT_EQ(RunTool("ini set soft id 8", tool).exit_code, 0);
    EXPECT_EQ(ReadFile(tool_folder / "VexaRecorder.ini"), "[soft]\nid=8\n");
    EXPECT_EQ(ReadFile(program_folder / "VexaRecorder.ini"), "[soft]\nid=7\n");
}

}  // namespace
}  // namespace vexa::settings
