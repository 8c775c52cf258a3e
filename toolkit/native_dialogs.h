// The desktop's own dialogs and menus for the program's windows: error and information message
// boxes and pop-up menus that return the chosen command. They run a modal loop of their own.
// User-interface thread only.
#pragma once

#include <QPoint>

#include <span>
#include <string>

namespace vexa::toolkit {

class Window;

enum class MessageIcon { kError, kInformation };

// A modal message box with an OK button, owned by `owner` (may be null).
void showMessageBox(Window* owner, const std::string& text, const std::string& caption, MessageIcon icon);

struct MenuItem {
    int command = 0;
    std::string text;
};

// Shows the menu at `globalPos` and returns the chosen item's command, 0 when none was chosen.
[[nodiscard]] int trackPopupMenu(Window* owner, std::span<const MenuItem> items, const QPoint& globalPos);

}  // namespace vexa::toolkit
