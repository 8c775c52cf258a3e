#include "settings/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "settings/file_io.h"

namespace vexa::settings {

namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs syntax: "$HOME/sub" or "/absolute".
std::string DocumentsEntry(std::string_view text, const std::string& home) {
    std::string found;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
        if (!line.starts_with(kKey) || !line.ends_with('"') || line.size() < kKey.size() + 1) continue;
        std::string_view value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
        if (value.starts_with("$HOME")) {
            value.remove_prefix(5);
            if (!value.empty() && value.front() != '/') continue;
            found = WithoutTrailingSlashes(home + std::string(value));
        } else if (value.starts_with('/')) {
            found = WithoutTrailingSlashes(std::string(value));
        }
    }
    // The home folder itself means "no documents folder configured".
    return found == WithoutTrailingSlashes(home) ? std::string() : found;
}

}  // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

std::string ConfigHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return WithoutTrailingSlashes(config);
    return WithoutTrailingSlashes(HomeFolder()) + "/.config";
}

std::string DocumentsFolder() {
    const std::string home = WithoutTrailingSlashes(HomeFolder());
    if (const Result<FileText> file = ReadFileText(ConfigHome() + "/user-dirs.dirs", 1 << 20); file.ok()) {
        if (std::string entry = DocumentsEntry(file->text, home); !entry.empty()) return entry;
    }
    return home + "/Documents";
}

}  // namespace vexa::settings
