#include "settings/output_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "settings/file_io.h"
#include "settings/settings_catalog.h"
#include "settings/user_dirs.h"
#include "platform/log/log.h"

namespace vexa::settings {

namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DefaultOutputFolder() {
    return DocumentsFolder() + "/" + std::string(kOutputFolderName);
}

std::optional<std::string> StoredOutputFolder(const SettingsKey& key) {
    const std::optional<RegValue> value = key.Find(settings::kOutputDir.name);
    if (!value || value->type != kRegSz || value->data.empty()) return std::nullopt;
    std::string folder = value->data;
    folder.resize(folder.find('\0') == std::string::npos ? folder.size()
                                                         : folder.find('\0'));  // text ends at a NUL
    if (folder.empty() || !IsFolder(folder)) return std::nullopt;
    return folder;
}

Result<std::string> ResolveOutputFolder(SettingsKey& key) {
    if (auto stored = StoredOutputFolder(key)) return std::move(*stored);
    const std::string documents = DocumentsFolder();
    if (documents.empty()) return Error(ErrorCode::kNotFound, "no documents folder for the recordings");
    if (Error made = MakeFolders(documents); !made.ok()) return made;
    const std::string folder = documents + "/" + std::string(kOutputFolderName);
    if (::mkdir(folder.c_str(), 0755) != 0 && !(errno == EEXIST && IsFolder(folder)))
        return Error::FromErrno(errno == EEXIST ? ENOTDIR : errno, "cannot create folder " + folder);
    // A failed write is not the folder's fault: the folder is used, and asked for again next time.
    log::Failure(key.WriteString(settings::kOutputDir.name, folder), "cannot store the output folder");
    return folder;
}

}  // namespace vexa::settings
