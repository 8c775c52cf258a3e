#include "platform/av_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace vexa {
namespace {

// FFmpeg wraps errno values as their negatives; its own codes are large tags.
constexpr int kLargestErrno = 4095;

ErrorCode CodeOf(int averror) {
    if (averror < 0 && -averror <= kLargestErrno) return Error::CodeForErrno(-averror);
    switch (averror) {
        case AVERROR_ENCODER_NOT_FOUND:
        case AVERROR_DECODER_NOT_FOUND:
        case AVERROR_MUXER_NOT_FOUND:
        case AVERROR_FILTER_NOT_FOUND:
        case AVERROR_PROTOCOL_NOT_FOUND:
        case AVERROR_OPTION_NOT_FOUND:
        case AVERROR_PATCHWELCOME:
            return ErrorCode::kUnsupported;
        case AVERROR_EOF:
            return ErrorCode::kIo;
        case AVERROR_EXIT:
            return ErrorCode::kCancelled;
        default:
            return ErrorCode::kInternal;
    }
}

}  // namespace

std::string AvErrorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(averror, text, sizeof text) < 0 && !text[0]) return "error " + std::to_string(averror);
    return text;
}

Error AvError(int averror, const std::string& what) {
    const bool wraps_errno = averror < 0 && -averror <= kLargestErrno;
    return Error(CodeOf(averror), what + ": " + AvErrorText(averror),
                 wraps_errno ? static_cast<uint32_t>(-averror) : 0);
}

}  // namespace vexa
