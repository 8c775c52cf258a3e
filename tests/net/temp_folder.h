// Test helpers: a private temporary folder removed with everything in it, and whole-file reads and
// writes. Use from one thread.
#pragma once

#include <filesystem>
#include <string>

namespace net::testing {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& file, const std::string& text, bool executable = false);
[[nodiscard]] std::string ReadFile(const std::filesystem::path& file);

// Polls until `file` exists (a launched program wrote it) or `seconds` pass; true when it appeared.
[[nodiscard]] bool WaitForFile(const std::filesystem::path& file, int seconds = 10);

}  // namespace net::testing
