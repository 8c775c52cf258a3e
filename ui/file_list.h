// CFileList: the recordings list of the record page ("file_list"): one row (CFileListElement,
// built from "file_list_item.xml") per recording in the output folder, newest first, with the
// file's name, duration and size, and play / show-in-folder / delete buttons on the selected or hot
// row. It fills itself from the folder and then follows it with a folder watcher, so a recording
// appears, selected, as soon as it is created, its size follows the writing, and files deleted
// elsewhere disappear.
//
// Durations are read lazily: a filled row reads its file's duration when it first lies in the
// list's visible area (at the layout that puts it there), so filling the list with thousands of
// recordings opens only the dozen files on screen, and the rest are read as they are scrolled to.
// A row the watcher adds or updates reads its duration at once (one file).
//
// Ownership: the main window's control tree owns the list, the list owns its rows and its folder
// watcher. The main window initialises the one list of the record page.
// Threads: everything runs on the user-interface thread except the watcher's thread, which only
// stores a batch of change records in the list's buffer and sends MSG_FOLDER_CHANGES (wparam the
// list, lparam the buffer) to the main window, waiting for it at most 3 s; the main window hands
// the message to OnFolderChanges on the user-interface thread. Opening a file and showing it in
// the file manager run on short-lived threads of their own; one that fails (nothing can open the
// file, no file manager) logs why and posts the list a notification, which shows a message box
// naming the file.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/directory_watcher.h"
#include "platform/error.h"
#include "platform/sync/spin_lock.h"
#include "platform/thread_annotations.h"
#include "toolkit/label.h"
#include "toolkit/list.h"
#include "toolkit/window.h"
#include "ui/file_list_rules.h"

namespace vexa::ui {

inline constexpr std::uint32_t kMsgFolderChanges = toolkit::kUserMessage + 2;
inline constexpr const char* kDeleteFailedText = "删除文件失败！请确定文件未使用后重试。";

// One recording: its path as user data, its sort key as tag.
class CFileListElement : public toolkit::ListContainerElement {
  public:
    static constexpr QRgb kSelectedTextColor = 0xFF3DD0EE;
    static constexpr QRgb kDeselectedTextColor = 0xFFD0D0D0;

    // Finds the template's labels, "btns" and its buttons; kNotFound naming the first one missing.
    [[nodiscard]] Error BindControls();

    [[nodiscard]] const std::string& Path() const { return userData(); }
    [[nodiscard]] std::uint32_t SortKey() const { return static_cast<std::uint32_t>(tag()); }
    [[nodiscard]] toolkit::Label& Label(std::string_view name) const;
    [[nodiscard]] toolkit::Control& Button(std::string_view name) const;
    [[nodiscard]] bool ButtonsShown() const;

    void ShowName(const std::string& name);
    void ShowDuration(const DurationLabels& labels);
    void ShowSize(std::uint64_t bytes);
    // The duration is read when the row is next laid out inside the list's visible area.
    void ReadDurationWhenShown() { duration_pending_ = true; }
    [[nodiscard]] bool DurationPending() const { return duration_pending_; }
    // Text colour of the seven labels after the row was selected or deselected.
    void ShowSelected(bool selected);
    // "btns" is shown while the row is selected or hot.
    void UpdateButtons();

  private:
    static constexpr std::array<std::string_view, 7> kLabelNames = {"file",  "time1", "time2", "time3",
                                                                    "time4", "time5", "size"};
    static constexpr std::array<std::string_view, 3> kButtonNames = {"play", "open_dir", "del"};

    std::array<toolkit::Label*, kLabelNames.size()> labels_{};
    std::array<toolkit::Control*, kButtonNames.size()> buttons_{};
    toolkit::Control* btns_ = nullptr;
    bool duration_pending_ = false;
};

class CFileList : public toolkit::List {
  public:
    // How long the watcher waits for the main window to take one batch of changes, and the slices
    // it waits in, so that a stop never waits on a busy window for longer than one slice.
    static constexpr std::chrono::milliseconds kSendTimeout{3000};
    static constexpr std::chrono::milliseconds kSendSlice{100};

    CFileList();
    ~CFileList() override;

    // Where Init takes the output folder: the folder the settings page shows (the main window hands
    // it over before Init). Without one, or while it is empty, the stored folder, else the default.
    void SetFolderSource(std::function<std::string()> shown_folder) {
        shown_folder_ = std::move(shown_folder);
    }
    // Whether a file is being recorded: "del" refuses it (the file stays whole and the recording
    // goes on) with the same message as any file that cannot be deleted.
    void SetInUse(std::function<bool(const std::string& path)> in_use) { in_use_ = std::move(in_use); }
    // Takes the output folder (see SetFolderSource), fills the list, starts watching and selects
    // the first row. A folder that cannot be read or watched leaves the list empty or unwatched
    // (logged); the only failure is a missing main window.
    [[nodiscard]] Error Init();
    // The settings page's folder picker: stops watching, takes the new folder, fills the list
    // again and watches the new folder.
    void ChangeFolder(std::string folder);
    [[nodiscard]] const std::string& Folder() const { return folder_; }

    // Empties the list and adds a row for every recording file of the folder.
    void Reload();
    // Watches the folder; the reason when it cannot be watched. Watching already is success.
    [[nodiscard]] Error StartWatching();
    // Stops and joins the watcher; idempotent.
    void StopWatching();
    [[nodiscard]] bool Watching() const { return watcher_ != nullptr; }

    // Updates the row of `path` or inserts a new one in order of recording time (after rows of the
    // same time); the file name starts at `name_offset`. With `select` the row becomes the
    // selection and is scrolled into view.
    void AddOrUpdateRow(const std::string& path, std::size_t name_offset, std::chrono::seconds recorded,
                        bool select, std::uint64_t size);
    // The watcher's message on the user-interface thread: applies the batch of change records in
    // `records` (the list's buffer). 1 when it was applied, 0 when `records` is not the buffer.
    [[nodiscard]] std::intptr_t OnFolderChanges(std::intptr_t records);

    [[nodiscard]] CFileListElement* Row(int index) const;

    // --- toolkit::List: rows follow their selected and hot state; a double click plays ---
    bool selectItem(int index, bool notify = true) override;
    void setHotItem(toolkit::Control* item) override;
    void activateItem(toolkit::Control* item) override;

  protected:
    int layoutChildren(const QRect& area) override;

  private:
    enum class DurationRead { kNow, kWhenShown };

    void AddOrUpdate(const std::string& path, std::size_t name_offset, std::chrono::seconds recorded,
                     bool select, std::uint64_t size, DurationRead read);
    [[nodiscard]] CFileListElement* FindRow(const std::string& path) const;
    [[nodiscard]] CFileListElement* CreateRow(std::uint32_t sort_key);
    void ConnectButtons(CFileListElement& row);
    void ReadDurationsInView();
    void ShowChangedFile(const std::string& name);
    void RemoveRowsOfMissingFiles();
    void Play(const CFileListElement& row);
    void ShowInFolder(const CFileListElement& row);
    void RunOpening(Error (*call)(const std::string&), const std::string& path, bool show_folder);
    void ShowOpenFailures();
    void Delete(const CFileListElement& row);
    void DeleteNext();

    // Watcher thread.
    void DeliverChanges(std::vector<desktop::FolderChange> changes);

    // User-interface thread.
    std::string folder_;
    std::function<std::string()> shown_folder_;
    std::function<bool(const std::string&)> in_use_;
    std::unique_ptr<desktop::DirectoryWatcher> watcher_;
    std::deque<std::string> deletions_;  // paths whose "del" was clicked, deleted one by one
    bool template_failure_logged_ = false;

    // Set on the user-interface thread before the watcher starts; read by the watcher.
    toolkit::WindowHandle main_window_ = 0;
    std::atomic<bool> stopping_{false};

    // Shared with the short-lived threads that open a file or show it in its folder.
    struct OpenFailures;
    std::shared_ptr<OpenFailures> open_failures_;

    // The buffer the watcher's message carries: the watcher stores a batch, the user-interface
    // thread takes it while the watcher waits for the message to be handled.
    platform::SpinLock changes_lock_;
    std::vector<desktop::FolderChange> changes_ GUARDED_BY(changes_lock_);
};

}  // namespace vexa::ui
