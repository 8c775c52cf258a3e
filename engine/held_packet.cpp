#include "engine/held_packet.h"

#include <cmath>

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
        if (av_cmp_q(encoder_->time_base, stream_->time_base) != 0)
            av_packet_rescale_ts(node->packet, encoder_->time_base, stream_->time_base);
        if (held_) {
            held_->packet->duration = node->packet->pts - held_->packet->pts;
            session_.QueuePacket(held_);
        }
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
    held_->packet->duration = end_pts - held_->packet->pts;
    session_.QueuePacket(held_);
    held_ = nullptr;
}

}  // namespace vexa::engine
