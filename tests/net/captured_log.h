// Collects the program's log lines while it lives (it is the process's sink until destroyed, then the
// previous sink returns). The sink side is thread-safe; read Text() after the writers are done.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/log/log.h"

namespace vexa::net::testing {

class CapturedLog {
  public:
    CapturedLog() : lines_(std::make_shared<Lines>()), previous_(vexa::log::SetSink(lines_)) {}
    ~CapturedLog() { vexa::log::SetSink(previous_); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    [[nodiscard]] std::string Text() const {
        std::lock_guard lock(lines_->mutex);
        return lines_->text;
    }

  private:
    struct Lines : vexa::log::Sink {
        void Write(std::string_view line) override {
            std::lock_guard lock(mutex);
            text.append(line).append("\n");
        }
        std::mutex mutex;
        std::string text;
    };
    std::shared_ptr<Lines> lines_;
    std::shared_ptr<vexa::log::Sink> previous_;
};

}  // namespace vexa::net::testing
