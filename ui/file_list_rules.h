// The recordings list's rules without a window: which file names are recordings and when they were
// recorded, the rows' sort key, and the texts a row shows for a duration and a size.
// Pure functions; any thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::ui {

// The recording time in a name the recorder gives its files: eight digits of date (year, month,
// day), "_", six digits of time (hour, minute, second), for a later recording of the same second
// "_2" to "_999", then ".mp4" or ".m4a" in any case, and nothing else. The date must exist in the calendar
// (years 1601 to 9999, leap days included), the time be 00:00:00 to 23:59:59. The result counts whole seconds
// from 1 January 1601 00:00 on the same clock as the name (local time, no zone conversion); nullopt for any
// other name.
[[nodiscard]] std::optional<std::chrono::seconds> ParseRecordingName(std::string_view name);

// A row's sort key: the recording time's seconds modulo 2^32. Rows stay in descending key order,
// which is the order of recording for names from 2009-04-22 19:24:48 to 2145-05-30 01:53:04 (the
// key wraps at both ends).
[[nodiscard]] uint32_t SortKey(std::chrono::seconds since_1601);

// The labels "time1" to "time5" of a row: hours modulo 99, "：", minutes, "：", seconds, each number
// as "%02u" of the duration's whole seconds. All five are empty for an unknown (or negative)
// duration.
using DurationLabels = std::array<std::string, 5>;
[[nodiscard]] DurationLabels FormatDuration(std::optional<std::chrono::microseconds> duration);

// A byte count as the list shows it: up to 1023 in bytes ("1000 B"), then KB, MB, GB, TB and PB
// with at most two decimals and no trailing zeros or point ("1.5 KB", "2 KB"); counts from 2^60 on
// in bytes again.
[[nodiscard]] std::string FormatSize(uint64_t bytes);

}  // namespace vexa::ui
