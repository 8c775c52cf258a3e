#include "settings/settings_key.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/joined.h"
#include "settings/user_dirs.h"
#include "platform/log/log.h"

namespace vexa::settings {

namespace {

Error InvalidName(std::string_view name) {
    return Error(ErrorCode::kInvalidArgument, Joined({"\"", name, "\" is not a valid value name"}));
}

// An existing store must be a regular file we can read and replace: a writer creates its new file
// beside the link target and renames it over the target.
Error CheckReadableAndReplaceable(const std::string& path) {
    Result<FileLock> lock = FileLock::Acquire(path);
    if (!lock.ok()) return lock.error();
    if (Result<FileText> text = ReadFileText(lock->Path()); !text.ok()) return text.error();
    const std::string folder = ParentFolder(lock->Path());
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return Error::FromErrno(errno, "cannot create files in " + folder);
    return {};
}

}  // namespace

Result<std::unique_ptr<SettingsKey>> SettingsKey::Open(std::string path) {
    const std::string context = "cannot open the settings store " + path;
    Error error = MakeFolders(ParentFolder(path));
    auto key = std::make_unique<SettingsKey>(OpenedByOpen{}, std::move(path));
    if (error.ok()) {
        // A missing store is created by an ordinary write, which also proves that writes work.
        error =
            StampOf(key->path_) ? CheckReadableAndReplaceable(key->path_) : key->Modify([](RegValues&) {});
    }
    if (!error.ok()) {
        error = error.Within(context);
        log::Failure(error);
        return error;
    }
    return key;
}

std::string SettingsKey::DefaultPath() {
    return ConfigHome() + "/Vexa/VexaRecorder/settings.reg";
}

void SettingsKey::RefreshLocked() const {
    const auto stamp = StampOf(path_);
    if (stamp && stamp_ && *stamp == *stamp_) return;
    values_.clear();
    stamp_.reset();
    if (!stamp) return;
    // An oversized file still gives the values of its first part; only writing it back is refused.
    if (Result<FileText> file = ReadFileText(path_); file.ok()) {
        values_ = ParseRegText(file->text);
        stamp_ = stamp;
    }
}

std::optional<RegValue> SettingsKey::Find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    RefreshLocked();
    const auto found = values_.find(FoldName(name));
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

RegValues SettingsKey::Snapshot() const {
    std::lock_guard lock(mutex_);
    RefreshLocked();
    return values_;
}

std::optional<uint32_t> SettingsKey::ReadDword(std::string_view name) const {
    const std::optional<RegValue> value = Find(name);
    if (!value || value->type != kRegDword || value->data.size() != 4) return std::nullopt;
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(value->data[i])); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

std::optional<std::array<uint8_t, 16>> SettingsKey::ReadBinary16(std::string_view name) const {
    const std::optional<RegValue> value = Find(name);
    if (!value || value->type != kRegBinary || value->data.size() != 16) return std::nullopt;
    std::array<uint8_t, 16> result;
    std::memcpy(result.data(), value->data.data(), 16);
    return result;
}

template <typename Change>
Error SettingsKey::Modify(Change change) {
    std::lock_guard lock(mutex_);
    Result<FileLock> file_lock = FileLock::Acquire(path_);
    if (!file_lock.ok()) return file_lock.error();
    Result<std::string> text = ReadWholeFile(file_lock->Path());
    if (!text.ok()) return text.error();  // never replace a file we could not read whole
    RegValues values = ParseRegText(*text);
    change(values);
    if (Error written = WriteFileAtomically(*file_lock, FormatRegText(values)); !written.ok()) return written;
    values_ = std::move(values);
    stamp_ = StampOf(path_);
    return {};
}

Error SettingsKey::WriteValue(std::string_view name, uint32_t type, std::string_view data) {
    if (!IsValidValueName(name)) return InvalidName(name);
    return Modify([&](RegValues& values) {
        values[FoldName(name)] = RegValue{std::string(name), type, std::string(data)};
    });
}

Error SettingsKey::WriteDword(std::string_view name, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value & 0xff), static_cast<char>(value >> 8 & 0xff),
                           static_cast<char>(value >> 16 & 0xff), static_cast<char>(value >> 24 & 0xff)};
    return WriteValue(name, kRegDword, std::string_view(bytes, 4));
}

Error SettingsKey::WriteBinary(std::string_view name, std::string_view bytes) {
    return WriteValue(name, kRegBinary, bytes);
}

Error SettingsKey::WriteString(std::string_view name, std::string_view text) {
    return WriteValue(name, kRegSz, text);
}

Error SettingsKey::Delete(std::string_view name) {
    if (!IsValidValueName(name)) return InvalidName(name);
    return Modify([&](RegValues& values) { values.erase(FoldName(name)); });
}

Result<std::unique_ptr<SettingsKey>> OpenUserSettings() {
    Result<std::unique_ptr<SettingsKey>> key = SettingsKey::Open(SettingsKey::DefaultPath());
    if (!key.ok()) std::fprintf(stderr, "VexaRecorder: %s\n", key.error().message().c_str());
    return key;
}

}  // namespace vexa::settings
