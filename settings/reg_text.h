// The text form of the settings store: one value per line, the type written beside it,
//   "desktop_frames"=dword:00000014
//   "desktop_select_rgn"=hex:00,00,00,00,...
//   "output_dir"="/home/me/Documents/Miravo文件"
//   "odd_value"=hex(b):01,02,03,04,05,06,07,08      (any other type keeps its registry type number)
// Lines starting with ';' or '[' are comments. A line that cannot be parsed is skipped, and so is a
// last line without its line end (a partly written file). Value names compare case-insensitively,
// as registry value names do, and keep their spelling.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::settings {

// Registry type numbers, kept so that a value of a foreign type survives a rewrite unchanged.
enum RegType : uint32_t {
    kRegSz = 1,
    kRegBinary = 3,
    kRegDword = 4,
    kRegQword = 11,
};

struct RegValue {
    std::string name;  // as written
    uint32_t type = kRegBinary;
    std::string data;  // the stored bytes; a DWORD is 4 bytes little-endian, text has no terminator
};

// Values keyed by FoldName(name).
using RegValues = std::map<std::string, RegValue>;

// Names are 1 to 255 printable ASCII characters.
[[nodiscard]] bool IsValidValueName(std::string_view name);
[[nodiscard]] std::string FoldName(std::string_view name);

[[nodiscard]] RegValues ParseRegText(std::string_view text);
[[nodiscard]] std::string FormatRegText(const RegValues& values);

// One value's data in the text form ("dword:00000014", "hex:01,02", "\"text\"") and back.
[[nodiscard]] std::string FormatRegData(uint32_t type, std::string_view data);
[[nodiscard]] std::optional<RegValue> ParseRegData(std::string_view text);

}  // namespace vexa::settings
