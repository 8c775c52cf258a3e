// Test helpers for files: a private temporary folder removed with everything in it, whole-file reads
// and writes, and a wait for a file another process writes. Shared by the tests of every layer; use
// from one thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vexa::test {

class TempFolder {
  public:
    TempFolder();  // throws std::runtime_error when no folder can be made
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
    // The path of `name` inside the folder, as text.
    [[nodiscard]] std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Paths of the folder's entries, sorted.
    [[nodiscard]] std::vector<std::string> Files() const;

  private:
    std::filesystem::path path_;
};

// Writes `text` to `file`, creating its folders; `executable` makes it runnable by its owner.
void WriteFile(const std::filesystem::path& file, const std::string& text, bool executable = false);
// The whole file, or "" when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::filesystem::path& file);
// Polls until `file` exists (a launched program wrote it) or `seconds` pass; true when it appeared.
[[nodiscard]] bool WaitForFile(const std::filesystem::path& file, int seconds = 10);

// Makes a FIFO at `fifo` and runs `call` on another thread. False when the call was still blocked on
// the FIFO after `seconds`; its other end is then opened and closed, so a test fails, not hangs.
[[nodiscard]] bool ReturnsWithoutBlockingOnFifo(const std::filesystem::path& fifo,
                                                const std::function<void()>& call, int seconds = 10);

}  // namespace vexa::test
