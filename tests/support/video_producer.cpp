#include "tests/support/video_producer.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <thread>

namespace vexa::test {
namespace {

constexpr int kDamageRegions = 16;

class LoopLock {
  public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pw_thread_loop* loop_;
};

const spa_pod* FormatParam(spa_pod_builder& b, int width, int height) {
    spa_rectangle size{static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    spa_fraction rate{0, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
}

}  // namespace

std::unique_ptr<VideoProducer> VideoProducer::Start(int width, int height, int cursor_room) {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    std::unique_ptr<VideoProducer> p(new VideoProducer());
    p->width_ = width;
    p->height_ = height;
    p->cursor_room_ = cursor_room;
    p->loop_ = pw_thread_loop_new("vexa-test-src", nullptr);
    if (!p->loop_) return nullptr;
    p->context_ = pw_context_new(pw_thread_loop_get_loop(p->loop_), nullptr, 0);
    if (!p->context_ || pw_thread_loop_start(p->loop_) < 0) return nullptr;
    LoopLock lock(p->loop_);
    p->core_ = pw_context_connect(p->context_, nullptr, 0);
    if (!p->core_) return nullptr;
    p->stream_ = pw_stream_new(p->core_, "vexa-test-screen",
                               pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE,
                                                 "Video", PW_KEY_MEDIA_CATEGORY, "Source", nullptr));
    if (!p->stream_) return nullptr;
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = &VideoProducer::OnStateChanged;
        e.param_changed = &VideoProducer::OnParamChanged;
        return e;
    }();
    pw_stream_add_listener(p->stream_, &p->listener_, &events, p.get());
    std::array<uint8_t, 512> storage{};
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage.data(), static_cast<uint32_t>(storage.size()));
    const spa_pod* format = FormatParam(b, width, height);
    if (pw_stream_connect(p->stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          &format, 1) < 0)
        return nullptr;
    return p;
}

VideoProducer::~VideoProducer() {
    if (loop_) pw_thread_loop_stop(loop_);
    if (stream_) pw_stream_destroy(stream_);
    if (core_) pw_core_disconnect(core_);
    if (context_) pw_context_destroy(context_);
    if (loop_) pw_thread_loop_destroy(loop_);
}

uint32_t VideoProducer::NodeId() {
    for (int i = 0; i < 500; ++i) {
        {
            LoopLock lock(loop_);
            const uint32_t id = pw_stream_get_node_id(stream_);
            if (id != SPA_ID_INVALID) return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

bool VideoProducer::WaitStreaming(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        {
            LoopLock lock(loop_);
            if (streaming_) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void VideoProducer::OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    static_cast<VideoProducer*>(data)->streaming_ = state == PW_STREAM_STATE_STREAMING;
}

void VideoProducer::OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* self = static_cast<VideoProducer*>(data);
    if (id != SPA_PARAM_Format || !param) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    const int stride = static_cast<int>(info.size.width) * 4;
    const int size = stride * static_cast<int>(info.size.height);
    const int cursor = static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) +
                       self->cursor_room_ * self->cursor_room_ * 4;
    std::array<uint8_t, 1024> storage{};
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage.data(), static_cast<uint32_t>(storage.size()));
    std::array<const spa_pod*, 4> params = {
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(size), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride),
            SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header))))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
            SPA_POD_Int(static_cast<int>(sizeof(spa_meta_region)) * kDamageRegions))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size, SPA_POD_Int(cursor))),
    };
    pw_stream_update_params(self->stream_, params.data(), static_cast<uint32_t>(params.size()));
}

bool VideoProducer::Send(const ProducedPicture& picture) {
    LoopLock lock(loop_);
    pw_buffer* b = pw_stream_dequeue_buffer(stream_);
    if (!b) return false;
    spa_buffer* sb = b->buffer;
    spa_data& d = sb->datas[0];
    const int stride = width_ * 4;
    // Right after a resize the old, smaller buffers are still handed out until the new format's
    // buffers arrive: none of them can hold the new picture.
    if (!d.data || d.maxsize < static_cast<uint32_t>(stride * height_)) {
        if (d.chunk) d.chunk->size = 0;  // goes back empty: no picture in it
        pw_stream_queue_buffer(stream_, b);
        return false;
    }
    d.chunk->offset = 0;
    d.chunk->stride = stride;
    d.chunk->flags = 0;
    d.chunk->size = picture.cursor_only ? 0 : static_cast<uint32_t>(stride * height_);
    if (!picture.cursor_only && picture.paint)
        picture.paint(static_cast<uint8_t*>(d.data), stride, width_, height_);

    if (spa_meta* meta = spa_buffer_find_meta(sb, SPA_META_VideoDamage)) {
        auto* regions = static_cast<spa_meta_region*>(meta->data);
        const size_t capacity = meta->size / sizeof(spa_meta_region);
        size_t n = 0;
        for (; n < picture.damage.size() && n + 1 < capacity; ++n) {
            const auto& r = picture.damage[n];
            regions[n].region = {{r.x, r.y},
                                 {static_cast<uint32_t>(r.width), static_cast<uint32_t>(r.height)}};
        }
        if (n < capacity) regions[n].region = {{0, 0}, {0, 0}};
    }
    if (auto* c = static_cast<spa_meta_cursor*>(
            spa_buffer_find_meta_data(sb, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        std::memset(c, 0, sizeof *c);
        if (picture.cursor) {
            const ProducedCursor& pc = *picture.cursor;
            const int side = std::min(pc.size, cursor_room_);
            c->id = pc.absent ? 0 : 1;
            c->position = {pc.x, pc.y};
            c->hotspot = {pc.hot_x, pc.hot_y};
            if (side > 0 || pc.invisible) {
                c->bitmap_offset = sizeof(spa_meta_cursor);
                auto* bm = SPA_PTROFF(c, c->bitmap_offset, spa_meta_bitmap);
                bm->format = SPA_VIDEO_FORMAT_RGBA;
                bm->size = {static_cast<uint32_t>(side), static_cast<uint32_t>(side)};
                bm->stride = side * 4;
                bm->offset = pc.invisible ? 0 : sizeof(spa_meta_bitmap);
                auto* px = SPA_PTROFF(bm, sizeof(spa_meta_bitmap), uint8_t);
                for (int i = 0; !pc.invisible && i < side * side; ++i) {
                    const uint32_t v = pc.pixel ? pc.pixel(i % side, i / side) : pc.bgra;
                    px[i * 4 + 0] = static_cast<uint8_t>(v >> 16);
                    px[i * 4 + 1] = static_cast<uint8_t>(v >> 8);
                    px[i * 4 + 2] = static_cast<uint8_t>(v);
                    px[i * 4 + 3] = static_cast<uint8_t>(v >> 24);
                }
            }
        }
    }
    pw_stream_queue_buffer(stream_, b);
    pw_stream_trigger_process(stream_);
    return true;
}

void VideoProducer::Resize(int width, int height) {
    LoopLock lock(loop_);
    width_ = width;
    height_ = height;
    std::array<uint8_t, 512> storage{};
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage.data(), static_cast<uint32_t>(storage.size()));
    const spa_pod* format = FormatParam(b, width, height);
    pw_stream_update_params(stream_, &format, 1);
}

}  // namespace vexa::test
