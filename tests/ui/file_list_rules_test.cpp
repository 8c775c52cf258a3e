// The recordings list's pure rules against independent oracles: recording times against the C
// library's calendar (timegm), sizes and durations against values worked out by hand, and the
// duration reader against files whose length is known from how they were written.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "tests/support/temp_folder.h"
#include "tests/ui/sparse_recording.h"
#include "ui/file_list_rules.h"
#include "ui/recording_duration.h"

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

// Seconds from 1 January 1601 to 1 January 1970.
constexpr int64_t kUnixEpochSince1601 = 11'644'473'600;

int64_t Since1601(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(timegm(&t)) + kUnixEpochSince1601;
}

TEST(RecordingName, ValidNamesGiveTheirTimeInSecondsSince1601WhateverTheExtensionsCase) {
    const struct {
        const char* name;
        int64_t expected;
    } cases[] = {
        {"20240105_093000.mp4", Since1601(2024, 1, 5, 9, 30, 0)},
        {"20240229_235959.M4A", Since1601(2024, 2, 29, 23, 59, 59)},
        {"20000229_120000.Mp4", Since1601(2000, 2, 29, 12, 0, 0)},
        {"19691231_235959.m4A", Since1601(1969, 12, 31, 23, 59, 59)},
        {"16010101_000000.mp4", 0},
        {"99991231_235959.mp4", Since1601(9999, 12, 31, 23, 59, 59)},
        {"20240105_093000_2.mp4", Since1601(2024, 1, 5, 9, 30, 0)},  // later in the same second
        {"20240105_093000_999.M4A", Since1601(2024, 1, 5, 9, 30, 0)},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseRecordingName(c.name);
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(parsed->count(), c.expected) << c.name;
    }
}

TEST(RecordingName, EverythingElseIsNoRecording) {
    for (const char* name : {
             "20241305_093000.mp4",       // month 13
             "20240005_093000.mp4",       // month 0
             "20240100_093000.mp4",       // day 0
             "20240431_093000.mp4",       // 31 April
             "20230229_093000.mp4",       // no leap year
             "19000229_093000.mp4",       // a century that is no leap year
             "16001231_235959.mp4",       // before 1601
             "20240105_243000.mp4",       // hour 24
             "20240105_096000.mp4",       // minute 60
             "20240105_093060.mp4",       // second 60
             "20240105-093000.mp4",       // hyphen for the underscore
             "2024010_50930000.mp4",      // underscore elsewhere
             "2024O105_093000.mp4",       // a letter among the digits
             "+2024105_093000.mp4",       // a sign
             "20240105_093000.mkv",       // another extension
             "20240105_093000.mp3",       //
             "20240105_093000mp4x",       //
             "20240105_093000.mp4.part",  // something after the extension
             "20240105_093000.mp4 ",      //
             " 20240105_093000.mp4",      //
             "20240105_0930.mp4",         // too short
             "recording.mp4",             // no date and time
             "20240105_093000_1.mp4",     // numbers begin at 2
             "20240105_093000_02.mp4",    // a leading zero
             "20240105_093000_1000.mp4",  // more than three digits
             "20240105_093000_.mp4",      // no number
             "20240105_093000_x.mp4",     //
             ".mp4",
             "",
         }) {
        EXPECT_FALSE(ParseRecordingName(name)) << '"' << name << '"';
    }
}

TEST(RecordingName, TheSortKeyIsTheTimeModulo2To32AndOrdersOneDaysRecordings) {
    const auto nine = ParseRecordingName("20240105_090000.mp4");
    const auto ten = ParseRecordingName("20240105_100000.mp4");
    ASSERT_TRUE(nine && ten);
    EXPECT_EQ(SortKey(*nine), static_cast<uint32_t>(Since1601(2024, 1, 5, 9, 0, 0) % 4'294'967'296));
    EXPECT_GT(SortKey(*ten), SortKey(*nine));
    EXPECT_EQ(SortKey(*ten) - SortKey(*nine), 3600u);
    EXPECT_EQ(SortKey(*ParseRecordingName("20090422_192448.mp4")), 0u) << "where the key wraps";
    EXPECT_EQ(SortKey(*ParseRecordingName("21450530_015303.mp4")), 4'294'967'295u);
    EXPECT_EQ(SortKey(0s), 0u);
    EXPECT_EQ(SortKey(4'294'967'296s + 5s), 5u);
}

TEST(DurationText, HoursWrapAt99AndEachFieldHasTwoDigits) {
    using Labels = DurationLabels;
    const auto text = [](std::chrono::microseconds d) { return FormatDuration(d); };
    EXPECT_EQ(text(3723s), (Labels{"01", "：", "02", "：", "03"}));
    EXPECT_EQ(text(3723s + 999'999us), (Labels{"01", "：", "02", "：", "03"})) << "whole seconds";
    EXPECT_EQ(text(0s), (Labels{"00", "：", "00", "：", "00"}));
    EXPECT_EQ(text(59s), (Labels{"00", "：", "00", "：", "59"}));
    EXPECT_EQ(text(98h + 59min + 59s), (Labels{"98", "：", "59", "：", "59"}));
    EXPECT_EQ(text(99h), (Labels{"00", "：", "00", "：", "00"}));
    EXPECT_EQ(text(100h), (Labels{"01", "：", "00", "：", "00"}));
    EXPECT_EQ(text(100h + 2min + 3s), (Labels{"01", "：", "02", "：", "03"}));
    EXPECT_EQ(FormatDuration(std::nullopt), Labels{});
    EXPECT_EQ(text(-1s), Labels{});
}

TEST(SizeText, EachUnitHasAtMostTwoDecimalsWithoutTrailingZeros) {
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1000, "1000 B"},
        {1023, "1023 B"},
        {1024, "1 KB"},
        {1025, "1 KB"},  // 1.0009...
        {1030, "1.01 KB"},
        {1100, "1.07 KB"},
        {1536, "1.5 KB"},
        {2048, "2 KB"},
        {10 * 1024 + 102, "10.1 KB"},
        {(1u << 20) - 1, "1024 KB"},  // 1023.999... rounds up within KB
        {1u << 20, "1 MB"},
        {1'572'864, "1.5 MB"},
        {1029 * 1024 + 1023, "1 MB"},  // whole KB first: 1029 / 1024 = 1.0048..., not 1.0058...
        {(1ull << 30) * 21 / 4, "5.25 GB"},
        {1ull << 40, "1 TB"},
        {3ull << 49, "1.5 PB"},
        {(1ull << 60) - 1, "1024 PB"},
        {1ull << 60, "1152921504606846976 B"},
        {UINT64_MAX, "18446744073709551615 B"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(RecordingDuration, AFinishedFileGivesItsContainersDurationAndAnythingElseAReason) {
    test::TempFolder folder;
    const std::string hour = folder.File("20240101_000000.m4a");
    test::WriteSparseRecording(hour, 3723s);
    const auto read = ReadRecordingDuration(hour);
    ASSERT_TRUE(read.ok()) << read.error().message();
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(read.value()), 3723s);

    const std::string long_one = folder.File("long.mp4");
    test::WriteSparseRecording(long_one, 360000s);
    ASSERT_TRUE(ReadRecordingDuration(long_one).ok());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(ReadRecordingDuration(long_one).value()),
              360000s);

    // Cut before its header, as a file still being written is.
    std::filesystem::resize_file(long_one, std::filesystem::file_size(long_one) / 2);
    EXPECT_FALSE(ReadRecordingDuration(long_one).ok());
    test::WriteFile(folder.File("text.mp4"), "not a recording");
    const auto text = ReadRecordingDuration(folder.File("text.mp4"));
    ASSERT_FALSE(text.ok());
    EXPECT_NE(text.error().message().find("text.mp4"), std::string::npos) << text.error().message();
    EXPECT_EQ(ReadRecordingDuration(folder.File("missing.mp4")).error().code(), ErrorCode::kNotFound);
}

// A fragmented file names no duration in its header: a finished one lasts to the end of its last
// fragment, and one cut short by a crash to the end of the last fragment whose header reached the
// disk. Its packets are all alike, so half of its bytes hold half of its time, within a fragment.
TEST(RecordingDuration, AFragmentedFileFinishedOrCutByACrashGivesTheEndOfItsFragments) {
    test::TempFolder folder;
    const std::string path = folder.File("20240101_000000.m4a");
    test::WriteFragmentedRecording(path, 60s);
    const auto whole = ReadRecordingDuration(path);
    ASSERT_TRUE(whole.ok()) << whole.error().message();
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(whole.value()), 60000ms);

    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    const auto cut = ReadRecordingDuration(path);
    ASSERT_TRUE(cut.ok()) << cut.error().message();
    EXPECT_GE(cut.value(), 29s);
    EXPECT_LE(cut.value(), 31s);
}

}  // namespace
}  // namespace vexa::ui
