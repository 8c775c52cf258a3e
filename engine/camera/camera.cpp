#include "engine/camera/camera.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace vexa::engine {
namespace {

// The deprecated full-range "J" formats as their plain twins; the range is told to the scaler.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* full_range) {
    *full_range = true;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        default:
            *full_range = false;
            return format;
    }
}

// A bicubic converter from (format, width, height) to BGRA of the given size.
SwsContext* NewBgraConverter(AVPixelFormat format, int width, int height, int out_width, int out_height) {
    bool full_range = false;
    const AVPixelFormat plain = PlainFormat(format, &full_range);
    SwsContext* sws = sws_getContext(width, height, plain, out_width, out_height, AV_PIX_FMT_BGRA,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (sws && full_range) {
        int *inv_table = nullptr, *table = nullptr, src_range = 0, dst_range = 0, brightness = 0,
            contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(sws, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast,
                                     &saturation) >= 0)
            sws_setColorspaceDetails(sws, inv_table, 1, table, dst_range, brightness, contrast, saturation);
    }
    return sws;
}

void MirrorRows(uint8_t* bgra, int width, int height) {
    auto* pixels = reinterpret_cast<uint32_t*>(bgra);
    for (int y = 0; y < height; ++y)
        std::reverse(pixels + static_cast<ptrdiff_t>(y) * width, pixels + (y + 1) * width);
}

}  // namespace

CCamera::CCamera(std::unique_ptr<platform::CameraDevice> device)
    : device_(std::move(device)), name_(device_ ? device_->Name() : std::string()) {}

// Whoever drops the last reference need not stop the camera first: a streaming thread must never
// call into a freed camera.
CCamera::~CCamera() {
    Stop(true);
}

Result<CameraRef> CCamera::Create(const std::string& name) {
    Result<std::unique_ptr<platform::CameraDevice>> device = platform::OpenCameraDevice(name);
    if (!device.ok()) return device.error();
    return CreateOnDevice(std::move(device).value());
}

CameraRef CCamera::CreateOnDevice(std::unique_ptr<platform::CameraDevice> device) {
    if (!device) return {};
    return CameraRef::Adopt(new CCamera(std::move(device)));
}

uint32_t CCamera::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t CCamera::Release() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

Error CCamera::CreateGraphObjects() {
    if (!device_) return platform::CameraFailure(ErrorCode::kNotFound, What() + " is closed");
    if (streaming_) return platform::CameraFailure(ErrorCode::kInvalidArgument, What() + " is streaming");
    return {};
}

Result<CameraFormatList> CCamera::GetFormats() {
    if (!device_) return platform::CameraFailure(ErrorCode::kNotFound, What() + " is closed");
    Result<std::vector<platform::CameraFormat>> offered = device_->EnumerateFormats();
    if (!offered.ok()) return offered.error();
    CameraFormatList list = BuildCameraFormatList(*offered);
    if (list.Usable()) return list;
    std::string kinds;
    for (const platform::CameraFormat& f : *offered) {
        const std::string code = platform::FourCcText(f.fourcc);
        if (kinds.find(code) == std::string::npos) kinds.append(kinds.empty() ? "" : ", ").append(code);
    }
    return platform::CameraFailure(ErrorCode::kUnsupported,
                                   What() + " offers neither YUY2 nor MJPG (only " + kinds + ")");
}

Error CCamera::SelectFormat(const CameraFormatList& list, int width, int height, int fps) {
    const int index = ChooseCameraFormat(list, width, height, fps);
    if (index < 0)
        return platform::CameraFailure(ErrorCode::kUnsupported, What() + " has no format to choose");
    return SetFormat(list.formats[static_cast<size_t>(index)]);
}

Error CCamera::SetFormat(const platform::CameraFormat& format) {
    if (Error e = CreateGraphObjects(); !e.ok()) return e;
    return device_->SetFormat(format);
}

Error CCamera::BuildGraph() {
    return CreateGraphObjects();
}

Error CCamera::Start() {
    if (!device_) return platform::CameraFailure(ErrorCode::kNotFound, What() + " is closed");
    if (streaming_) return {};
    Result<platform::CameraFormat> format = device_->CurrentFormat();
    if (!format.ok()) return format.error();
    if (!IsUsableCameraFormat(*format)) {
        return platform::CameraFailure(ErrorCode::kUnsupported,
                                       What() + " streams " + platform::FourCcText(format->fourcc) + " " +
                                           std::to_string(format->width) + "x" +
                                           std::to_string(format->height) + ", neither YUY2 nor MJPG");
    }
    connected_ = *format;
    frame_rate_ = platform::FramesPerSecond(format->frame_time);
    width_ = format->width;
    height_ = format->height;
    if (!PrepareDecoding()) {
        FreeDecoding();
        return platform::CameraFailure(
            ErrorCode::kInternal,
            "cannot prepare the decoding of " + What() + " in " + platform::FourCcText(format->fourcc));
    }
    Error started = device_->StartStreaming(
        [this](double time, const uint8_t* data, size_t length) { (void)BufferCB(time, data, length); });
    if (!started.ok()) {
        FreeDecoding();
        return started;
    }
    streaming_ = true;
    return {};
}

void CCamera::Stop(bool full) {
    if (device_) device_->StopStreaming();  // joins the streaming thread: no picture arrives after this
    streaming_ = false;
    FreeDecoding();
    if (!full) return;
    device_.reset();
    {
        platform::SpinGuard guard(listener_lock_);
        listeners_.clear();
    }
    DetachFromStream();
}

void CCamera::AddListener(CameraPictureCallback callback, void* user) {
    if (!callback) return;
    platform::SpinGuard guard(listener_lock_);
    listeners_.push_back({callback, user});
}

CameraStats CCamera::Stats() const {
    return {pictures_.load(), skipped_.load(), queued_.load(), collapsed_.load(), dropped_.load()};
}

bool CCamera::PrepareDecoding() {
    bgra_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
    if (connected_.fourcc == platform::kFourCcYuyv) {
        converter_.reset(NewBgraConverter(AV_PIX_FMT_YUYV422, width_, height_, width_, height_));
        converter_format_ = AV_PIX_FMT_YUYV422;
        converter_width_ = width_;
        converter_height_ = height_;
        return converter_ != nullptr;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (!codec) return false;
    decoder_.reset(avcodec_alloc_context3(codec));
    decoded_.reset(av_frame_alloc());
    compressed_.reset(av_packet_alloc());
    if (!decoder_ || !decoded_ || !compressed_) return false;
    decoder_->thread_count = 1;  // one picture in, one picture out: no frame-thread delay
    // A picture claiming a far larger size than the connected one is not the camera's.
    decoder_->max_pixels = static_cast<int64_t>(width_) * height_ * 4;
    return avcodec_open2(decoder_.get(), codec, nullptr) >= 0;
}

void CCamera::FreeDecoding() {
    decoder_.reset();
    decoded_.reset();
    compressed_.reset();
    converter_.reset();
    converter_format_ = -1;
    converter_width_ = converter_height_ = 0;
    bgra_.clear();
    bgra_.shrink_to_fit();
}

int32_t CCamera::BufferCB(double /*sample_time*/, const uint8_t* buffer, size_t length) {
    pictures_.fetch_add(1, std::memory_order_relaxed);
    if (bgra_.empty() || !buffer) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    const bool ok =
        connected_.fourcc == platform::kFourCcYuyv ? ConvertYuyv(buffer, length) : DecodeMjpg(buffer, length);
    if (!ok) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    DeliverFrame(bgra_.data());
    return 0;
}

bool CCamera::ConvertYuyv(const uint8_t* buffer, size_t length) {
    if (length < static_cast<size_t>(width_) * height_ * 2) return false;  // a short picture
    const uint8_t* src[4] = {buffer, nullptr, nullptr, nullptr};
    const int src_stride[4] = {width_ * 2, 0, 0, 0};
    uint8_t* dst[4] = {bgra_.data() + static_cast<size_t>(height_ - 1) * width_ * 4, nullptr, nullptr,
                       nullptr};
    const int dst_stride[4] = {-width_ * 4, 0, 0, 0};
    return sws_scale(converter_.get(), src, src_stride, 0, height_, dst, dst_stride) > 0;
}

bool CCamera::DecodeMjpg(const uint8_t* buffer, size_t length) {
    if (!decoder_ || length == 0 || length > INT_MAX) return false;
    compressed_->data = const_cast<uint8_t*>(buffer);  // not reference-counted: the decoder copies it
    compressed_->size = static_cast<int>(length);
    int rc = avcodec_send_packet(decoder_.get(), compressed_.get());
    compressed_->data = nullptr;
    compressed_->size = 0;
    if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) return false;
    if (avcodec_receive_frame(decoder_.get(), decoded_.get()) < 0) return false;
    const bool intact = !(decoded_->flags & AV_FRAME_FLAG_CORRUPT) && decoded_->decode_error_flags == 0;
    const bool ok = intact && ToBottomUpBgra(decoded_.get());
    av_frame_unref(decoded_.get());
    return ok;
}

// Every decoded picture, whatever its pixel format, reaches the BGRA buffer bottom-up at the
// connected size, so listeners and the recording always see one layout.
bool CCamera::ToBottomUpBgra(const AVFrame* picture) {
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (!converter_ || converter_format_ != format || converter_width_ != picture->width ||
        converter_height_ != picture->height) {
        converter_.reset(NewBgraConverter(format, picture->width, picture->height, width_, height_));
        converter_format_ = format;
        converter_width_ = picture->width;
        converter_height_ = picture->height;
        if (!converter_) return false;
    }
    uint8_t* dst[4] = {bgra_.data() + static_cast<size_t>(height_ - 1) * width_ * 4, nullptr, nullptr,
                       nullptr};
    const int dst_stride[4] = {-width_ * 4, 0, 0, 0};
    return sws_scale(converter_.get(), picture->data, picture->linesize, 0, picture->height, dst,
                     dst_stride) > 0;
}

void CCamera::DeliverFrame(uint8_t* bgra) {
    if (Mirror()) MirrorRows(bgra, width_, height_);
    RecordPicture(bgra);
    const int size[2] = {width_, height_};
    platform::SpinGuard guard(listener_lock_);
    for (const CameraListener& listener : listeners_) listener.callback(listener.user, bgra, size);
}

}  // namespace vexa::engine
