#include "settings/reg_text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vexa::settings {
namespace {

RegValue Value(std::string name, uint32_t type, std::string data) {
    return {std::move(name), type, std::move(data)};
}

RegValues Sample() {
    RegValues values;
    for (RegValue value : {Value("desktop_frames", kRegDword, std::string("\x14\0\0\0", 4)),
                           Value("desktop_select_rgn", kRegBinary, std::string(16, '\xff')),
                           Value("output_dir", kRegSz, "/home/me/Documents/Miravo文件"),
                           Value("quoted \"name\" \\ here", kRegSz, "a \"b\" \\c"),
                           Value("wide_dword", kRegDword, std::string(8, '\x01')),
                           Value("text_with_break", kRegSz, std::string("line\nnext\0end", 13)),
                           Value("empty_binary", kRegBinary, ""), Value("qword", kRegQword, "12345678")})
        values[FoldName(value.name)] = value;
    return values;
}

void ExpectSameValues(const RegValues& expected, const RegValues& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [folded, value] : expected) {
        const auto found = actual.find(folded);
        ASSERT_NE(found, actual.end()) << value.name;
        EXPECT_EQ(found->second.name, value.name);
        EXPECT_EQ(found->second.type, value.type) << value.name;
        EXPECT_EQ(found->second.data, value.data) << value.name;
    }
}

TEST(RegText, EveryTypeAndSizeSurvivesARoundTrip) {
    const RegValues values = Sample();
    ExpectSameValues(values, ParseRegText(FormatRegText(values)));
}

TEST(RegText, WritesTheReadableFormsBesideEachValue) {
    const std::string text = FormatRegText(Sample());
    EXPECT_NE(text.find("\"desktop_frames\"=dword:00000014\n"), std::string::npos);
    EXPECT_NE(text.find("\"desktop_select_rgn\"=hex:ff,ff,"), std::string::npos);
    EXPECT_NE(text.find("\"output_dir\"=\"/home/me/Documents/Miravo文件\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"wide_dword\"=hex(4):01,01,01,01,01,01,01,01\n"), std::string::npos);
    EXPECT_NE(text.find("\"qword\"=hex(b):"), std::string::npos);
    EXPECT_NE(text.find("\"text_with_break\"=hex(1):"), std::string::npos);
}

TEST(RegText, NamesCompareWithoutCaseAndTheLastLineWins) {
    const RegValues values = ParseRegText("\"Count_Down\"=dword:00000001\n\"count_down\"=dword:00000002\n");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.at("count_down").name, "count_down");
    EXPECT_EQ(values.at("count_down").data, std::string("\x02\0\0\0", 4));
}

TEST(RegText, MalformedLinesAreSkippedAndTheRestIsKept) {
    const RegValues values = ParseRegText(
        "garbage\n"
        "\"a\"=dword:0000001\n"    // seven digits
        "\"b\"=dword:000000010\n"  // nine digits
        "\"c\"=hex:0,01\n"         // half a byte
        "\"d\"=hex:01,\n"          // dangling comma
        "\"e\"=\"open\n"           // no closing quote
        "\"f\"=\"bad \\n escape\"\n"
        "\"\"=dword:00000001\n"  // empty name
        "\"g\"=hex(zz):01\n"
        "\"h\"=dword:0000000g\n"
        "\"ok\"=dword:0000000a\r\n"
        "; comment\n[VexaRecorder]\n");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.at("ok").data, std::string("\x0a\0\0\0", 4));
}

TEST(RegText, TruncationAtEveryByteKeepsEveryCompleteLine) {
    const RegValues values = Sample();
    const std::string text = FormatRegText(values);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const std::string_view kept = std::string_view(text).substr(0, cut);
        const RegValues parsed = ParseRegText(kept);
        // Exactly the values whose whole line (with its line end) survived are present and intact.
        std::size_t complete = 0;
        for (const auto& [folded, value] : parsed) {
            ASSERT_TRUE(values.count(folded)) << "cut " << cut;
            EXPECT_EQ(value.data, values.at(folded).data) << "cut " << cut;
            EXPECT_EQ(value.type, values.at(folded).type) << "cut " << cut;
            ++complete;
        }
        const auto line_ends = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), '\n'));
        EXPECT_EQ(complete, line_ends >= 2 ? line_ends - 2 : 0) << "cut " << cut;  // two header lines
    }
}

TEST(RegText, OnlyPrintableAsciiNamesUpTo255CharactersAreValid) {
    EXPECT_TRUE(IsValidValueName("camera_wnd_pos_3"));
    EXPECT_TRUE(IsValidValueName(std::string(255, 'a')));
    EXPECT_FALSE(IsValidValueName(std::string(256, 'a')));
    EXPECT_FALSE(IsValidValueName(""));
    EXPECT_FALSE(IsValidValueName("tab\there"));
    EXPECT_FALSE(IsValidValueName("文件"));
}

}  // namespace
}  // namespace vexa::settings
