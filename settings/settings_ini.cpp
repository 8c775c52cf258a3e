#include "settings/settings_ini.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <optional>

#include "settings/file_io.h"
#include "settings/ini_document.h"
#include "settings/program_folder.h"
#include "settings/user_dirs.h"

namespace vexa::settings {

namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

constexpr std::size_t kIniReadCap = std::size_t{4} << 20;

std::optional<std::string> ValueIn(const std::string& path, std::string_view section, std::string_view key) {
    if (path.empty()) return std::nullopt;
    const Result<FileText> file = ReadFileText(path, kIniReadCap);
    if (!file.ok()) return std::nullopt;
    return IniDocument::Parse(file->text).Get(section, key);
}

// A file that exists but may not be written (no write permission bits, or access refused).
bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

}  // namespace

SettingsIni::SettingsIni(std::string path, std::string beside_program)
    : path_(std::move(path)), beside_program_(std::move(beside_program)) {}

SettingsIni SettingsIni::Locate(const std::string& program_folder, const std::string& config_home) {
    const std::string beside = WithSlash(program_folder) + std::string(kFileName);
    if (!program_folder.empty() && ::access(program_folder.c_str(), W_OK) == 0) return SettingsIni(beside);
    return SettingsIni(WithSlash(config_home) + "Vexa/" + std::string(kFileName),
                       program_folder.empty() ? "" : beside);
}

SettingsIni SettingsIni::ForThisProgram() {
    return Locate(ProgramFolder(), ConfigHome());
}

std::string SettingsIni::GetString(std::string_view section, std::string_view key, std::size_t buffer) const {
    auto value = ValueIn(path_, section, key);
    if (!value) value = ValueIn(beside_program_, section, key);
    if (!value || buffer == 0) return {};
    if (value->size() > buffer - 1) value->resize(buffer - 1);
    return *value;
}

int SettingsIni::GetInt(std::string_view section, std::string_view key) const {
    const std::string text = GetString(section, key);
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX + 1LL;  // enough to saturate either sign
    }
    if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

Error SettingsIni::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (IsReadOnlyFile(path_)) return Error(ErrorCode::kPermission, path_ + " is read-only");
    if (Error made = MakeFolders(ParentFolder(path_)); !made.ok()) return made;
    Result<FileLock> lock = FileLock::Acquire(path_, 0644);
    if (!lock.ok()) return lock.error();
    Result<std::string> text = ReadWholeFile(lock->Path(), kIniReadCap);
    if (!text.ok()) return text.error();
    // A new file in the fallback place starts from the copy beside the program.
    std::optional<std::string> seed;
    if (text->empty() && !beside_program_.empty()) {
        if (Result<std::string> shipped = ReadWholeFile(beside_program_, kIniReadCap); shipped.ok())
            seed = std::move(*shipped);
    }
    IniDocument document = IniDocument::Parse(seed ? *seed : *text);
    if (Error set = document.Set(section, key, value); !set.ok()) return set.Within("cannot write " + path_);
    struct stat st {};
    const mode_t mode = ::stat(lock->Path().c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    return WriteFileAtomically(*lock, document.Text(), mode);
}

}  // namespace vexa::settings
