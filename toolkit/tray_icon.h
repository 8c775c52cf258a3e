// TrayIcon: the notification-area icon the main window shows while it sits in the tray, through
// Qt's tray (StatusNotifierItem or XEmbed, whichever the desktop offers). A double click and a
// request for the context menu are reported to the callback as a TrayClick. Without a tray on the desktop,
// Add() fails and the window is hidden all the same. User-interface thread only.
#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace vexa::toolkit {

enum class TrayClick { kDoubleClick, kContextMenu };

class TrayIcon {
  public:
    explicit TrayIcon(std::function<void(TrayClick)> on_click);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Shows the icon with its tip; false when the desktop has no tray.
    bool Add(const QImage& icon, const QString& tip);
    void Remove();
    [[nodiscard]] bool Shown() const;

  private:
    std::function<void(TrayClick)> on_click_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace vexa::toolkit
