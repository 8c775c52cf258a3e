// CFileList: the recordings list of the record page ("file_list"): the recordings of the output
// folder, newest first, kept current by a folder watcher. CFileListElement is one row. One list
// per process, reachable through Instance() while it exists. User-interface thread only, except
// the watcher thread, which reaches the list only through the main window's blocking message.
#pragma once

#include <cstdint>

#include "platform/error.h"
#include "toolkit/list.h"

namespace vexa::ui {

class CFileListElement : public toolkit::ListContainerElement {};

class CFileList : public toolkit::List {
  public:
    CFileList();
    ~CFileList() override;
    [[nodiscard]] static CFileList* Instance();

    [[nodiscard]] Error Init();
    void StopWatching() {}
    // The watcher's change records, delivered on the user-interface thread. 1 after the last
    // record, 0 when `records` is not this list's buffer.
    [[nodiscard]] std::intptr_t OnFolderChanges(std::intptr_t records);
};

}  // namespace vexa::ui
