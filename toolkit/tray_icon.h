// TrayIcon: the notification-area icon the main window shows while it sits in the tray, through
// Qt's tray (StatusNotifierItem or XEmbed, whichever the desktop offers). Mouse input is reported
// as the window system's mouse messages (0x203 double click, 0x204 right button down) to the
// callback, which the main window routes as MSG_TRAY_ICON. Without a tray on the desktop, Add()
// fails and the window is hidden all the same. User-interface thread only.
#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace vexa::toolkit {

inline constexpr int kTrayDoubleClick = 0x203;  // WM_LBUTTONDBLCLK
inline constexpr int kTrayRightDown = 0x204;    // WM_RBUTTONDOWN

class TrayIcon {
  public:
    explicit TrayIcon(std::function<void(int mouse_message)> on_mouse);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows the icon with its tip; false when the desktop has no tray.
    bool Add(const QImage& icon, const QString& tip);
    void Remove();
    [[nodiscard]] bool Shown() const;

  private:
    std::function<void(int)> on_mouse_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace vexa::toolkit
