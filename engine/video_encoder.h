// Opening the H.264 encoder of a screen or camera stream. The candidates are tried in order; one
// that is missing or cannot open (no device, no hardware) is skipped, and its reason is kept for the
// message when none opens. Thread-safe (no shared state); the returned context belongs to the caller.
#pragma once

#include <span>

#include "engine/ffmpeg_ptr.h"
#include "engine/recording_params.h"
#include "platform/error.h"

namespace vexa::engine {

struct VideoEncoderSettings {
    int quality_index = 0;                // clamped to 1..51 here
    const BitRateTriple* rate = nullptr;  // none: the encoder's default rates
    int fps = 24;
    int width = 0;  // rounded up to even here
    int height = 0;
    bool global_header = false;  // the container wants global headers (MP4 does)
};

// "h264_qsv", "h264_nvenc", "libx264": hardware first, then the software encoder every machine has.
[[nodiscard]] std::span<const char* const> VideoEncoderCandidates();

// Opens the first candidate that works. When none does: "no H.264 encoder could be opened
// (h264_qsv: not in this FFmpeg build; libx264: cannot open at 1920x1080: Invalid argument)", with
// kUnsupported, or the code of the last candidate's failure.
[[nodiscard]] Result<CodecContextPtr> OpenVideoEncoder(const VideoEncoderSettings& settings);
// Opens one named encoder; the reason alone when it is missing or cannot open ("not in this FFmpeg
// build", "no cuda device: Operation not permitted", "cannot open at 64x64: Invalid argument").
[[nodiscard]] Result<CodecContextPtr> OpenNamedVideoEncoder(const char* name,
                                                            const VideoEncoderSettings& settings);

// The pixel format chosen for an encoder: the wanted one (BGRA and BGR0 count as equal), else the
// first of BGRA, YUV420P, YUYV422, YUV422P, else the list's first; YUV420P with no list.
[[nodiscard]] AVPixelFormat ChoosePixelFormat(const AVPixelFormat* supported, AVPixelFormat wanted);

// The encoder's time base: the finest of fps × 2^k that reaches 10000 ticks per second, which is
// the time base an MP4 file gives a 1/fps stream. Frames carry their capture times in it, so the
// encoder's rate control sees true frame durations and packets pass to the file unchanged.
[[nodiscard]] AVRational EncoderTimeBase(int fps);

// Counter ticks per frame period and encoder time-base units per counter tick.
[[nodiscard]] int64_t TicksPerFrame(const AVCodecContext* encoder, int64_t frequency);
[[nodiscard]] double PtsPerTick(const AVCodecContext* encoder, int64_t frequency);

// Quality option of encoders with a 1..100 quality scale: 100 − index × 100 / 51, clamped to 1..100.
[[nodiscard]] int QualityPercent(int quality_index);

}  // namespace vexa::engine
