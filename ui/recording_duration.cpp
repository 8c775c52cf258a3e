#include "ui/recording_duration.h"

#include <memory>

#include "platform/av_error.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vexa::ui {
namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

}  // namespace

Result<std::chrono::microseconds> ReadRecordingDuration(const std::string& path) {
    const std::string what = "cannot read the duration of " + path;
    AVFormatContext* opened = nullptr;
    if (const int result = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); result < 0)
        return AvError(result, what);
    const InputPtr input(opened);
    // MP4 and M4A carry the duration in their header; other containers learn it from their packets.
    if (input->duration == AV_NOPTS_VALUE) {
        if (const int result = avformat_find_stream_info(input.get(), nullptr); result < 0)
            return AvError(result, what);
    }
    if (input->duration == AV_NOPTS_VALUE || input->duration < 0)
        return Error(ErrorCode::kUnsupported, what + ": the container names no duration");
    static_assert(AV_TIME_BASE == 1000000, "container durations count microseconds");
    return std::chrono::microseconds(input->duration);
}

}  // namespace vexa::ui
