#include "engine/held_packet.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace vexa::engine {

HeldPacketDrain::HeldPacketDrain(CCapture& session, AVCodecContext* encoder, AVStream* stream, bool rescale)
    : session_(session), encoder_(encoder), stream_(stream), rescale_(rescale) {}

HeldPacketDrain::~HeldPacketDrain() { PacketPool::Instance().Give(held_); }

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
        if (rescale_) av_packet_rescale_ts(node->packet, encoder_->time_base, stream_->time_base);
        if (held_) {
            held_->packet->duration = node->packet->pts - held_->packet->pts;
            session_.QueuePacket(held_);
        }
        node->packet->stream_index = stream_->index;
        held_ = node;
    } while (drain_all);
    return true;
}

void HeldPacketDrain::FinishAt(int64_t end_pts) {
    if (!held_) return;
    held_->packet->duration = end_pts - held_->packet->pts;
    session_.QueuePacket(held_);
    held_ = nullptr;
}

}  // namespace vexa::engine
