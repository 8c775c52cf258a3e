#include "engine/held_packet.h"

#include <cmath>
#include <cstring>

#include "engine/screen/repeat_picture.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace vexa::engine {

HeldPacketDrain::HeldPacketDrain(CCapture& session, AVCodecContext* encoder, AVStream* stream)
    : session_(session), encoder_(encoder), stream_(stream) {}

HeldPacketDrain::~HeldPacketDrain() {
    PacketPool::Instance().Give(held_);
}

bool HeldPacketDrain::Drain(bool drain_all) {
    PacketPool& pool = PacketPool::Instance();
    do {
        PacketNode* node = pool.Take();
        if (!node) return false;
        const int rc = avcodec_receive_packet(encoder_, node->packet);
        if (rc < 0) {
            pool.Give(node);
            return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
        }
        if (node->packet->pts < skip_before_) {  // a warm-up picture: never part of the file
            pool.Give(node);
            drain_all = true;  // the packet asked for may still be behind it
            continue;
        }
        if (av_cmp_q(encoder_->time_base, stream_->time_base) != 0)
            av_packet_rescale_ts(node->packet, encoder_->time_base, stream_->time_base);
        if (held_) QueueHeld(node->packet->pts);
        if (repeats_) Renumber(node->packet);
        node->packet->stream_index = stream_->index;
        held_ = node;
    } while (drain_all);
    return true;
}

void HeldPacketDrain::FinishAtTime(int64_t end_time) {
    const AVRational tb = stream_->time_base;
    FinishAt(std::llround(static_cast<double>(end_time) * tb.den / tb.num /
                          static_cast<double>(session_.Frequency())));
}

void HeldPacketDrain::FinishAt(int64_t end_pts) {
    if (!held_) return;
    if (period_ > 0) {
        // The last grid place not after the end (a file never longer than the variable-rate one),
        // at least one period after the last picture.
        const int64_t start = held_->packet->pts;
        const int64_t period = StreamPeriod();
        end_pts = start + std::max<int64_t>(1, (end_pts - start) / period) * period;
    }
    QueueHeld(end_pts);
}

// The stream's time base is final only once the header is written.
int64_t HeldPacketDrain::StreamPeriod() const {
    return av_rescale_q(period_, encoder_->time_base, stream_->time_base);
}

void HeldPacketDrain::SetConstantRate(int64_t period, RepeatPicture* repeats) {
    period_ = period;
    repeats_ = period > 0 ? repeats : nullptr;
}

void HeldPacketDrain::QueueHeld(int64_t next_pts) {
    PacketNode* last = held_;
    held_ = nullptr;
    if (repeats_) {
        // A repeat for each grid place left before the next picture; without a node the last
        // picture simply lasts longer.
        const int64_t period = StreamPeriod();
        while (last->packet->pts + period + period / 2 < next_pts) {
            PacketNode* repeat = MakeRepeat(last->packet->pts + period);
            if (!repeat) break;
            last->packet->duration = period;
            session_.QueuePacket(last);
            last = repeat;
        }
    }
    last->packet->duration = next_pts - last->packet->pts;
    session_.QueuePacket(last);
}

PacketNode* HeldPacketDrain::MakeRepeat(int64_t pts) {
    PacketNode* node = PacketPool::Instance().Take();
    if (!node) return nullptr;
    const std::vector<uint8_t> picture = repeats_->Next();
    if (av_new_packet(node->packet, static_cast<int>(picture.size())) < 0) {
        PacketPool::Instance().Give(node);
        return nullptr;
    }
    std::memcpy(node->packet->data, picture.data(), picture.size());
    node->packet->pts = node->packet->dts = pts;
    node->packet->stream_index = stream_->index;
    return node;
}

// A picture the encoder numbered without the repeats gets the numbers that follow them. When that
// fails, no more repeats are written: the last picture lasts until the next, as without the option.
void HeldPacketDrain::Renumber(AVPacket* packet) {
    const Error e = repeats_->Follow({packet->data, static_cast<size_t>(packet->size)}, renumbered_);
    if (!e.ok()) {
        log::Failure(e, "constant rate: no more repeated pictures");
        repeats_ = nullptr;
        return;
    }
    if (renumbered_.empty()) return;
    AVBufferRef* buffer = av_buffer_alloc(renumbered_.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    if (!buffer) {  // the picture cannot be renumbered: the repeats stop here
        log::Warning("constant rate: out of memory, no more repeated pictures");
        repeats_ = nullptr;
        return;
    }
    std::memcpy(buffer->data, renumbered_.data(), renumbered_.size());
    std::memset(buffer->data + renumbered_.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    av_buffer_unref(&packet->buf);
    packet->buf = buffer;
    packet->data = buffer->data;
    packet->size = static_cast<int>(renumbered_.size());
}

}  // namespace vexa::engine
