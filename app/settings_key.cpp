#include "app/settings_key.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/user_dirs.h"

namespace vexa::app {

std::unique_ptr<SettingsKey> SettingsKey::Open(std::string path, std::string* error) {
    std::string reason;
    if (!MakeFolders(ParentFolder(path), &reason)) {
        if (error) *error = "cannot create the settings folder " + reason;
        return nullptr;
    }
    auto key = std::make_unique<SettingsKey>(OpenedByOpen{}, std::move(path));
    if (!StampOf(key->path_) && !key->Modify([](RegValues&) {})) {
        if (error) *error = "cannot create the settings file " + key->path_ + ": " + std::strerror(errno);
        return nullptr;
    }
    return key;
}

std::string SettingsKey::DefaultPath() {
    return ConfigHome() + "/Vexa/VexaRecorder/settings.reg";
}

void SettingsKey::RefreshLocked() const {
    const auto stamp = StampOf(path_);
    if (stamp && stamp_ && *stamp == *stamp_) return;
    const auto text = stamp ? ReadWholeFile(path_) : std::nullopt;
    values_ = text ? ParseRegText(*text) : RegValues{};
    stamp_ = text ? stamp : std::nullopt;
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

long SettingsKey::QueryValue(std::string_view name, uint32_t* type, uint8_t* data, uint32_t* size) const {
    if (data && !size) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    RefreshLocked();
    const auto found = values_.find(FoldName(name));
    if (found == values_.end()) return kErrorFileNotFound;
    const RegValue& value = found->second;
    const auto stored = static_cast<uint32_t>(value.data.size());
    if (type) *type = value.type;
    if (!size) return kErrorSuccess;
    const uint32_t room = *size;
    *size = stored;
    if (!data) return kErrorSuccess;
    if (room < stored) return kErrorMoreData;
    std::memcpy(data, value.data.data(), stored);
    return kErrorSuccess;
}

std::optional<uint32_t> SettingsKey::ReadDword(std::string_view name) const {
    uint8_t bytes[8];  // room beyond 4 so that a longer value reports its true size
    uint32_t size = sizeof bytes;
    uint32_t type = 0;
    if (QueryValue(name, &type, bytes, &size) != kErrorSuccess || type != kRegDword || size != 4)
        return std::nullopt;
    return static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                 static_cast<uint32_t>(bytes[3]) << 24);
}

std::optional<std::array<uint8_t, 16>> SettingsKey::ReadBinary16(std::string_view name) const {
    uint8_t bytes[32];
    uint32_t size = sizeof bytes;
    uint32_t type = 0;
    if (QueryValue(name, &type, bytes, &size) != kErrorSuccess || type != kRegBinary || size != 16)
        return std::nullopt;
    std::array<uint8_t, 16> result;
    std::memcpy(result.data(), bytes, 16);
    return result;
}

template <typename Change>
bool SettingsKey::Modify(Change change) {
    std::lock_guard lock(mutex_);
    const auto file_lock = FileLock::Acquire(path_);
    if (!file_lock) return false;
    const auto text = ReadWholeFile(path_);
    if (!text) return false;  // never replace a file we could not read
    RegValues values = ParseRegText(*text);
    change(values);
    if (!WriteFileAtomically(path_, FormatRegText(values))) return false;
    values_ = std::move(values);
    stamp_ = StampOf(path_);
    return true;
}

bool SettingsKey::WriteValue(std::string_view name, uint32_t type, std::string_view data) {
    if (!IsValidValueName(name)) return false;
    return Modify([&](RegValues& values) {
        values[FoldName(name)] = RegValue{std::string(name), type, std::string(data)};
    });
}

bool SettingsKey::WriteDword(std::string_view name, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value & 0xff), static_cast<char>(value >> 8 & 0xff),
                           static_cast<char>(value >> 16 & 0xff), static_cast<char>(value >> 24 & 0xff)};
    return WriteValue(name, kRegDword, std::string_view(bytes, 4));
}

bool SettingsKey::WriteBinary(std::string_view name, std::string_view bytes) {
    return WriteValue(name, kRegBinary, bytes);
}

bool SettingsKey::WriteString(std::string_view name, std::string_view text) {
    return WriteValue(name, kRegSz, text);
}

bool SettingsKey::Delete(std::string_view name) {
    if (!IsValidValueName(name)) return false;
    return Modify([&](RegValues& values) { values.erase(FoldName(name)); });
}

std::unique_ptr<SettingsKey> OpenUserSettings() {
    std::string error;
    auto key = SettingsKey::Open(SettingsKey::DefaultPath(), &error);
    if (!key) std::fprintf(stderr, "VexaRecorder: %s\n", error.c_str());
    return key;
}

long ReadRegValue(const SettingsKey& key, std::string_view name, std::vector<uint8_t>* data, uint32_t* size,
                  uint32_t* type) {
    if (!data || !size) return kErrorInvalidParameter;
    uint32_t capacity = 0;
    long result = key.QueryValue(name, type, nullptr, &capacity);
    if (result != kErrorSuccess) return result;
    for (;;) {
        data->assign(std::max<uint32_t>(capacity, 1), 0);  // never a null buffer, so growth shows
        uint32_t got = capacity;
        result = key.QueryValue(name, type, data->data(), &got);
        if (result != kErrorMoreData) {
            if (result == kErrorSuccess) {
                data->resize(got);
                *size = got;
            } else {
                data->clear();
            }
            return result;
        }
        capacity += 64;  // the value grew between the two queries
    }
}

}  // namespace vexa::app
