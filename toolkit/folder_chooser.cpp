#include "toolkit/folder_chooser.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/desktop/portal_folder_chooser.h"
#include "platform/log/log.h"
#include "platform/sync/worker_thread.h"

#include "toolkit/window.h"

namespace vexa::toolkit {

namespace {

void chooseWithQtDialog(QWidget* owner_widget, const std::string& title, const std::string& initial,
                        FolderChosen done) {
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

// A session bus to ask: its address, or the user's bus socket where sd-bus looks without one.
bool sessionBusPresent() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && QFileInfo::exists(QString::fromLocal8Bit(runtime) + "/bus");
}

}  // namespace

void chooseFolder(Window& owner, const std::string& title, const std::string& initial, FolderChosen done) {
    QWidget* owner_widget = owner.widget();
    if (!sessionBusPresent()) {
        chooseWithQtDialog(owner_widget, title, initial, std::move(done));
        return;
    }
    // The portal's dialog is the desktop's own; the question blocks until the user answers, so it
    // runs on a thread of its own and the answer comes back through the event loop.
    std::string parent;
    if (owner_widget && QGuiApplication::platformName() == "xcb")
        parent = "x11:" + QString::number(owner_widget->winId(), 16).toStdString();
    if (owner_widget) owner_widget->setEnabled(false);
    const QPointer<QWidget> guarded_owner(owner_widget);
    const bool owned = owner_widget != nullptr;
    using Answer = Result<std::optional<std::string>>;
    auto deliver = std::make_shared<std::function<void(const Answer&)>>(
        [guarded_owner, owned, title, initial, done = std::move(done)](const Answer& answer) {
            if (owned && !guarded_owner) return;  // the owner went first
            if (guarded_owner) guarded_owner->setEnabled(true);
            if (answer.ok()) {
                done(answer.value());
                return;
            }
            const ErrorCode code = answer.error().code();
            if (code != ErrorCode::kUnavailable && code != ErrorCode::kUnsupported)
                log::Failure(answer.error(), "the desktop's folder chooser");
            chooseWithQtDialog(guarded_owner.data(), title, initial, done);
        });
    const QPointer<QCoreApplication> app(QCoreApplication::instance());
    try {
        std::thread([app, parent, title, initial, deliver] {
            platform::NameCurrentThread("vexa-folder");
            const Answer answer =
                desktop::ChooseFolderThroughPortal(parent, title, initial, std::chrono::hours(24));
            if (app)
                QMetaObject::invokeMethod(
                    app.data(), [deliver, answer] { (*deliver)(answer); }, Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error& e) {
        (*deliver)(
            Error(ErrorCode::kUnavailable, std::string("no thread for the desktop's chooser: ") + e.what()));
    }
}

}  // namespace vexa::toolkit
