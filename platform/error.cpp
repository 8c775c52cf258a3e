#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace vexa {

const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::kOk:
            return "ok";
        case ErrorCode::kInvalidArgument:
            return "invalid argument";
        case ErrorCode::kNotFound:
            return "not found";
        case ErrorCode::kBusy:
            return "busy";
        case ErrorCode::kPermission:
            return "permission";
        case ErrorCode::kNoSpace:
            return "no space";
        case ErrorCode::kIo:
            return "i/o";
        case ErrorCode::kUnavailable:
            return "unavailable";
        case ErrorCode::kUnsupported:
            return "unsupported";
        case ErrorCode::kTimeout:
            return "time-out";
        case ErrorCode::kCancelled:
            return "cancelled";
        case ErrorCode::kProtocol:
            return "protocol";
        case ErrorCode::kInternal:
            return "internal";
    }
    return "unknown";
}

ErrorCode Error::CodeForErrno(int err) {
    switch (err) {
        case 0:
            return ErrorCode::kInternal;  // a failure without errno is still a failure
        case EACCES:
        case EPERM:
        case EROFS:
            return ErrorCode::kPermission;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ErrorCode::kNoSpace;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return ErrorCode::kNotFound;
        case EBUSY:
            return ErrorCode::kBusy;
        case EINVAL:
        case ENAMETOOLONG:
        case ENOTDIR:
        case EISDIR:
        case EEXIST:
        case ELOOP:
            return ErrorCode::kInvalidArgument;
        case ETIMEDOUT:
            return ErrorCode::kTimeout;
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return ErrorCode::kUnavailable;
        default:
            return ErrorCode::kIo;
    }
}

Error Error::FromErrno(int err, const std::string& what) {
    char buffer[256];
    // GNU strerror_r returns the text (which may or may not live in buffer).
    const char* reason = err ? strerror_r(err, buffer, sizeof buffer) : "unknown reason";
    return Error(CodeForErrno(err), what + ": " + reason, static_cast<uint32_t>(err));
}

Error Error::Within(const std::string& context) const {
    if (ok()) return *this;
    return Error(code_, context + ": " + message_, native_code_);
}

}  // namespace vexa
