#include "toolkit/native_dialogs.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>

#include "toolkit/window.h"

namespace vexa::toolkit {

void showMessageBox(Window* owner, const std::string& text, const std::string& caption, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Information,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    owner ? owner->widget() : nullptr);
    box.exec();
}

int trackPopupMenu(Window* owner, std::span<const MenuItem> items, const QPoint& globalPos) {
    QMenu menu(owner ? owner->widget() : nullptr);
    for (const MenuItem& item : items)
        menu.addAction(QString::fromStdString(item.text))->setData(item.command);
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace vexa::toolkit
