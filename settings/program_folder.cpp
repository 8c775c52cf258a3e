#include "settings/program_folder.h"

#include <unistd.h>

#include <vector>

namespace vexa::settings {

std::string ProgramPath() {
    // readlink does not say when it truncated, so grow the buffer until the path fits.
    for (std::size_t size = 256; size <= 65536; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    return {};
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace vexa::settings
