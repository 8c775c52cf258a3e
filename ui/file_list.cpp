#include "ui/file_list.h"

namespace vexa::ui {
namespace {
CFileList* instance = nullptr;
}  // namespace

CFileList::CFileList() {
    instance = this;
}

CFileList::~CFileList() {
    if (instance == this) instance = nullptr;
}

CFileList* CFileList::Instance() {
    return instance;
}

Error CFileList::Init() {
    return {};
}

std::intptr_t CFileList::OnFolderChanges(std::intptr_t /*records*/) {
    return 0;
}

}  // namespace vexa::ui
