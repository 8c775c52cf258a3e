#include "decoded_audio.h"

#include <cmath>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "engine/ffmpeg_ptr.h"

namespace vexa::engine::testing {
namespace {

struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

void Append(SwrContext* swr, const AVFrame* frame, std::vector<float>& out) {
    const int room = swr_get_out_samples(swr, frame->nb_samples);
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(room));
    uint8_t* dst[] = {reinterpret_cast<uint8_t*>(out.data() + at)};
    const int n =
        swr_convert(swr, dst, room, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    out.resize(at + static_cast<size_t>(std::max(n, 0)));
}

}  // namespace

DecodedAudio DecodeAudioTrack(const std::string& path) {
    DecodedAudio result;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return result;
    const InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return result;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return result;
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!codec || !decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return result;
    }
    result.codec = stream->codecpar->codec_id;
    result.sample_rate = decoder->sample_rate;
    result.channels = decoder->ch_layout.nb_channels;

    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* s = nullptr;
    if (swr_alloc_set_opts2(&s, &mono, AV_SAMPLE_FMT_FLT, decoder->sample_rate, &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr) < 0) {
        return result;
    }
    std::unique_ptr<SwrContext, SwrDeleter> swr(s);
    // Average the channels rather than the default down-mix levels.
    std::vector<double> matrix(static_cast<size_t>(result.channels), 1.0 / result.channels);
    if (swr_set_matrix(swr.get(), matrix.data(), 1) < 0 || swr_init(swr.get()) < 0) return result;

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    int64_t end = 0;
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0)
            Append(swr.get(), frame.get(), result.samples);
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            end = std::max(end, packet->pts + packet->duration);
            if (avcodec_send_packet(decoder.get(), packet.get()) >= 0) receive();
        }
        av_packet_unref(packet.get());
    }
    (void)avcodec_send_packet(decoder.get(), nullptr);
    receive();
    result.duration = static_cast<double>(end) * av_q2d(stream->time_base);
    return result;
}

double ToneAmplitude(const std::vector<float>& samples, size_t from, size_t count, double frequency,
                     int rate) {
    const double w = 2 * std::numbers::pi * frequency / rate;
    double re = 0, im = 0;
    for (size_t i = 0; i < count && from + i < samples.size(); ++i) {
        re += samples[from + i] * std::cos(w * static_cast<double>(i));
        im -= samples[from + i] * std::sin(w * static_cast<double>(i));
    }
    return 2 * std::hypot(re, im) / static_cast<double>(count);
}

double Rms(const std::vector<float>& samples, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count && from + i < samples.size(); ++i)
        sum += samples[from + i] * samples[from + i];
    return std::sqrt(sum / static_cast<double>(count));
}

}  // namespace vexa::engine::testing
