#include "engine/video_encoder.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "platform/av_error.h"

namespace vexa::engine {
namespace {

constexpr const char* kCandidates[] = {"h264_qsv", "h264_nvenc", "libx264"};

bool IsBgra(AVPixelFormat f) {
    return f == AV_PIX_FMT_BGRA || f == AV_PIX_FMT_BGR0;
}

struct HardwareChoice {
    AVPixelFormat wanted = AV_PIX_FMT_BGRA;
    AVHWDeviceType device = AV_HWDEVICE_TYPE_NONE;
};

// First pass: a device-context configuration in BGRA/BGR0. Otherwise the first device-context
// configuration at all, with its pixel format unless that is none.
HardwareChoice ChooseHardware(const AVCodec* codec) {
    HardwareChoice choice;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config) break;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) && IsBgra(config->pix_fmt)) {
            choice = {config->pix_fmt, config->device_type};
            break;
        }
    }
    if (choice.device != AV_HWDEVICE_TYPE_NONE) return choice;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config) break;
        if (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) {
            choice.device = config->device_type;
            if (config->pix_fmt != AV_PIX_FMT_NONE) choice.wanted = config->pix_fmt;
            break;
        }
    }
    return choice;
}

void SetPrivate(AVCodecContext* ctx, const char* key, const std::string& value) {
    (void)av_opt_set(ctx->priv_data, key, value.c_str(), 0);  // an unknown option is ignored
}

// Encoder-specific settings. Every encoder gets a key frame each 8 seconds; none may reorder frames,
// because a packet's duration is taken from the next packet's time stamp.
void ApplyEncoderOptions(AVCodecContext* ctx, const char* name, int index, int fps) {
    ctx->gop_size = fps * 8;
    ctx->max_b_frames = 0;
    if (std::strcmp(name, "h264_qsv") == 0) {
        SetPrivate(ctx, "profile", "high");
        SetPrivate(ctx, "preset", "veryfast");
        ctx->flags |= AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2 | AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = index * FF_QP2LAMBDA;
    } else if (std::strcmp(name, "h264_nvenc") == 0) {
        SetPrivate(ctx, "preset", "p2");
        SetPrivate(ctx, "rc", "constqp");
        SetPrivate(ctx, "qp", std::to_string(index));
    } else if (std::strcmp(name, "libx264") == 0) {
        SetPrivate(ctx, "preset", "veryfast");
        SetPrivate(ctx, "crf", std::to_string(index));
        // Screen pictures are encoded as they come: slice threads and a look-ahead of one picture
        // keep the encoder's delay and memory small (about 70 MB less at 1080p than frame threads
        // with the preset's look-ahead of 10; a look-ahead of 1 instead of 5 saves another 27 MB,
        // with files 5 % smaller at an SSIM lower by 0.0006: bench/engine/x264_settings.sh).
        ctx->thread_type = FF_THREAD_SLICE;
        SetPrivate(ctx, "rc-lookahead", "1");
    }
}

}  // namespace

std::span<const char* const> VideoEncoderCandidates() {
    return kCandidates;
}

AVPixelFormat ChoosePixelFormat(const AVPixelFormat* supported, AVPixelFormat wanted) {
    if (!supported) return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* p = supported; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == wanted || (IsBgra(*p) && IsBgra(wanted))) return *p;
    }
    for (const AVPixelFormat* p = supported; *p != AV_PIX_FMT_NONE; ++p) {
        if (*p == AV_PIX_FMT_BGRA || *p == AV_PIX_FMT_YUV420P || *p == AV_PIX_FMT_YUYV422 ||
            *p == AV_PIX_FMT_YUV422P)
            return *p;
    }
    return supported[0] != AV_PIX_FMT_NONE ? supported[0] : AV_PIX_FMT_YUV420P;
}

AVRational EncoderTimeBase(int fps) {
    int den = std::max(1, fps);
    while (den < 10000) den *= 2;
    return AVRational{1, den};
}

int64_t TicksPerFrame(const AVCodecContext* encoder, int64_t frequency) {
    return frequency * encoder->framerate.den / std::max(1, encoder->framerate.num);
}

double PtsPerTick(const AVCodecContext* encoder, int64_t frequency) {
    return static_cast<double>(encoder->time_base.den) / encoder->time_base.num /
           static_cast<double>(frequency);
}

int QualityPercent(int quality_index) {
    return std::clamp(100 - quality_index * 100 / 51, 1, 100);
}

Result<CodecContextPtr> OpenNamedVideoEncoder(const char* name, const VideoEncoderSettings& s) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return Error(ErrorCode::kUnsupported, "not in this FFmpeg build");
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return AvError(AVERROR(ENOMEM), "no encoder context");

    const HardwareChoice hw = ChooseHardware(codec);
    ctx->pix_fmt = ChoosePixelFormat(codec->pix_fmts, hw.wanted);
    if (hw.device != AV_HWDEVICE_TYPE_NONE) {
        const int rc = av_hwdevice_ctx_create(&ctx->hw_device_ctx, hw.device, nullptr, nullptr, 0);
        if (rc < 0) return AvError(rc, std::string("no ") + av_hwdevice_get_type_name(hw.device) + " device");
    }

    const int fps = std::max(1, s.fps);
    const int index = std::clamp(s.quality_index, 1, 51);
    ctx->width = (s.width + 1) & ~1;
    ctx->height = (s.height + 1) & ~1;
    ctx->time_base = EncoderTimeBase(fps);
    ctx->framerate = AVRational{fps, 1};
    if (s.global_header) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (s.rate) {
        ctx->bit_rate = s.rate->bit_rate;
        ctx->rc_min_rate = s.rate->min_rate;
        ctx->rc_max_rate = s.rate->max_rate;
    }
    ApplyEncoderOptions(ctx.get(), name, index, fps);
    // A failed open clears the context's size: the message keeps what was asked for.
    const char* format = av_get_pix_fmt_name(ctx->pix_fmt);
    const std::string asked =
        std::to_string(ctx->width) + "x" + std::to_string(ctx->height) + " " + (format ? format : "?");
    if (const int rc = avcodec_open2(ctx.get(), codec, nullptr); rc < 0)
        return AvError(rc, "cannot open at " + asked);
    return ctx;
}

Result<CodecContextPtr> OpenVideoEncoder(const VideoEncoderSettings& settings) {
    std::string reasons;
    ErrorCode code = ErrorCode::kUnsupported;
    for (const char* name : kCandidates) {
        Result<CodecContextPtr> opened = OpenNamedVideoEncoder(name, settings);
        if (opened.ok()) return opened;
        const Error why = opened.error();
        // A missing encoder says nothing about the others; a failing one may (size, memory).
        if (why.code() != ErrorCode::kUnsupported) code = why.code();
        reasons.append(reasons.empty() ? "" : "; ").append(name).append(": ").append(why.message());
    }
    return Error(code, "no H.264 encoder could be opened (" + reasons + ")");
}

}  // namespace vexa::engine
