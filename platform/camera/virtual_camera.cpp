#include "platform/camera/virtual_camera.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/camera/test_pattern.h"
#include "platform/av_error.h"
#include "platform/sync/waitable.h"
#include "platform/sync/worker_thread.h"
#include "platform/time/clock.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace vexa::platform {
namespace {

bool ParseInt(std::string_view text, int& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// "FOURCC:WxH@FPS" → format; false when malformed, sizes not positive or the width is odd.
bool ParseEntry(std::string_view entry, CameraFormat& out) {
    size_t colon = entry.find(':'), x = entry.find('x'), at = entry.find('@');
    if (colon != 4 || x == std::string_view::npos || at == std::string_view::npos || !(colon < x && x < at))
        return false;
    int w = 0, h = 0, fps = 0;
    if (!ParseInt(entry.substr(colon + 1, x - colon - 1), w) ||
        !ParseInt(entry.substr(x + 1, at - x - 1), h) || !ParseInt(entry.substr(at + 1), fps))
        return false;
    if (w <= 0 || h <= 0 || w % 2 || fps <= 0 || fps > 240) return false;
    out = {FourCc(entry[0], entry[1], entry[2], entry[3]), w, h, FrameTimeOf(fps)};
    return true;
}

std::atomic<int64_t> generator_cpu_ns{0};
std::atomic<uint64_t> missed_pictures{0};

int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int EnvInt(const char* name) {
    const char* value = std::getenv(name);
    int n = 0;
    return value && ParseInt(value, n) && n > 0 ? n : 0;
}

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Encodes pattern pictures as JPEG with FFmpeg's MJPEG encoder (full-range 4:2:2).
class JpegMaker {
  public:
    Error Open(int width, int height, int fps) {
        const std::string what = "cannot open the MJPEG encoder of the virtual camera";
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        if (!codec) return CameraFailure(ErrorCode::kUnsupported, what + ": not in this FFmpeg build");
        context_.reset(avcodec_alloc_context3(codec));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!context_ || !frame_ || !packet_) return CameraErrnoError(ENOMEM, what);
        context_->width = width;
        context_->height = height;
        context_->pix_fmt = AV_PIX_FMT_YUVJ422P;
        context_->time_base = AVRational{1, fps};
        context_->flags |= AV_CODEC_FLAG_QSCALE;
        context_->global_quality = FF_QP2LAMBDA * 4;
        if (int rc = avcodec_open2(context_.get(), codec, nullptr); rc < 0) return Native(AvError(rc, what));
        frame_->format = AV_PIX_FMT_YUVJ422P;
        frame_->width = width;
        frame_->height = height;
        if (int rc = av_frame_get_buffer(frame_.get(), 0); rc < 0) return Native(AvError(rc, what));
        return {};
    }

    bool Encode(const Yuv422Picture& p, std::vector<uint8_t>& out) {
        if (av_frame_make_writable(frame_.get()) < 0) return false;
        CopyPlane(p.y.data(), p.width, frame_->data[0], frame_->linesize[0], p.height);
        CopyPlane(p.u.data(), p.width / 2, frame_->data[1], frame_->linesize[1], p.height);
        CopyPlane(p.v.data(), p.width / 2, frame_->data[2], frame_->linesize[2], p.height);
        frame_->pts = next_pts_++;
        if (avcodec_send_frame(context_.get(), frame_.get()) < 0) return false;
        if (avcodec_receive_packet(context_.get(), packet_.get()) < 0) return false;
        out.assign(packet_->data, packet_->data + packet_->size);
        av_packet_unref(packet_.get());
        return true;
    }

  private:
    // An FFmpeg failure with the camera window's number.
    static Error Native(const Error& e) { return Error(e.code(), e.message(), kCameraFailed); }
    static void CopyPlane(const uint8_t* src, int width, uint8_t* dst, int stride, int height) {
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * stride, src + y * width, width);
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> context_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    int64_t next_pts_ = 0;
};

class VirtualCamera final : public CameraDevice {
  public:
    explicit VirtualCamera(VirtualCameraConfig config) : config_(std::move(config)) {
        if (!config_.formats.empty()) current_ = config_.formats.front();
    }
    ~VirtualCamera() override { StopStreaming(); }

    const std::string& Name() const override { return name_; }

    Result<std::vector<CameraFormat>> EnumerateFormats() override {
        if (config_.formats.empty())
            return CameraFailure(ErrorCode::kUnsupported, What() + " lists no formats");
        return config_.formats;
    }

    Error SetFormat(const CameraFormat& format) override {
        const std::string what = "cannot set " + What() + " to " + FourCcText(format.fourcc) + " " +
                                 std::to_string(format.width) + "x" + std::to_string(format.height);
        if (config_.busy || streaming_.joinable()) return CameraErrnoError(EBUSY, what);
        const CameraFormat* best = nullptr;
        for (const CameraFormat& f : config_.formats) {
            if (f.fourcc != format.fourcc || f.width != format.width || f.height != format.height) continue;
            if (!best || std::llabs(f.frame_time - format.frame_time) <
                             std::llabs(best->frame_time - format.frame_time))
                best = &f;
        }
        if (!best) return CameraErrnoError(EINVAL, what);
        current_ = *best;
        return {};
    }

    Result<CameraFormat> CurrentFormat() override {
        if (config_.formats.empty()) return CameraFailure(ErrorCode::kUnsupported, What() + " has no format");
        return current_;
    }

    Error StartStreaming(PictureCallback callback) override {
        const std::string what = "cannot start streaming from " + What();
        if (config_.busy || streaming_.joinable()) return CameraErrnoError(EBUSY, what);
        if (current_.fourcc != kFourCcYuyv && current_.fourcc != kFourCcMjpg)
            return CameraErrnoError(EINVAL, what + " in " + FourCcText(current_.fourcc));
        auto jpeg = std::make_unique<JpegMaker>();
        if (current_.fourcc == kFourCcMjpg) {
            const Error opened = jpeg->Open(current_.width, current_.height,
                                            std::max(1, FramesPerSecond(current_.frame_time)));
            if (!opened.ok()) return opened;
        }
        callback_ = std::move(callback);
        streaming_ = std::thread([this, jpeg = std::move(jpeg)] {
            NameCurrentThread("vexa-cam-virt");
            StreamLoop(*jpeg);
        });
        return {};
    }

    void StopStreaming() override {
        if (!streaming_.joinable()) return;
        stop_.Set();
        streaming_.join();
        (void)stop_.TryConsume();
    }

  private:
    [[nodiscard]] std::string What() const { return "camera '" + name_ + "'"; }

    // Paces pictures on the format's frame time from the first one, so late wake-ups do not drift.
    // A camera runs on its own clock: a picture whose time passed while the consumer was still busy
    // is never made (a real device drops it when no buffer is free); the counter shows the gap.
    void StreamLoop(JpegMaker& jpeg) {
        const int64_t period = current_.frame_time * 100;  // nanoseconds
        const int64_t first = PerformanceCounter();
        Yuv422Picture picture;
        std::vector<uint8_t> bytes;
        uint64_t delivered = 0;
        for (uint64_t slot = 0;; ++slot) {
            if (config_.unplug_after > 0 && delivered >= static_cast<uint64_t>(config_.unplug_after)) return;
            const int64_t due = first + static_cast<int64_t>(slot) * period;
            const int64_t wait = (due - PerformanceCounter()) / 100;
            if (stop_.Wait(wait > 0 ? wait : 0) == WaitResult::kSignaled) return;
            if (const int64_t behind = (PerformanceCounter() - due) / period; behind > 0) {
                missed_pictures.fetch_add(static_cast<uint64_t>(behind), std::memory_order_relaxed);
                slot += static_cast<uint64_t>(behind);
            }
            const bool corrupt = config_.corrupt_every > 0 &&
                                 (delivered + 1) % static_cast<uint64_t>(config_.corrupt_every) == 0;
            const int64_t cpu_before = ThreadCpuNs();
            const bool made = MakePicture(jpeg, picture, slot, corrupt, bytes);
            generator_cpu_ns.fetch_add(ThreadCpuNs() - cpu_before, std::memory_order_relaxed);
            if (!made) continue;
            ++delivered;
            callback_(static_cast<double>(PerformanceCounter()) / kCounterFrequency, bytes.data(),
                      bytes.size());
        }
    }

    bool MakePicture(JpegMaker& jpeg, Yuv422Picture& picture, uint64_t n, bool corrupt,
                     std::vector<uint8_t>& out) {
        if (current_.fourcc == kFourCcMjpg && corrupt) {
            out.assign(4096, 0);
            for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 37 + n);
            return true;
        }
        PaintTestPattern(picture, current_.width, current_.height, n);
        if (current_.fourcc == kFourCcYuyv) {
            PackYuyv(picture, out);
            return true;
        }
        return jpeg.Encode(picture, out);
    }

    VirtualCameraConfig config_;
    std::string name_ = kVirtualCameraName;
    CameraFormat current_;
    PictureCallback callback_;
    Event stop_;
    std::thread streaming_;
};

}  // namespace

std::optional<std::vector<CameraFormat>> ParseVirtualFormats(std::string_view text) {
    if (text == "1") text = "YUYV:640x480@30,MJPG:1280x720@30,MJPG:640x480@30";
    std::vector<CameraFormat> formats;
    for (;;) {
        const size_t comma = text.find(',');
        CameraFormat format;
        if (!ParseEntry(text.substr(0, comma), format)) return std::nullopt;
        formats.push_back(format);
        if (comma == std::string_view::npos) break;
        text = text.substr(comma + 1);
    }
    if (formats.empty()) return std::nullopt;
    return formats;
}

std::optional<VirtualCameraConfig> VirtualCameraFromEnvironment() {
    const char* value = std::getenv("VEXA_VIRTUAL_CAMERA");
    if (!value) return std::nullopt;
    auto formats = ParseVirtualFormats(value);
    if (!formats) return std::nullopt;
    VirtualCameraConfig config;
    config.formats = std::move(*formats);
    config.busy = EnvInt("VEXA_VIRTUAL_CAMERA_BUSY") > 0;
    config.corrupt_every = EnvInt("VEXA_VIRTUAL_CAMERA_CORRUPT");
    config.unplug_after = EnvInt("VEXA_VIRTUAL_CAMERA_UNPLUG");
    return config;
}

int64_t VirtualCameraGeneratorCpuNs() {
    return generator_cpu_ns.load(std::memory_order_relaxed);
}

uint64_t VirtualCameraMissedPictures() {
    return missed_pictures.load(std::memory_order_relaxed);
}

std::unique_ptr<CameraDevice> CreateVirtualCamera(VirtualCameraConfig config) {
    return std::make_unique<VirtualCamera>(std::move(config));
}

}  // namespace vexa::platform
