#include "ui/file_list_rules.h"

#include <cstdio>

namespace vexa::ui {
namespace {

using namespace std::chrono;

// "YYYYMMDD_HHMMSS.ext": where each field of a recording's name starts, and its width.
struct NameField {
    size_t at;
    size_t width;
};
constexpr NameField kYear{0, 4}, kMonth{4, 2}, kDay{6, 2}, kHour{9, 2}, kMinute{11, 2}, kSecond{13, 2};
constexpr size_t kUnderscoreAt = 8;
constexpr size_t kTimeEnd = 15;
constexpr std::string_view kExtensions[] = {".mp4", ".m4a"};
constexpr size_t kExtensionLength = 4;
constexpr size_t kNameLength = 19;    // without a number
constexpr size_t kLongestNumber = 3;  // "_2" to "_999": a second recording started in the same second

constexpr year kFirstYear{1601};
constexpr char kFullWidthColon[] = "：";  // not translated: the duration's separator, no word

// The field's digits as a number; nullopt when one of them is no digit.
std::optional<unsigned> Digits(std::string_view name, NameField field) {
    unsigned value = 0;
    for (const char c : name.substr(field.at, field.width)) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool HasRecordingExtension(std::string_view name) {
    const std::string_view extension = name.substr(name.size() - kExtensionLength);
    for (const std::string_view known : kExtensions) {
        if (EqualsIgnoringCase(extension, known)) return true;
    }
    return false;
}

// Nothing, or "_" and a number from 2 to 999 without leading zeros, between the time and the extension.
bool ValidNumber(std::string_view number) {
    if (number.empty()) return true;
    if (number.size() < 2 || number.size() > 1 + kLongestNumber || number[0] != '_' || number[1] == '0')
        return false;
    for (const char c : number.substr(1))
        if (c < '0' || c > '9') return false;
    return number != "_1";
}

std::string TwoDigits(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(value));
    return text;
}

// "%.2f" without trailing zeros, and without the point when nothing follows it.
std::string TwoDecimalsTrimmed(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string result = text;
    while (result.back() == '0') result.pop_back();
    if (result.back() == '.') result.pop_back();
    return result;
}

// The units above bytes: each is 2^shift bytes and holds counts below 2^(shift + 10).
struct SizeUnit {
    unsigned shift;
    const char* name;
};
constexpr SizeUnit kSizeUnits[] = {{10, "KB"}, {20, "MB"}, {30, "GB"}, {40, "TB"}, {50, "PB"}};

}  // namespace

std::optional<seconds> ParseRecordingName(std::string_view name) {
    if (name.size() < kNameLength || name.size() > kNameLength + 1 + kLongestNumber ||
        name[kUnderscoreAt] != '_' || !HasRecordingExtension(name) ||
        !ValidNumber(name.substr(kTimeEnd, name.size() - kExtensionLength - kTimeEnd)))
        return std::nullopt;
    const auto y = Digits(name, kYear), mo = Digits(name, kMonth), d = Digits(name, kDay);
    const auto h = Digits(name, kHour), mi = Digits(name, kMinute), s = Digits(name, kSecond);
    if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
    const year_month_day date{year{static_cast<int>(*y)}, month{*mo}, day{*d}};
    if (date.year() < kFirstYear || !date.ok() || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;
    const days since_first_day = sys_days(date) - sys_days(kFirstYear / January / 1);
    return since_first_day + hours(*h) + minutes(*mi) + seconds(*s);
}

uint32_t SortKey(seconds since_1601) {
    return static_cast<uint32_t>(static_cast<uint64_t>(since_1601.count()));
}

DurationLabels FormatDuration(std::optional<microseconds> duration) {
    if (!duration || duration->count() < 0) return {};
    const uint64_t total = static_cast<uint64_t>(duration_cast<seconds>(*duration).count());
    const uint64_t whole_hours = total / 3600;
    return {TwoDigits(whole_hours % 99), kFullWidthColon, TwoDigits(total / 60 - 60 * whole_hours),
            kFullWidthColon, TwoDigits(total % 60)};
}

std::string FormatSize(uint64_t bytes) {
    if (bytes > 1023) {
        for (const SizeUnit& unit : kSizeUnits) {
            if (bytes < (uint64_t{1} << (unit.shift + 10)))
                return TwoDecimalsTrimmed(static_cast<double>(bytes >> (unit.shift - 10)) / 1024.0) + " " +
                       unit.name;
        }
    }
    return std::to_string(bytes) + " B";
}

}  // namespace vexa::ui
