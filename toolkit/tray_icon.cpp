#include "toolkit/tray_icon.h"

#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace vexa::toolkit {

TrayIcon::TrayIcon(std::function<void(TrayClick)> on_click) : on_click_(std::move(on_click)) {}

TrayIcon::~TrayIcon() {
    Remove();
}

bool TrayIcon::Add(const QImage& icon, const QString& tip) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>();
        QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason why) {
                             if (why == QSystemTrayIcon::DoubleClick) on_click_(TrayClick::kDoubleClick);
                             if (why == QSystemTrayIcon::Context) on_click_(TrayClick::kContextMenu);
                         });
    }
    icon_->setIcon(QIcon(QPixmap::fromImage(icon)));
    icon_->setToolTip(tip.left(127));
    icon_->show();
    return true;
}

void TrayIcon::Remove() {
    if (icon_) icon_->hide();
}

bool TrayIcon::Shown() const {
    return icon_ && icon_->isVisible();
}

}  // namespace vexa::toolkit
