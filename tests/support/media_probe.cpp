#include "tests/support/media_probe.h"

#include <algorithm>

#include "tests/support/run_command.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vexa::test {
namespace {

struct Input {
    AVFormatContext* ctx = nullptr;
    ~Input() { avformat_close_input(&ctx); }
    bool Open(const std::string& path) {
        return avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) == 0 &&
               avformat_find_stream_info(ctx, nullptr) >= 0;
    }
};

struct Decoder {
    AVCodecContext* ctx = nullptr;
    ~Decoder() { avcodec_free_context(&ctx); }
    bool Open(const AVStream* stream) {
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) return false;
        ctx = avcodec_alloc_context3(codec);
        return ctx && avcodec_parameters_to_context(ctx, stream->codecpar) >= 0 &&
               avcodec_open2(ctx, codec, nullptr) >= 0;
    }
};

// Feeds every packet of one stream through the decoder and calls on_frame for each output.
template <typename OnFrame>
void DecodeStream(Input& in, int index, Decoder& dec, OnFrame&& on_frame) {
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(dec.ctx, frame) >= 0) {
            on_frame(frame);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(in.ctx, pkt) >= 0) {
        if (pkt->stream_index == index && avcodec_send_packet(dec.ctx, pkt) >= 0) drain();
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec.ctx, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&pkt);
}

int FindStream(AVFormatContext* ctx, AVMediaType type) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (ctx->streams[i]->codecpar->codec_type == type) return static_cast<int>(i);
    return -1;
}

}  // namespace

std::vector<ProbedPacket> ProbedFile::PacketsOf(int stream) const {
    std::vector<ProbedPacket> out;
    for (const ProbedPacket& p : packets)
        if (p.stream == stream) out.push_back(p);
    return out;
}

double ProbedFile::StreamEndSeconds(int stream) const {
    int64_t end = 0;
    for (const ProbedPacket& p : packets)
        if (p.stream == stream) end = std::max(end, p.pts + p.duration);
    const ProbedStream& s = streams.at(static_cast<size_t>(stream));
    return static_cast<double>(end) * s.tb_num / s.tb_den;
}

int ProbedFile::FirstStreamOf(bool video) const {
    for (size_t i = 0; i < streams.size(); ++i)
        if (streams[i].video == video) return static_cast<int>(i);
    return -1;
}

std::optional<ProbedFile> ProbeFile(const std::string& path) {
    Input in;
    if (!in.Open(path)) return std::nullopt;
    ProbedFile file;
    for (unsigned i = 0; i < in.ctx->nb_streams; ++i) {
        const AVStream* st = in.ctx->streams[i];
        ProbedStream s;
        s.codec = avcodec_get_name(st->codecpar->codec_id);
        s.video = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        s.width = st->codecpar->width;
        s.height = st->codecpar->height;
        s.sample_rate = st->codecpar->sample_rate;
        s.channels = st->codecpar->ch_layout.nb_channels;
        s.tb_num = st->time_base.num;
        s.tb_den = st->time_base.den;
        file.streams.push_back(s);
    }
    if (in.ctx->duration != AV_NOPTS_VALUE)
        file.duration_seconds = static_cast<double>(in.ctx->duration) / AV_TIME_BASE;
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(in.ctx, pkt) >= 0) {
        file.packets.push_back({pkt->stream_index, pkt->pts, pkt->dts, pkt->duration,
                                (pkt->flags & AV_PKT_FLAG_KEY) != 0, pkt->pos});
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    return file;
}

std::vector<GreyPicture> DecodeVideo(const std::string& path) {
    std::vector<GreyPicture> pictures;
    Input in;
    if (!in.Open(path)) return pictures;
    const int index = FindStream(in.ctx, AVMEDIA_TYPE_VIDEO);
    Decoder dec;
    if (index < 0 || !dec.Open(in.ctx->streams[index])) return pictures;
    DecodeStream(in, index, dec, [&](const AVFrame* f) {
        GreyPicture p;
        p.width = f->width;
        p.height = f->height;
        p.pts = f->pts;
        p.luma.resize(static_cast<size_t>(f->width) * f->height);
        SwsContext* sws = sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                         f->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* dst[1] = {p.luma.data()};
        const int lines[1] = {f->width};
        sws_scale(sws, f->data, f->linesize, 0, f->height, dst, lines);
        sws_freeContext(sws);
        pictures.push_back(std::move(p));
    });
    return pictures;
}

std::optional<DecodedSound> DecodeSound(const std::string& path) {
    Input in;
    if (!in.Open(path)) return std::nullopt;
    const int index = FindStream(in.ctx, AVMEDIA_TYPE_AUDIO);
    Decoder dec;
    if (index < 0 || !dec.Open(in.ctx->streams[index])) return std::nullopt;
    DecodedSound sound;
    sound.sample_rate = dec.ctx->sample_rate;
    SwrContext* swr = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    DecodeStream(in, index, dec, [&](const AVFrame* f) {
        if (!swr) {
            swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_FLT, f->sample_rate,
                                const_cast<AVChannelLayout*>(&f->ch_layout),
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
            swr_init(swr);
        }
        const size_t at = sound.samples.size();
        sound.samples.resize(at + static_cast<size_t>(f->nb_samples));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(sound.samples.data() + at)};
        const int got = swr_convert(swr, out, f->nb_samples, const_cast<const uint8_t**>(f->extended_data),
                                    f->nb_samples);
        sound.samples.resize(at + static_cast<size_t>(std::max(got, 0)));
    });
    swr_free(&swr);
    return sound;
}

std::string FfprobeDecodeErrors(const std::string& path) {
    const CommandResult r =
        RunCommand("ffprobe -v error -show_frames -of compact '" + path + "' 2>&1 >/dev/null");
    return r.exit_code == 0 ? r.out : "ffprobe exit " + std::to_string(r.exit_code) + ": " + r.out;
}

}  // namespace vexa::test
