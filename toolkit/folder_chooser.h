// The desktop's folder chooser for the program's windows: the desktop's own dialog through the
// file-chooser portal (org.freedesktop.portal.FileChooser) where the session offers one, so GNOME
// and KDE users get their own; else Qt's file dialog in directory mode (in the user's language, with
// the program's dark look).
//
// The chooser runs beside the event loop, not in a nested one: chooseFolder() returns at once and
// the answer arrives later through the event loop. Meanwhile the owner takes no input, as under a
// modal dialog (Window::isEnabled() is false), and every other window works on.
// User-interface thread only; the answer is delivered there too.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vexa::toolkit {

class Window;

// The chosen folder's path, or nullopt when the user cancelled.
using FolderChosen = std::function<void(std::optional<std::string> folder)>;

// Shows the chooser titled `title` over `owner`, starting in `initial` when that names a folder.
// `done` runs once when the chooser closes; the owner is enabled again just before. When the owner
// is destroyed first, the chooser closes with it and `done` never runs.
void chooseFolder(Window& owner, const std::string& title, const std::string& initial, FolderChosen done);

}  // namespace vexa::toolkit
