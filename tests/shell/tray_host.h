// A minimal system tray for tests (the XEmbed protocol of freedesktop's system tray): it owns the
// "_NET_SYSTEM_TRAY_S<n>" selection of the display, announces itself, and docks every icon window
// that asks into a row of 24 x 24 cells of its own window at the screen's bottom right. Tests read
// which icons are docked and where, to click them.
// Runs its own X connection on a thread of its own; the accessors are thread-safe.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vexa::test {

class TrayHost {
  public:
    TrayHost();  // throws when there is no display or the selection is taken
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // The root position of the centre of the first docked icon that is still mapped; none when no
    // icon is docked.
    [[nodiscard]] std::optional<std::pair<int, int>> IconCentre() const;
    // Waits until an icon is (or no icon is) docked; false on time-out.
    bool WaitDocked(bool docked, int timeout_ms = 20000) const;

  private:
    void Run();

    struct Icon {
        unsigned long window = 0;
        int cell = 0;
    };
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Icon> icons_;  // under mutex_
    int x_ = 0, y_ = 0;        // the host window's root position
    void* display_ = nullptr;
    unsigned long host_ = 0;
    std::thread thread_;
};

}  // namespace vexa::test
