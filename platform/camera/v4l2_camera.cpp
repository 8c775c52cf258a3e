#include "platform/camera/v4l2_camera.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>

#include "platform/sync/waitable.h"
#include "platform/sync/worker_thread.h"

namespace vexa::platform {
namespace {

constexpr int kBufferCount = 4;

// Owns one open descriptor.
class DeviceFd {
  public:
    explicit DeviceFd(int fd) : fd_(fd) {}
    DeviceFd(const DeviceFd&) = delete;
    DeviceFd& operator=(const DeviceFd&) = delete;
    ~DeviceFd() {
        if (fd_ >= 0) close(fd_);
    }
    [[nodiscard]] int Get() const { return fd_; }

  private:
    int fd_;
};

// ioctl that retries when a signal interrupts it; 0 on success, else errno.
int Control(int fd, unsigned long request, void* arg) {
    int rc;
    do {
        rc = ioctl(fd, request, arg);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? errno : 0;
}

uint32_t CaptureCaps(const v4l2_capability& cap) {
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

int64_t FrameTimeFromFraction(const v4l2_fract& f) {
    if (f.denominator == 0) return 0;
    return static_cast<int64_t>(f.numerator) * 10'000'000 / f.denominator;
}

// A memory-mapped buffer of the driver.
struct MappedBuffer {
    void* start = MAP_FAILED;
    size_t length = 0;
};

class V4l2Camera final : public CameraDevice {
  public:
    V4l2Camera(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
    ~V4l2Camera() override { StopStreaming(); }

    const std::string& Name() const override { return name_; }

    Result<std::vector<CameraFormat>> EnumerateFormats() override {
        std::vector<CameraFormat> out;
        v4l2_fmtdesc desc{};
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        int err = 0;
        for (desc.index = 0; (err = Control(fd_.Get(), VIDIOC_ENUM_FMT, &desc)) == 0; ++desc.index) {
            for (auto [w, h] : SizesOf(desc.pixelformat)) {
                for (int64_t t : FrameTimesOf(desc.pixelformat, w, h))
                    out.push_back({desc.pixelformat, w, h, t});
            }
        }
        if (!out.empty()) return out;
        // EINVAL ends the list; anything else is why there is none.
        if (err != EINVAL) return CameraErrnoError(err, "cannot list the formats of " + What());
        return CameraFailure(ErrorCode::kUnsupported, What() + " lists no formats");
    }

    Error SetFormat(const CameraFormat& format) override {
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.width = static_cast<uint32_t>(format.width);
        fmt.fmt.pix.height = static_cast<uint32_t>(format.height);
        fmt.fmt.pix.pixelformat = format.fourcc;
        fmt.fmt.pix.field = V4L2_FIELD_ANY;
        const std::string what = "cannot set " + What() + " to " + FourCcText(format.fourcc) + " " +
                                 std::to_string(format.width) + "x" + std::to_string(format.height);
        if (int err = Control(fd_.Get(), VIDIOC_S_FMT, &fmt)) return CameraErrnoError(err, what);
        if (format.frame_time <= 0) return {};
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        int64_t divisor = std::gcd(format.frame_time, int64_t{10'000'000});
        parm.parm.capture.timeperframe.numerator = static_cast<uint32_t>(format.frame_time / divisor);
        parm.parm.capture.timeperframe.denominator = static_cast<uint32_t>(10'000'000 / divisor);
        // Drivers without frame-rate control refuse S_PARM; the size and pixel format still hold.
        if (int err = Control(fd_.Get(), VIDIOC_S_PARM, &parm); err == EBUSY)
            return CameraErrnoError(err, what);
        return {};
    }

    Result<CameraFormat> CurrentFormat() override {
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (int err = Control(fd_.Get(), VIDIOC_G_FMT, &fmt))
            return CameraErrnoError(err, "cannot read the format of " + What());
        return CameraFormat{fmt.fmt.pix.pixelformat, static_cast<int>(fmt.fmt.pix.width),
                            static_cast<int>(fmt.fmt.pix.height), CurrentFrameTime()};
    }

    Error StartStreaming(PictureCallback callback) override {
        if (thread_.joinable())
            return CameraFailure(ErrorCode::kInvalidArgument, What() + " is already streaming");
        if (Error mapped = MapBuffers(); !mapped.ok()) {
            UnmapBuffers();
            return mapped;
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (int err = Control(fd_.Get(), VIDIOC_STREAMON, &type)) {
            UnmapBuffers();
            return CameraErrnoError(err, "cannot start streaming from " + What());
        }
        callback_ = std::move(callback);
        thread_ = std::thread([this] {
            NameCurrentThread("vexa-cam-dev");
            StreamLoop();
        });
        return {};
    }

    void StopStreaming() override {
        if (thread_.joinable()) {
            stop_.Set();
            thread_.join();
            (void)stop_.TryConsume();
        }
        if (buffers_.empty()) return;
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        (void)Control(fd_.Get(), VIDIOC_STREAMOFF, &type);
        UnmapBuffers();
    }

    std::vector<CameraControl> Controls() override {
        std::vector<CameraControl> controls;
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (Control(fd_.Get(), VIDIOC_QUERYCTRL, &query) == 0) {
            if (!(query.flags & V4L2_CTRL_FLAG_DISABLED) && query.type != V4L2_CTRL_TYPE_CTRL_CLASS) {
                v4l2_control value{query.id, 0};
                (void)Control(fd_.Get(), VIDIOC_G_CTRL, &value);
                controls.push_back({query.id, reinterpret_cast<const char*>(query.name),
                                    static_cast<int>(query.type), query.minimum, query.maximum, query.step,
                                    query.default_value, value.value, MenuOf(query)});
            }
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        return controls;
    }

    Error SetControl(uint32_t id, int32_t value) override {
        v4l2_control control{id, value};
        int err = Control(fd_.Get(), VIDIOC_S_CTRL, &control);
        return err ? CameraErrnoError(err, "cannot set control " + std::to_string(id) + " of " + What())
                   : Error{};
    }

  private:
    [[nodiscard]] std::string What() const { return "camera '" + name_ + "'"; }

    // The names of a menu control's items (an integer menu's values as text); indexes the driver
    // skips are left out.
    std::vector<CameraMenuItem> MenuOf(const v4l2_queryctrl& query) {
        std::vector<CameraMenuItem> items;
        if (query.type != V4L2_CTRL_TYPE_MENU && query.type != V4L2_CTRL_TYPE_INTEGER_MENU) return items;
        for (int32_t index = std::max(query.minimum, 0); index <= query.maximum && index < 256; ++index) {
            v4l2_querymenu menu{};
            menu.id = query.id;
            menu.index = static_cast<uint32_t>(index);
            if (Control(fd_.Get(), VIDIOC_QUERYMENU, &menu) != 0) continue;
            items.push_back({index, query.type == V4L2_CTRL_TYPE_MENU
                                        ? std::string(reinterpret_cast<const char*>(menu.name))
                                        : std::to_string(menu.value)});
        }
        return items;
    }

    std::vector<std::pair<int, int>> SizesOf(uint32_t pixelformat) {
        std::vector<std::pair<int, int>> sizes;
        v4l2_frmsizeenum size{};
        size.pixel_format = pixelformat;
        for (size.index = 0; Control(fd_.Get(), VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(size.discrete.width, size.discrete.height);
                continue;
            }
            const auto& s = size.stepwise;
            return CommonSizesWithin({static_cast<int>(s.min_width), static_cast<int>(s.max_width),
                                      static_cast<int>(std::max(1u, s.step_width)),
                                      static_cast<int>(s.min_height), static_cast<int>(s.max_height),
                                      static_cast<int>(std::max(1u, s.step_height))});
        }
        if (sizes.empty()) {  // drivers without size enumeration: the current size
            v4l2_format fmt{};
            fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (Control(fd_.Get(), VIDIOC_G_FMT, &fmt) == 0)
                sizes.emplace_back(fmt.fmt.pix.width, fmt.fmt.pix.height);
        }
        return sizes;
    }

    std::vector<int64_t> FrameTimesOf(uint32_t pixelformat, int width, int height) {
        std::vector<int64_t> times;
        v4l2_frmivalenum interval{};
        interval.pixel_format = pixelformat;
        interval.width = static_cast<uint32_t>(width);
        interval.height = static_cast<uint32_t>(height);
        for (interval.index = 0; Control(fd_.Get(), VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
             ++interval.index) {
            if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                if (int64_t t = FrameTimeFromFraction(interval.discrete); t > 0) times.push_back(t);
                continue;
            }
            return CommonFrameTimesWithin(FrameTimeFromFraction(interval.stepwise.min),
                                          FrameTimeFromFraction(interval.stepwise.max));
        }
        if (times.empty()) times.push_back(CurrentFrameTime());
        return times;
    }

    int64_t CurrentFrameTime() {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        int64_t t = 0;
        if (Control(fd_.Get(), VIDIOC_G_PARM, &parm) == 0)
            t = FrameTimeFromFraction(parm.parm.capture.timeperframe);
        return t > 0 ? t : FrameTimeOf(30);
    }

    Error MapBuffers() {
        const std::string what = "cannot map the buffers of " + What();
        v4l2_requestbuffers request{};
        request.count = kBufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (int err = Control(fd_.Get(), VIDIOC_REQBUFS, &request)) return CameraErrnoError(err, what);
        if (request.count == 0)
            return CameraFailure(ErrorCode::kUnsupported, what + ": the driver gave none");
        for (uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (int err = Control(fd_.Get(), VIDIOC_QUERYBUF, &buf)) return CameraErrnoError(err, what);
            MappedBuffer mapped;
            mapped.length = buf.length;
            mapped.start =
                mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.Get(), buf.m.offset);
            if (mapped.start == MAP_FAILED) return CameraErrnoError(errno, what);
            buffers_.push_back(mapped);
            if (int err = Control(fd_.Get(), VIDIOC_QBUF, &buf)) return CameraErrnoError(err, what);
        }
        return {};
    }

    void UnmapBuffers() {
        for (const MappedBuffer& b : buffers_) munmap(b.start, b.length);
        buffers_.clear();
        v4l2_requestbuffers release{};
        release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        release.memory = V4L2_MEMORY_MMAP;
        (void)Control(fd_.Get(), VIDIOC_REQBUFS, &release);
    }

    // The streaming thread: one callback per filled buffer until stopped or the device goes away
    // (then it simply ends: the camera stops getting pictures).
    void StreamLoop() {
        pollfd fds[2] = {{fd_.Get(), POLLIN, 0}, {stop_.NativeHandle(), POLLIN, 0}};
        for (;;) {
            int n = poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || (fds[1].revents & POLLIN)) return;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            int err = Control(fd_.Get(), VIDIOC_DQBUF, &buf);
            if (err == EAGAIN) continue;
            if (err) return;
            if (buf.index < buffers_.size() && !(buf.flags & V4L2_BUF_FLAG_ERROR)) {
                double time = static_cast<double>(buf.timestamp.tv_sec) + buf.timestamp.tv_usec / 1e6;
                callback_(time, static_cast<const uint8_t*>(buffers_[buf.index].start),
                          std::min<size_t>(buf.bytesused, buffers_[buf.index].length));
            }
            if (Control(fd_.Get(), VIDIOC_QBUF, &buf)) return;
        }
    }

    std::string name_;
    DeviceFd fd_;
    std::vector<MappedBuffer> buffers_;
    PictureCallback callback_;
    Event stop_;
    std::thread thread_;
};

// The device number of "videoN", or -1.
int VideoNumber(const char* entry) {
    if (std::strncmp(entry, "video", 5) != 0 || !entry[5]) return -1;
    int n = 0;
    for (const char* p = entry + 5; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

}  // namespace

std::vector<std::pair<int, int>> CommonSizesWithin(const SizeRange& r) {
    static constexpr std::pair<int, int> kCommon[] = {
        {3840, 2160}, {2560, 1440}, {1920, 1080}, {1600, 1200}, {1280, 960}, {1280, 720}, {1024, 768},
        {960, 540},   {800, 600},   {640, 480},   {640, 360},   {352, 288},  {320, 240},  {160, 120}};
    std::vector<std::pair<int, int>> sizes;
    for (auto [w, h] : kCommon) {
        bool inside = w >= r.min_width && w <= r.max_width && h >= r.min_height && h <= r.max_height;
        bool on_grid = r.step_width > 0 && r.step_height > 0 && (w - r.min_width) % r.step_width == 0 &&
                       (h - r.min_height) % r.step_height == 0;
        if (inside && on_grid) sizes.emplace_back(w, h);
    }
    return sizes;
}

std::vector<int64_t> CommonFrameTimesWithin(int64_t min_frame_time, int64_t max_frame_time) {
    static constexpr int kCommonRates[] = {60, 50, 30, 25, 24, 20, 15, 10, 5};
    std::vector<int64_t> times;
    for (int fps : kCommonRates) {
        int64_t t = FrameTimeOf(fps);
        // One unit of slack: 1/30 s is 333333.33 units, which drivers round either way.
        if (t + 1 >= min_frame_time && t - 1 <= max_frame_time) times.push_back(t);
    }
    return times;
}

std::vector<CameraInfo> EnumerateV4l2Cameras() {
    std::vector<std::pair<int, std::string>> found;
    if (DIR* dir = opendir("/dev")) {
        while (dirent* e = readdir(dir)) {
            if (int n = VideoNumber(e->d_name); n >= 0)
                found.emplace_back(n, std::string("/dev/") + e->d_name);
        }
        closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::vector<CameraInfo> cameras;
    for (const auto& [number, path] : found) {
        DeviceFd fd(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0) continue;
        v4l2_capability cap{};
        if (Control(fd.Get(), VIDIOC_QUERYCAP, &cap) != 0) continue;
        uint32_t caps = CaptureCaps(cap);
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
        cameras.push_back({reinterpret_cast<const char*>(cap.card), path});
    }
    return cameras;
}

Result<std::unique_ptr<CameraDevice>> OpenV4l2Camera(const CameraInfo& info) {
    int fd = open(info.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return CameraErrnoError(errno, "cannot open camera '" + info.name + "' (" + info.path + ")");
    return std::unique_ptr<CameraDevice>(std::make_unique<V4l2Camera>(info.name, fd));
}

}  // namespace vexa::platform
