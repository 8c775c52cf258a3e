#include "ui/file_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <thread>

#include "settings/output_folder.h"
#include "platform/desktop/shell_open.h"
#include "platform/log/log.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/native_dialogs.h"
#include "toolkit/paint_manager.h"
#include "ui/failure_text.h"
#include "ui/recording_duration.h"
#include "ui/shell.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

using namespace std::chrono;

constexpr const char* kRowTemplate = "file_list_item.xml";
constexpr const char* kMessageCaption = "Miravo";
// Sent to the list itself, so that a deletion (and its message box) runs after the button's click.
constexpr const char* kDeleteNotification = "filelist_delete";
// Posted to the list by an opening thread that failed.
constexpr const char* kOpenFailedNotification = "filelist_open_failed";

std::unique_ptr<toolkit::Control> CreateRowControl(std::string_view tag) {
    if (tag == "FileListElement") return std::make_unique<CFileListElement>();
    return nullptr;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The folder the settings page shows; before the page has filled it (or without one), the stored
// folder, else the default one.
std::string OutputFolderFromSettings(Shell& shell, const std::function<std::string()>& shown_folder) {
    if (shown_folder) {
        if (std::string shown = shown_folder(); !shown.empty()) return shown;
    }
    if (std::optional<std::string> stored = settings::StoredOutputFolder(shell.Settings())) return *stored;
    return settings::DefaultOutputFolder();
}

// Only a regular file is opened: a pipe put in a row's place would block the opening.
std::optional<microseconds> DurationOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    Result<microseconds> duration = ReadRecordingDuration(path);
    if (!duration.ok()) return std::nullopt;
    return duration.value();
}

}  // namespace

// The failures of the opening threads on their way to the user-interface thread. A thread may
// outlive the list: it queues its text and posts the list a notification only while the list lives.
struct CFileList::OpenFailures {
    platform::SpinLock lock;
    toolkit::PaintManager* manager GUARDED_BY(lock) = nullptr;  // null once the list is gone
    CFileList* list GUARDED_BY(lock) = nullptr;
    std::deque<std::string> texts GUARDED_BY(lock);
};

// --- CFileListElement ------------------------------------------------------------------------------

Error CFileListElement::BindControls() {
    for (size_t i = 0; i < kLabelNames.size(); ++i) {
        labels_[i] = dynamic_cast<toolkit::Label*>(toolkit::findChild(*this, kLabelNames[i]));
        if (!labels_[i])
            return Error(ErrorCode::kNotFound,
                         std::string(kRowTemplate) + " has no label " + std::string(kLabelNames[i]));
    }
    for (size_t i = 0; i < kButtonNames.size(); ++i) {
        buttons_[i] = toolkit::findChild(*this, kButtonNames[i]);
        if (!buttons_[i])
            return Error(ErrorCode::kNotFound,
                         std::string(kRowTemplate) + " has no button " + std::string(kButtonNames[i]));
    }
    btns_ = toolkit::findChild(*this, "btns");
    if (!btns_) return Error(ErrorCode::kNotFound, std::string(kRowTemplate) + " has no btns");
    return {};
}

toolkit::Label& CFileListElement::Label(std::string_view name) const {
    for (size_t i = 0; i < kLabelNames.size(); ++i) {
        if (kLabelNames[i] == name) return *labels_[i];
    }
    return *labels_[0];
}

toolkit::Control& CFileListElement::Button(std::string_view name) const {
    for (size_t i = 0; i < kButtonNames.size(); ++i) {
        if (kButtonNames[i] == name) return *buttons_[i];
    }
    return *buttons_[0];
}

bool CFileListElement::ButtonsShown() const {
    return btns_->isVisible();
}

void CFileListElement::ShowName(const std::string& name) {
    Label("file").setText(name);
}

void CFileListElement::ShowDuration(const DurationLabels& labels) {
    for (size_t i = 0; i < labels.size(); ++i) labels_[1 + i]->setText(labels[i]);
    duration_pending_ = false;
}

void CFileListElement::ShowSize(std::uint64_t bytes) {
    Label("size").setText(FormatSize(bytes));
}

void CFileListElement::ShowSelected(bool selected) {
    const QColor color = QColor::fromRgba(selected ? kSelectedTextColor : kDeselectedTextColor);
    for (toolkit::Label* label : labels_) label->setTextColor(color);
    UpdateButtons();
}

void CFileListElement::UpdateButtons() {
    btns_->setVisible(isSelected() || isHot());
}

// --- CFileList ---------------------------------------------------------------------------------------

CFileList::CFileList() : open_failures_(std::make_shared<OpenFailures>()) {
    addNotifyHandler([this](toolkit::Notification& n) {
        if (n.sender != this) return true;
        if (n.type == kDeleteNotification) {
            DeleteNext();
        } else if (n.type == kOpenFailedNotification) {
            ShowOpenFailures();
        } else {
            return true;
        }
        return false;
    });
}

CFileList::~CFileList() {
    {
        platform::SpinGuard guard(open_failures_->lock);
        open_failures_->manager = nullptr;
    }
    StopWatching();
}

Error CFileList::Init() {
    Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kInternal, "recordings list: no main window");
    StopWatching();
    folder_ = OutputFolderFromSettings(*shell, shown_folder_);
    Reload();
    if (Error watching = StartWatching(); !watching.ok()) log::Failure(watching, "recordings list");
    if (count() > 0) selectItem(0);
    return {};
}

void CFileList::ChangeFolder(std::string folder) {
    StopWatching();
    folder_ = std::move(folder);
    Reload();
    if (Error watching = StartWatching(); !watching.ok()) log::Failure(watching, "recordings list");
}

void CFileList::Reload() {
    removeAll();
    std::error_code error;
    std::filesystem::directory_iterator entries(folder_, error);
    if (error) {
        log::Failure(Error::FromErrno(error.value(), "cannot list folder " + folder_), "recordings list");
        return;
    }
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code unreadable;
        if (entry.is_directory(unreadable)) continue;
        const std::string name = entry.path().filename().string();
        const std::optional<seconds> recorded = ParseRecordingName(name);
        if (!recorded) continue;
        const std::uintmax_t size = entry.file_size(unreadable);
        if (unreadable) continue;
        const std::string path = JoinPath(folder_, name);
        AddOrUpdate(path, path.size() - name.size(), *recorded, false, size, DurationRead::kWhenShown);
    }
}

Error CFileList::StartWatching() {
    if (watcher_) return {};
    Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kInternal, "recordings list: no main window to send changes to");
    main_window_ = shell->MainWindow().handle();
    stopping_.store(false, std::memory_order_release);
    Result<std::unique_ptr<desktop::DirectoryWatcher>> started = desktop::DirectoryWatcher::Start(
        folder_, [this](std::vector<desktop::FolderChange> changes) { DeliverChanges(std::move(changes)); });
    if (!started.ok()) return started.error();
    watcher_ = std::move(started).value();
    return {};
}

void CFileList::StopWatching() {
    if (!watcher_) return;
    // The watcher gives up a send within one slice once it sees the flag; Stop() then joins it.
    stopping_.store(true, std::memory_order_release);
    watcher_->Stop();
    watcher_.reset();
}

void CFileList::AddOrUpdateRow(const std::string& path, std::size_t name_offset, seconds recorded,
                               bool select, std::uint64_t size) {
    AddOrUpdate(path, name_offset, recorded, select, size, DurationRead::kNow);
}

void CFileList::AddOrUpdate(const std::string& path, std::size_t name_offset, seconds recorded, bool select,
                            std::uint64_t size, DurationRead read) {
    CFileListElement* row = FindRow(path);
    if (!row) {
        row = CreateRow(SortKey(recorded));
        if (!row) return;
        row->setUserData(path);
    }
    row->ShowName(path.substr(std::min(name_offset, path.size())));
    if (read == DurationRead::kNow)
        row->ShowDuration(FormatDuration(DurationOf(path)));
    else
        row->ReadDurationWhenShown();
    row->ShowSize(size);
    if (!select) return;
    if (manager()) manager()->updateLayout();  // a new row gets its place before it is scrolled to
    const int index = indexOf(row);
    selectItem(index);
    ensureVisible(index);
}

CFileListElement* CFileList::FindRow(const std::string& path) const {
    for (int i = 0; i < count(); ++i) {
        if (CFileListElement* row = Row(i); row && row->Path() == path) return row;
    }
    return nullptr;
}

// A row from the template, inserted before the first row with a smaller key (after rows of the
// same key); null when the template cannot be built or lacks a control.
CFileListElement* CFileList::CreateRow(std::uint32_t sort_key) {
    if (!manager()) return nullptr;
    Result<std::unique_ptr<toolkit::Control>> built =
        toolkit::buildLayout(kRowTemplate, *manager(), CreateRowControl);
    Error error = built.error();
    auto* row = built.ok() ? dynamic_cast<CFileListElement*>(built.value().get()) : nullptr;
    if (built.ok() && !row)
        error = Error(ErrorCode::kInvalidArgument, std::string(kRowTemplate) + " is no FileListElement");
    if (row) error = row->BindControls();
    if (!error.ok()) {
        if (!template_failure_logged_) log::Failure(error, "recordings list");
        template_failure_logged_ = true;
        return nullptr;
    }
    row->setTag(static_cast<std::intptr_t>(sort_key));
    int index = 0;
    while (index < count() && Row(index) && Row(index)->SortKey() >= sort_key) ++index;
    addAt(std::move(built).value(), index);
    ConnectButtons(*row);
    return row;
}

void CFileList::ConnectButtons(CFileListElement& row) {
    struct Action {
        std::string_view button;
        void (CFileList::*run)(const CFileListElement&);
    };
    static constexpr Action kActions[] = {
        {"play", &CFileList::Play}, {"open_dir", &CFileList::ShowInFolder}, {"del", &CFileList::Delete}};
    for (const Action& action : kActions) {
        row.Button(action.button).addNotifyHandler([this, &row, run = action.run](toolkit::Notification& n) {
            if (n.type == "click") (this->*run)(row);
            return true;
        });
    }
}

CFileListElement* CFileList::Row(int index) const {
    return dynamic_cast<CFileListElement*>(itemAt(index));
}

bool CFileList::selectItem(int index, bool notify) {
    CFileListElement* before = Row(currentSelection());
    if (!List::selectItem(index, notify)) return false;
    CFileListElement* after = Row(currentSelection());
    if (before == after) return true;
    if (before) before->ShowSelected(false);
    if (after) after->ShowSelected(true);
    return true;
}

void CFileList::setHotItem(toolkit::Control* item) {
    CFileListElement* before = dynamic_cast<CFileListElement*>(hotItem());
    List::setHotItem(item);
    if (before) before->UpdateButtons();
    if (auto* after = dynamic_cast<CFileListElement*>(item)) after->UpdateButtons();
}

void CFileList::activateItem(toolkit::Control* item) {
    if (const auto* row = dynamic_cast<const CFileListElement*>(item); row && row->isEnabled()) Play(*row);
}

int CFileList::layoutChildren(const QRect& area) {
    const int height = List::layoutChildren(area);
    ReadDurationsInView();
    return height;
}

void CFileList::ReadDurationsInView() {
    const QRect view = innerRect();
    for (int i = 0; i < count(); ++i) {
        CFileListElement* row = Row(i);
        if (row && row->DurationPending() && row->rect().intersects(view))
            row->ShowDuration(FormatDuration(DurationOf(row->Path())));
    }
}

// --- folder changes ----------------------------------------------------------------------------------

void CFileList::DeliverChanges(std::vector<desktop::FolderChange> changes) {
    {
        platform::SpinGuard guard(changes_lock_);
        changes_.swap(changes);  // a batch the window never took is dropped (outside the lock)
    }
    const toolkit::Message message{kMsgFolderChanges, reinterpret_cast<std::uintptr_t>(this),
                                   reinterpret_cast<std::intptr_t>(&changes_)};
    const steady_clock::time_point deadline = steady_clock::now() + kSendTimeout;
    while (!stopping_.load(std::memory_order_acquire)) {
        const steady_clock::time_point sent = steady_clock::now();
        if (sent >= deadline) {
            log::Warning("recordings list: the main window took no folder changes for 3 s; they are dropped");
            return;
        }
        const milliseconds slice = std::min(kSendSlice, duration_cast<milliseconds>(deadline - sent));
        if (toolkit::Window::sendMessage(main_window_, message, slice)) return;
        if (steady_clock::now() - sent < slice) return;  // refused before its time: the window is gone
    }
}

std::intptr_t CFileList::OnFolderChanges(std::intptr_t records) {
    if (records != reinterpret_cast<std::intptr_t>(&changes_)) return 0;
    std::vector<desktop::FolderChange> batch;
    {
        platform::SpinGuard guard(changes_lock_);
        batch.swap(changes_);
    }
    bool removed = false;
    for (const desktop::FolderChange& change : batch) {
        switch (change.action) {
            case desktop::FolderChange::kReload:
                Reload();
                return 1;
            case desktop::FolderChange::kAdded:
            case desktop::FolderChange::kModified:
            case desktop::FolderChange::kRenamedNew:
                ShowChangedFile(change.name);
                break;
            case desktop::FolderChange::kRemoved:
            case desktop::FolderChange::kRenamedOld:
                removed = true;
                break;
        }
    }
    // Whether a row's file still exists is asked after the whole batch: once is enough.
    if (removed) RemoveRowsOfMissingFiles();
    return 1;
}

// An added, written or renamed file: a recording becomes the selected row with its current size.
void CFileList::ShowChangedFile(const std::string& name) {
    const std::optional<seconds> recorded = ParseRecordingName(name);
    if (!recorded) return;
    const std::string path = JoinPath(folder_, name);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    AddOrUpdateRow(path, path.size() - name.size(), *recorded, true,
                   static_cast<std::uint64_t>(info.st_size));
}

void CFileList::RemoveRowsOfMissingFiles() {
    for (int i = count() - 1; i >= 0; --i) {
        CFileListElement* row = Row(i);
        struct stat info {};
        if (row && ::stat(row->Path().c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR))
            remove(row);
    }
}

// --- row actions ---------------------------------------------------------------------------------------

void CFileList::Play(const CFileListElement& row) {
    RunOpening(desktop::OpenWithDefaultApplication, row.Path(), false);
}

void CFileList::ShowInFolder(const CFileListElement& row) {
    RunOpening(desktop::ShowInFileManager, row.Path(), true);
}

// The desktop call may block (starting a program, asking the file manager), so it runs off the
// user-interface thread, which the thread's failure reaches as a notification. The thread owns its
// copy of the path; without a thread it runs here.
void CFileList::RunOpening(Error (*call)(const std::string&), const std::string& path, bool show_folder) {
    {
        platform::SpinGuard guard(open_failures_->lock);
        open_failures_->manager = manager();
        open_failures_->list = this;
    }
    auto run = [call, show_folder, failures = open_failures_](const std::string& target) {
        const Error error = call(target);
        if (error.ok()) return;
        log::Failure(error, show_folder ? "recordings list: cannot show " + target + " in its folder"
                                        : "recordings list: cannot play " + target);
        platform::SpinGuard guard(failures->lock);
        if (!failures->manager) return;
        failures->texts.push_back(OpenFailedText(show_folder, target, error));
        failures->manager->postNotify(failures->list, kOpenFailedNotification);
    };
    try {
        std::thread(run, path).detach();
    } catch (const std::system_error&) {
        run(path);
    }
}

void CFileList::ShowOpenFailures() {
    std::deque<std::string> texts;
    {
        platform::SpinGuard guard(open_failures_->lock);
        texts.swap(open_failures_->texts);
    }
    Shell* shell = Shell::Get();
    for (const std::string& text : texts)
        toolkit::showMessageBox(shell ? &shell->MainWindow() : nullptr, text, kMessageCaption,
                                toolkit::MessageIcon::kError);
}

void CFileList::Delete(const CFileListElement& row) {
    deletions_.push_back(row.Path());
    if (manager()) manager()->sendNotify(this, kDeleteNotification, 0, 0, /*async=*/true);
}

// The file is deleted at once, without asking; its row goes with the watcher's removal record
// (or here, when the folder is not watched). A failure keeps the row and says so. The file being
// recorded is never deleted: unlinking it would lose the recording.
void CFileList::DeleteNext() {
    if (deletions_.empty()) return;
    const std::string path = std::move(deletions_.front());
    deletions_.pop_front();
    Error failure;
    if (in_use_ && in_use_(path)) {
        failure = Error(ErrorCode::kBusy, "cannot delete " + path + ": it is being recorded");
    } else if (::unlink(path.c_str()) == 0) {
        log::Writef(log::Level::kInfo, "recordings list: deleted %s", path.c_str());
        if (!Watching()) RemoveRowsOfMissingFiles();
        return;
    } else {
        failure = Error::FromErrno(errno, "cannot delete " + path);
    }
    log::Failure(failure, "recordings list");
    Shell* shell = Shell::Get();
    toolkit::showMessageBox(shell ? &shell->MainWindow() : nullptr, toolkit::Tr(kDeleteFailedText),
                            kMessageCaption, toolkit::MessageIcon::kError);
}

}  // namespace vexa::ui
