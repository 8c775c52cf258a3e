#include "toolkit/folder_chooser.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QWindow>

#include <memory>

#include "toolkit/window.h"

namespace vexa::toolkit {

void chooseFolder(Window& owner, const std::string& title, const std::string& initial, FolderChosen done) {
    QWidget* owner_widget = owner.widget();
    // No parent widget: a disabled owner would disable its child windows too. The dialog is tied to
    // the owner through the window system instead (transient for it), which native choosers follow.
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString::fromStdString(title));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    if (const QString start = QFile::decodeName(initial.c_str());
        !initial.empty() && QFileInfo(start).isDir())
        dialog->setDirectory(start);
    if (owner_widget && owner_widget->windowHandle()) {
        dialog->winId();
        if (QWindow* handle = dialog->windowHandle())
            handle->setTransientParent(owner_widget->windowHandle());
    }
    if (owner_widget) owner_widget->setEnabled(false);

    // From here Qt owns the dialog: it deletes itself when it closes, or goes with its owner.
    QFileDialog* chooser = dialog.release();
    const QPointer<QWidget> guarded_owner(owner_widget);
    const bool owned = owner_widget != nullptr;
    if (owner_widget) QObject::connect(owner_widget, &QObject::destroyed, chooser, &QObject::deleteLater);
    QObject::connect(chooser, &QDialog::finished, chooser,
                     [chooser, guarded_owner, owned, done = std::move(done)](int result) {
                         chooser->deleteLater();
                         if (owned && !guarded_owner) return;
                         if (guarded_owner) guarded_owner->setEnabled(true);
                         std::optional<std::string> folder;
                         const QStringList chosen = chooser->selectedFiles();
                         if (result == QDialog::Accepted && !chosen.isEmpty() && !chosen.first().isEmpty())
                             folder = QFile::encodeName(chosen.first()).toStdString();
                         done(std::move(folder));
                     });
    chooser->show();
}

}  // namespace vexa::toolkit
