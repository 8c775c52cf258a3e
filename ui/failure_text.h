// What the message boxes that report a failure say. A box that sends the user to the log keeps its
// sentence and adds, each on a line of its own, the cause as the failing layer gave it, an optional
// note of what was done about it, and where the log is. A file that nothing could open or show is
// named with the cause.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace vexa::ui {

// "<sentence>\n<cause on one line>\n<note>\n日志：<log path>"; an ok cause, an empty note or an
// empty log path leaves its line out.
[[nodiscard]] std::string LogPointingText(std::string_view sentence, const Error& cause,
                                          std::string_view log_path, std::string_view note = {});

// What the page says when preparing a recording failed: the user declining to share the screen
// (kCancelled from the desktop's screen-sharing dialog) is no fault and is said plainly, without
// the log; any other cause is LogPointingText of the prepare-failed sentence.
[[nodiscard]] std::string PrepareFailedText(const Error& cause, std::string_view log_path,
                                            std::string_view note = {});

// The note of sound rows unticked because their devices are gone: "已取消勾选：A、B".
[[nodiscard]] std::string UntickedNote(const std::vector<std::string>& names);

// What the recordings list says when nothing could play a file (`show_folder` false) or show it in
// its folder: the file's path and the cause.
[[nodiscard]] std::string OpenFailedText(bool show_folder, std::string_view path, const Error& cause);

}  // namespace vexa::ui
