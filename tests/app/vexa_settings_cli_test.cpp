// Runs the vexa-settings tool against a private store and ini file.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/settings_key.h"
#include "tests/app/temp_home.h"

namespace vexa::app {
namespace {

using testing::OpenStore;
using testing::ReadFile;
using testing::TempHome;
using testing::WriteFile;

struct Result {
    int status = -1;
    std::string out;
};

// Runs the tool (or a copy of it) with `arguments`; `out` holds its standard output, and its
// standard error too when `with_errors`.
Result RunTool(const std::string& arguments, const std::string& tool = VEXA_SETTINGS_TOOL,
               bool with_errors = false) {
    Result result;
    const std::string command = tool + " " + arguments + (with_errors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(VexaSettingsTool, SetsGetsListsAndDeletesTypedValues) {
    TempHome home;
    EXPECT_EQ(RunTool("set desktop_frames dword 25").status, 0);
    EXPECT_EQ(RunTool("get desktop_frames").out, "dword:00000019\n; reads as 20\n");
    EXPECT_EQ(RunTool("set count_down_val dword 0x9").status, 0);
    EXPECT_EQ(RunTool("get count_down_val").out, "dword:00000009\n; reads as 5\n");
    EXPECT_EQ(RunTool("set desktop_select_rgn binary 01,02,03").status, 0);  // a wrong size can be stored
    EXPECT_EQ(RunTool("set output_dir sz '/tmp/a b'").status, 0);
    EXPECT_EQ(RunTool("list").out,
              "\"count_down_val\"=dword:00000009\n\"desktop_frames\"=dword:00000019\n"
              "\"desktop_select_rgn\"=hex:01,02,03\n\"output_dir\"=\"/tmp/a b\"\n");
    EXPECT_EQ(RunTool("delete desktop_frames").status, 0);
    EXPECT_EQ(RunTool("get desktop_frames").status, 1);
    auto key = OpenStore(home.StorePath());
    EXPECT_FALSE(key->ReadBinary16("desktop_select_rgn"));
    EXPECT_EQ(key->Find("output_dir")->data, "/tmp/a b");
}

TEST(VexaSettingsTool, RefusesBadInputWithUsageStatus) {
    TempHome home;
    EXPECT_EQ(RunTool("set a dword 4294967296").status, 2);
    EXPECT_EQ(RunTool("set a dword twelve").status, 2);
    EXPECT_EQ(RunTool("set a binary 0g").status, 2);
    EXPECT_EQ(RunTool("set a binary 012").status, 2);
    EXPECT_EQ(RunTool("set a qword 1").status, 2);
    EXPECT_EQ(RunTool("frobnicate").status, 2);
    EXPECT_EQ(RunTool("list").out, "");
}

TEST(VexaSettingsTool, ReadsAndWritesTheIniFile) {
    TempHome home;
    const std::string ini = "--ini " + home.Root() + "/VexaRecorder.ini ";
    EXPECT_EQ(RunTool(ini + "ini set soft CloseWnd No").status, 0);
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

    const Result nowhere = RunTool("ini set soft id 7", tool, true);
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.out.find("--ini"), std::string::npos) << nowhere.out;
    for (const fs::path& ini : {tool_folder / "VexaRecorder.ini", program_folder / "VexaRecorder.ini",
                                fs::path(home.Config()) / "Vexa/VexaRecorder.ini"})
        EXPECT_FALSE(fs::exists(ini)) << ini;

    WriteFile(program_folder / "VexaRecorder", "#!/bin/sh\n", true);
    EXPECT_EQ(RunTool("ini set soft id 7", tool).status, 0);
    EXPECT_EQ(ReadFile(program_folder / "VexaRecorder.ini"), "[soft]\nid=7\n");
    EXPECT_EQ(RunTool("ini get soft id", tool).out, "7\n");
    EXPECT_FALSE(fs::exists(tool_folder / "VexaRecorder.ini"));

    WriteFile(tool_folder / "VexaRecorder", "#!/bin/sh\n", true);  // installed together
    EXPECT_EQ(RunTool("ini set soft id 8", tool).status, 0);
    EXPECT_EQ(ReadFile(tool_folder / "VexaRecorder.ini"), "[soft]\nid=8\n");
    EXPECT_EQ(ReadFile(program_folder / "VexaRecorder.ini"), "[soft]\nid=7\n");
}

}  // namespace
}  // namespace vexa::app
