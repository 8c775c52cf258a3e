// CLeftTabBar: the four tabs on the left of the main window ("main_left_tab"): screen (0), sound
// (1), camera (2) and settings (3). The selected tab's button ignores the mouse; a mode tab is
// remembered as "left_tab_sel" (the settings tab never is), so the next start returns to it.
// Selecting sends "tabselect" (wparam the new tab, lparam the previous one, -1 at first) through
// the window's paint manager. The main window initialises it. User-interface thread.
#pragma once

#include <array>

#include "platform/error.h"
#include "toolkit/button.h"
#include "toolkit/container.h"

namespace vexa::settings {
class SettingsKey;
}  // namespace vexa::settings

namespace vexa::app {

class CLeftTabBar : public toolkit::Container {
  public:
    static constexpr int kSettingsTab = 3;

    CLeftTabBar();
    ~CLeftTabBar() override;

    // Finds the four buttons (all required), wires their clicks and selects the stored mode tab
    // (tab 0 when none is stored or it is out of range).
    [[nodiscard]] Error Init(settings::SettingsKey& settings);
    // False for a tab outside 0..3.
    bool SelectTab(int tab);
    [[nodiscard]] int CurrentTab() const { return current_; }
    // The tab's option button (0..3).
    [[nodiscard]] toolkit::Option* TabButton(int tab) const { return buttons_.at(static_cast<size_t>(tab)); }

  private:
    std::array<toolkit::Option*, 4> buttons_{};
    settings::SettingsKey* settings_ = nullptr;
    int current_ = -1;
};

}  // namespace vexa::app
