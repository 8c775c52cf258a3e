// Opening files the desktop's way: a file with its default application, and a file shown selected in
// the file manager's window of its folder.
//
// OpenWithDefaultApplication starts xdg-open (found on $PATH) with the path as its one argument,
// without a shell, detached: the program runs in a session of its own, is not our child (no
// zombie) and keeps none of our descriptors. It waits up to kOpenerWatch for xdg-open: one that
// ends failing then (no application set up for the file, the file gone) is a failure that says why
// (kUnavailable, its exit status as native_code); one still running then, or ended well, is success.
// A caller that must not block runs it on a short-lived thread.
//
// ShowInFileManager asks the desktop's file manager over the session D-Bus
// (org.freedesktop.FileManager1.ShowItems with the file's file:// URI) to open the folder with the
// file selected. Without a session bus, or when no file manager answers (or it refuses), it opens
// the file's folder with OpenWithDefaultApplication instead. It waits for the file manager's
// answer (at most kFileManagerTimeout; a file manager started on demand may take a moment), so a
// caller that must not block runs it on a short-lived thread.
//
// Both are thread-safe and may be called from any thread. ShowInFileManager uses QtDBus (a
// QCoreApplication should exist, as it does in the program).
#pragma once

#include <chrono>
#include <string>

#include "platform/error.h"

namespace vexa::desktop {

inline constexpr std::chrono::milliseconds kFileManagerTimeout{5000};
inline constexpr std::chrono::milliseconds kOpenerWatch{3000};

// kNotFound when xdg-open is not installed; the system's reason when it cannot be started;
// kUnavailable when it ended failing (see above).
[[nodiscard]] Error OpenWithDefaultApplication(const std::string& path);

// The file manager's failure is not returned (the folder is opened instead); the fallback's is.
[[nodiscard]] Error ShowInFileManager(const std::string& path);

}  // namespace vexa::desktop
