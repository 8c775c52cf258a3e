#include "platform/regular_file.h"

#include <sys/stat.h>

#include <cerrno>

namespace vexa::platform {

Result<UniqueFd> OpenRegularFile(const std::string& path, int flags, mode_t mode, std::string_view what) {
    const std::string failed = std::string(what) + " " + path;
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode));
    // A FIFO without a reader (or a device without its driver) refuses a writer that will not wait.
    if (!fd.Valid() && (errno == ENXIO || errno == ENODEV))
        return Error(ErrorCode::kInvalidArgument, path + " is not a regular file");
    if (!fd.Valid()) return Error::FromErrno(errno, failed);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Error::FromErrno(errno, failed);
    if (!S_ISREG(st.st_mode)) return Error(ErrorCode::kInvalidArgument, path + " is not a regular file");
    return fd;
}

}  // namespace vexa::platform
