// The command-line recorder's wait while a recording runs: it ends the wait on SIGINT/SIGTERM, when
// the recorded (unpaused) time reaches the duration, or when the recording ends itself (its file
// cannot be written); toggles pause on SIGUSR1, and hands each line read from standard input to a
// callback. Runs on the recording thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "engine/session_slot.h"

namespace vexa::cli {

// Blocks SIGINT, SIGTERM and SIGUSR1 in the calling thread and every thread it starts later, so
// that they arrive through the control loop's descriptor. Call first thing in main.
[[nodiscard]] bool BlockControlSignals();

// Splits what arrives on a descriptor into lines. Each read looks only at the bytes it brought, and
// an unfinished line is kept up to kMaxLine bytes: a longer one is no command, and reading ends there
// (logged), so that endless input without line ends (/dev/zero) costs neither memory nor a core.
class LineReader {
  public:
    static constexpr size_t kMaxLine = 4096;

    explicit LineReader(int fd) : fd_(fd) {}
    // Reads once what is available and hands each finished line, without its line end, to
    // `on_line`. False when reading ends: end of input, a read error, or a line over kMaxLine.
    [[nodiscard]] bool ReadAvailable(const std::function<void(const std::string&)>& on_line);

  private:
    int fd_;
    std::string pending_;  // the unfinished line
};

// RunControlLoop's answer when the recording ended itself (CCapture::FailureStop tells why).
inline constexpr int kEndedByFailure = -1;

// Waits until a stop signal, until duration_seconds of session time have been recorded (0: no
// limit) or until the session's failure event. Returns the signal number that ended the wait, 0
// when the duration ran out, or kEndedByFailure.
int RunControlLoop(engine::SessionSlot& slot, double duration_seconds,
                   const std::function<void(const std::string&)>& on_input_line);

}  // namespace vexa::cli
