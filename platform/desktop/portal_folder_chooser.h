// The desktop's own folder chooser through the file-chooser portal (org.freedesktop.portal.
// FileChooser, OpenFile with "directory"), so that GNOME, KDE and other portal desktops show their
// own dialog; and the rule that turns the portal's answer (a file URI) into a path.
// Threads: ChooseFolderThroughPortal blocks until the user answers (or `timeout`), so it runs on a
// thread of its own, never the user interface's; it has its own bus connection. The rest is pure.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/error.h"

namespace vexa::desktop {

// Asks the portal for one folder. `parent_window` is the portal's window identifier ("x11:1e00007",
// or "" for none), `initial` the folder it starts in (ignored when empty). The chosen folder's path,
// or nullopt when the user cancelled. kUnavailable when there is no session bus or the desktop offers
// no file-chooser portal, kUnsupported when its portal cannot choose folders (version below 3): the
// caller then shows a chooser of its own. kPermission, kTimeout, kProtocol for the rest.
[[nodiscard]] Result<std::optional<std::string>> ChooseFolderThroughPortal(const std::string& parent_window,
                                                                           const std::string& title,
                                                                           const std::string& initial,
                                                                           std::chrono::milliseconds timeout);

// The local path a "file://" URI names, percent-escapes decoded ("file:///home/a/My%20Videos" is
// "/home/a/My Videos"); nullopt for another scheme, a remote host, a malformed escape or an escaped
// NUL.
[[nodiscard]] std::optional<std::string> FileUriToPath(const std::string& uri);

}  // namespace vexa::desktop
