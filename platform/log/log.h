// The program's log. Every layer writes through these functions; where the lines go is chosen once
// at start-up by the program (`OpenDefaultLog`: the rotating file under the user's state folder).
// Without a sink, lines are dropped, so libraries and tests never need one.
//
// A line is "2026-12-09 07:37:00.123 [12345 rec-thread] ERROR message": local time, thread id and
// name, level, message. Thread-safe: any thread may log at any time; SetSink may race with writers
// (each line goes to the old or the new sink whole).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace vexa::log {

enum class Level : uint8_t { kDebug, kInfo, kWarning, kError };

[[nodiscard]] const char* LevelName(Level level);

// Receives whole lines without their line end. Implementations are thread-safe.
class Sink {
  public:
    virtual ~Sink() = default;
    virtual void Write(std::string_view line) = 0;
};

// The process's sink; null drops every line. Returns the previous one.
std::shared_ptr<Sink> SetSink(std::shared_ptr<Sink> sink);

void Write(Level level, std::string_view message);
void Writef(Level level, const char* format, ...) __attribute__((format(printf, 2, 3)));
inline void Info(std::string_view message) {
    Write(Level::kInfo, message);
}
inline void Warning(std::string_view message) {
    Write(Level::kWarning, message);
}
// A failure with its cause: "<context>: <message> (<code name>)". Success is not logged.
void Failure(const Error& error, std::string_view context = {});

// The line for a message, as the sink receives it.
[[nodiscard]] std::string FormatLine(Level level, std::string_view message,
                                     std::chrono::system_clock::time_point when, long thread_id,
                                     std::string_view thread_name);

// Appends to a file and rotates it: once a line would take the file past max_bytes, the file
// becomes "<path>.1" (".1" becomes ".2", and so on) and a new one starts; `keep` files in all are
// kept. Several processes may share one path (lines are appended whole; rotation takes an flock).
class RotatingFileSink final : public Sink {
  public:
    static constexpr std::uintmax_t kDefaultMaxBytes = 1u << 20;
    static constexpr int kDefaultKeep = 3;

    // Creates missing folders (0700) and opens the file for appending; symbolic links and anything
    // else that is not a regular file (a FIFO, a device) are refused without blocking.
    [[nodiscard]] static Result<std::shared_ptr<RotatingFileSink>> Open(
        const std::string& path, std::uintmax_t max_bytes = kDefaultMaxBytes, int keep = kDefaultKeep);
    ~RotatingFileSink() override;

    void Write(std::string_view line) override;
    [[nodiscard]] const std::string& Path() const { return path_; }

  private:
    struct State;
    RotatingFileSink(std::string path, std::uintmax_t max_bytes, int keep, std::unique_ptr<State> state);
    std::string path_;
    std::uintmax_t max_bytes_;
    int keep_;
    std::unique_ptr<State> state_;
};

// $XDG_STATE_HOME/Vexa/VexaRecorder/VexaRecorder.log, with ~/.local/state when XDG_STATE_HOME is
// unset or not absolute.
[[nodiscard]] std::string DefaultLogPath();

// Opens the default log and makes it the process's sink. On failure the log stays off and the
// reason is returned (callers may say so on standard error).
[[nodiscard]] Error OpenDefaultLog();

}  // namespace vexa::log
