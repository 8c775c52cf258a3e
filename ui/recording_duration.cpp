#include "ui/recording_duration.h"

#include <memory>

#include "engine/ffmpeg_ptr.h"
#include "platform/av_error.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vexa::ui {
namespace {

// The end of the longest stream in microseconds, as opening the file indexed it; AV_NOPTS_VALUE when
// no stream names its duration.
int64_t LongestStream(const AVFormatContext& input) {
    int64_t longest = AV_NOPTS_VALUE;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream* stream = input.streams[i];
        if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) continue;
        const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
        const int64_t end =
            av_rescale_q(start + stream->duration, stream->time_base, AVRational{1, AV_TIME_BASE});
        if (longest == AV_NOPTS_VALUE || end > longest) longest = end;
    }
    return longest;
}

}  // namespace

Result<std::chrono::microseconds> ReadRecordingDuration(const std::string& path) {
    const std::string what = "cannot read the duration of " + path;
    AVFormatContext* opened = nullptr;
    if (const int result = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); result < 0)
        return AvError(result, what);
    const engine::InputPtr input(opened);
    // A regular MP4 or M4A carries the duration in its header; a fragmented one in its streams'
    // fragments; other containers learn it from their packets.
    if (input->duration == AV_NOPTS_VALUE) input->duration = LongestStream(*input);
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
