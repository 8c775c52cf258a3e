#include "engine/audio/sound_mixer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/av_error.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace vexa::engine {
namespace {

struct InOutDeleter {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

InOutPtr NewInOut(const char* name, AVFilterContext* filter, AVFilterInOut* next) {
    InOutPtr io(avfilter_inout_alloc());
    if (!io) return nullptr;
    io->name = av_strdup(name);
    io->filter_ctx = filter;
    io->pad_idx = 0;
    io->next = next;
    return io->name ? std::move(io) : nullptr;
}

bool SameLayout(const AVChannelLayout& layout, uint64_t mask) {
    return layout.order == AV_CHANNEL_ORDER_NATIVE && layout.u.mask == mask;
}

}  // namespace

std::string MixGraphText(int inputs) {
    std::string text;
    text.reserve(static_cast<size_t>(7 * inputs + 64));
    for (int i = 0; i < inputs; ++i) text += "[in" + std::to_string(i) + "]";
    return text + "amix=inputs=" + std::to_string(inputs) + "[out]";
}

std::string BufferSourceArgs(const AudioInput& input) {
    char args[256];
    const char* format = av_get_sample_fmt_name(input.sample_format);
    std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=0x%" PRIx64,
                  1, input.sample_rate, input.sample_rate, format ? format : "none", input.channel_layout);
    return args;
}

SoundMixer::~SoundMixer() {
    FreeBlocks(pending_);
    FreeBlocks(resampled_pool_);
    FreeBlocks(mixed_pool_);
    avfilter_graph_free(&graph_);
    swr_free(&resampler_);
}

Error SoundMixer::Build(AVCodecContext* encoder, std::span<AudioInput> inputs) {
    encoder_ = encoder;
    inputs_ = inputs;
    if (inputs.empty()) return Error(ErrorCode::kInvalidArgument, "no sound input to mix");
    if (!(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && encoder->frame_size > 0) {
        if (Error e = BuildStaging(); !e.ok()) return e;
    }
    if (inputs.size() > 1) return BuildGraph();
    AudioInput& in = inputs.front();
    const bool same = in.sample_format == encoder->sample_fmt && in.sample_rate == encoder->sample_rate &&
                      SameLayout(encoder->ch_layout, in.channel_layout);
    return same ? Error{} : BuildResampler(in);
}

Error SoundMixer::BuildStaging() {
    const std::string what = "cannot allocate the sound encoder's frame";
    staging_.reset(av_frame_alloc());
    if (!staging_) return AvError(AVERROR(ENOMEM), what);
    staging_->format = encoder_->sample_fmt;
    staging_->sample_rate = encoder_->sample_rate;
    staging_->nb_samples = encoder_->frame_size;
    if (int rc = av_channel_layout_copy(&staging_->ch_layout, &encoder_->ch_layout); rc < 0)
        return AvError(rc, what);
    if (int rc = av_frame_get_buffer(staging_.get(), 0); rc < 0) return AvError(rc, what);
    staged_ = 0;
    return {};
}

Error SoundMixer::BuildResampler(AudioInput& input) {
    const char* format = av_get_sample_fmt_name(input.sample_format);
    const std::string what = "cannot convert " + std::to_string(input.sample_rate) + " Hz " +
                             (format ? format : "?") + " sound for the encoder";
    AVChannelLayout in_layout{};
    if (int rc = av_channel_layout_from_mask(&in_layout, input.channel_layout); rc < 0)
        return AvError(rc, what);
    int r =
        swr_alloc_set_opts2(&resampler_, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                            &in_layout, input.sample_format, input.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in_layout);
    if (r >= 0) r = swr_init(resampler_);
    if (r < 0) return AvError(r, what);
    resampled_capacity_ = swr_get_out_samples(resampler_, static_cast<int>(input.buffer_frames));
    if (resampled_capacity_ <= 0)
        return AvError(resampled_capacity_ < 0 ? resampled_capacity_ : AVERROR(EINVAL), what);
    return {};
}

// Every step's failure names the graph and FFmpeg's reason.
Error SoundMixer::BuildGraph() {
    graph_text_ = MixGraphText(static_cast<int>(inputs_.size()));
    const std::string what = "cannot build the sound mix \"" + graph_text_ + "\"";
    graph_ = avfilter_graph_alloc();
    if (!graph_) return AvError(AVERROR(ENOMEM), what);
    sink_ = avfilter_graph_alloc_filter(graph_, avfilter_get_by_name("abuffersink"), "out");
    if (!sink_) return AvError(AVERROR_FILTER_NOT_FOUND, what);
    const int formats[] = {encoder_->sample_fmt, -1};
    const int rates[] = {encoder_->sample_rate, -1};
    char layout[128];
    int rc = av_channel_layout_describe(&encoder_->ch_layout, layout, sizeof layout);
    if (rc >= 0) rc = av_opt_set_int_list(sink_, "sample_fmts", formats, -1, AV_OPT_SEARCH_CHILDREN);
    if (rc >= 0) rc = av_opt_set_int_list(sink_, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN);
    if (rc >= 0) rc = av_opt_set(sink_, "ch_layouts", layout, AV_OPT_SEARCH_CHILDREN);
    if (rc >= 0) rc = avfilter_init_str(sink_, nullptr);
    if (rc < 0) return AvError(rc, what);
    const AVFilter* buffer = avfilter_get_by_name("abuffer");
    for (size_t i = 0; i < inputs_.size(); ++i) {
        AVFilterContext* source = nullptr;
        const std::string name = "in" + std::to_string(i);
        rc = avfilter_graph_create_filter(&source, buffer, name.c_str(), BufferSourceArgs(inputs_[i]).c_str(),
                                          nullptr, graph_);
        if (rc < 0) return AvError(rc, what);
        sources_.push_back(source);
    }
    // The sources' open outputs are labelled in0, in1, ...; the sink's open input "out".
    InOutPtr outputs;
    for (size_t i = sources_.size(); i-- > 0;) {
        outputs = NewInOut(("in" + std::to_string(i)).c_str(), sources_[i], outputs.release());
        if (!outputs) return AvError(AVERROR(ENOMEM), what);
    }
    InOutPtr sink_input = NewInOut("out", sink_, nullptr);
    if (!sink_input) return AvError(AVERROR(ENOMEM), what);
    AVFilterInOut* in = sink_input.release();
    AVFilterInOut* out = outputs.release();
    rc = avfilter_graph_parse_ptr(graph_, graph_text_.c_str(), &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    if (rc >= 0) rc = avfilter_graph_config(graph_, nullptr);
    if (rc < 0) return AvError(rc, what);
    return {};
}

int64_t SoundMixer::StopSamples() const {
    const int64_t ticks = std::max<int64_t>(0, session_->StopPosition());
    return av_rescale_rnd(ticks, encoder_->sample_rate, session_->Frequency(), AV_ROUND_DOWN);
}

uint32_t SoundMixer::Push(int m, AudioBlock* block, int64_t start) {
    uint32_t bits = 0;
    if (block) bits |= inputs_.size() == 1 ? Convert(block) : Filter(m, block, start);
    return bits | Release();
}

uint32_t SoundMixer::Convert(AudioBlock* block) {
    if (!resampler_) {
        pending_.PushBack(block);
        return 0;
    }
    AudioBlock* out = resampled_pool_.PopFront();
    if (out && !RenewAudioBlock(out, resampled_capacity_)) {
        delete out;
        out = nullptr;
    }
    if (!out) {
        out = NewAudioBlock(encoder_->sample_fmt, encoder_->ch_layout.u.mask, encoder_->sample_rate,
                            resampled_capacity_);
        if (out) out->home = BlockHome::kResampled;
    }
    if (!out) {
        inputs_[static_cast<size_t>(block->input)].GiveBack(block);
        return kPushError;
    }
    const int n = swr_convert(resampler_, out->frame->extended_data, resampled_capacity_,
                              const_cast<const uint8_t**>(block->frame->extended_data), block->Samples());
    inputs_[static_cast<size_t>(block->input)].GiveBack(block);
    if (n <= 0) {
        resampled_pool_.PushBack(out);
        return n < 0 ? kPushError : 0;
    }
    out->frame->nb_samples = n;
    pending_.PushBack(out);
    return 0;
}

uint32_t SoundMixer::Filter(int m, AudioBlock* block, int64_t start) {
    uint32_t bits = 0;
    block->frame->pts = start;
    if (av_buffersrc_add_frame_flags(sources_[static_cast<size_t>(m)], block->frame.get(),
                                     AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        bits |= kPushError;
    }
    inputs_[static_cast<size_t>(m)].GiveBack(block);
    for (;;) {
        AudioBlock* mixed = mixed_pool_.PopFront();
        if (!mixed) {
            auto fresh = std::make_unique<AudioBlock>();
            fresh->frame.reset(av_frame_alloc());
            if (!fresh->frame) return bits | kPushError;
            fresh->home = BlockHome::kMixed;
            mixed = fresh.release();
        }
        const int r = av_buffersink_get_frame(sink_, mixed->frame.get());
        if (r < 0) {
            mixed_pool_.PushBack(mixed);
            if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) bits |= kPushError;
            return bits;
        }
        pending_.PushBack(mixed);
    }
}

uint32_t SoundMixer::Release() {
    uint32_t bits = 0;
    const bool stopped = session_->Stopped();
    const int64_t stop = stopped ? StopSamples() : 0;
    while (AudioBlock* head = pending_.Front()) {
        const int64_t placed = output_position_ + staged_;
        if (stopped) {
            if (placed >= stop) return bits | kPushStopReached;
            if (placed + head->Samples() > stop) head->frame->nb_samples = static_cast<int>(stop - placed);
        } else if (clock_position_ < placed + head->Samples()) {
            break;  // a frame goes to the encoder only once the clock has passed its end
        }
        (void)pending_.PopFront();
        bits |= Encode(head);
        Recycle(head);
    }
    // Also when nothing is pending: the stream may already have reached the stop position.
    if (stopped && output_position_ + staged_ >= stop) bits |= kPushStopReached;
    return bits;
}

uint32_t SoundMixer::Encode(AudioBlock* head) {
    AVFrame* f = head->frame.get();
    const int n = f->nb_samples;
    if (n <= 0) return 0;
    const AVRational samples{1, encoder_->sample_rate};
    if (!staging_ || (staged_ == 0 && n == encoder_->frame_size)) {
        f->pts = av_rescale_q(output_position_, samples, encoder_->time_base);
        output_position_ += n;
        return SendFrame(f) ? 0 : kPushError;
    }
    uint32_t bits = 0;
    const int frame_size = encoder_->frame_size;
    for (int offset = 0; offset < n;) {
        if (staged_ == 0) {
            staging_->nb_samples = frame_size;
            if (av_frame_make_writable(staging_.get()) < 0) return bits | kPushError;
        }
        const int take = std::min(frame_size - staged_, n - offset);
        av_samples_copy(staging_->extended_data, f->extended_data, staged_, offset, take,
                        encoder_->ch_layout.nb_channels, encoder_->sample_fmt);
        staged_ += take;
        offset += take;
        if (staged_ == frame_size) {
            staging_->pts = av_rescale_q(output_position_, samples, encoder_->time_base);
            output_position_ += frame_size;
            staged_ = 0;
            if (!SendFrame(staging_.get())) bits |= kPushError;
        }
    }
    return bits;
}

bool SoundMixer::SendFrame(AVFrame* frame) {
    int r = avcodec_send_frame(encoder_, frame);
    if (r == AVERROR(EAGAIN)) {  // packets are waiting: take them, then the frame fits
        if (!DrainEncoder(false)) return false;
        r = avcodec_send_frame(encoder_, frame);
    }
    const bool sent = r >= 0 || r == AVERROR_EOF;
    return DrainEncoder(true) && sent;
}

bool SoundMixer::DrainEncoder(bool single_packet) {
    PacketPool& pool = PacketPool::Instance();
    do {
        PacketNode* node = pool.Take();
        if (!node) return false;
        const int r = avcodec_receive_packet(encoder_, node->packet);
        if (r < 0) {
            pool.Give(node);
            return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
        }
        node->packet->stream_index = session_->StreamIndex();
        av_packet_rescale_ts(node->packet, encoder_->time_base, session_->StreamTimeBase());
        session_->QueuePacket(node);
    } while (!single_packet);
    return true;
}

void SoundMixer::Finish() {
    (void)avcodec_send_frame(encoder_, nullptr);
    (void)DrainEncoder(false);
}

void SoundMixer::Recycle(AudioBlock* block) {
    switch (block->home) {
        case BlockHome::kInput:
            inputs_[static_cast<size_t>(block->input)].GiveBack(block);
            break;
        case BlockHome::kResampled:
            resampled_pool_.PushBack(block);
            break;
        case BlockHome::kMixed:
            av_frame_unref(block->frame.get());
            mixed_pool_.PushBack(block);
            break;
    }
}

}  // namespace vexa::engine
