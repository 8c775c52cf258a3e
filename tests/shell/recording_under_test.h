// Recording with the real VexaRecorder in tests: values put into its settings store before it starts,
// waiting for what its log says, and the recordings it left in its output folder.
// One thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_key.h"
#include "tests/shell/program_under_test.h"

namespace vexa::test {

inline std::unique_ptr<settings::SettingsKey> SettingsOf(const ProgramUnderTest& program) {
    return settings::SettingsKey::Open(program.Home() + "/.config/Vexa/VexaRecorder/settings.reg").value();
}

// Stores the values for the program's next start, with its recordings going to `recordings` (made
// here) and no count-down unless the values ask for one.
inline void StoreSettings(const ProgramUnderTest& program, const std::string& recordings,
                          const std::vector<std::pair<std::string, uint32_t>>& values = {}) {
    std::filesystem::create_directories(recordings);
    auto key = SettingsOf(program);
    (void)key->WriteString("output_dir", recordings);
    (void)key->WriteDword("count_down", 0);
    for (const auto& [name, value] : values) (void)key->WriteDword(name, value);
}

// Little-endian 32-bit words, as the store keeps a rectangle.
inline std::string Words(std::initializer_list<uint32_t> words) {
    std::string bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((w >> (8 * i)) & 0xFF));
    return bytes;
}

inline size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// What the log says once the record page is recording: from then on the start/stop and show/hide
// hotkeys act (while the recording starts they are ignored, and "recording started" may come first).
inline constexpr char kPageRecording[] = "record page: recording";

// Waits until the program's log holds `part` at least `count` times.
inline bool WaitForLog(const ProgramUnderTest& program, const std::string& part, size_t count = 1,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return WaitFor([&] { return Occurrences(program.LogText(), part) >= count; }, timeout);
}

// The MP4 and M4A files in `folder`, sorted.
inline std::vector<std::string> Recordings(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".mp4" || ext == ".m4a"))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace vexa::test
