#include "tests/ui/sparse_recording.h"

#include <stdexcept>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vexa::test {
namespace {

constexpr int kRate = 48000;
constexpr int64_t kFrameSamples = 1536;  // one AC-3 frame
constexpr int64_t kStepSeconds = 10 * 3600;

void Check(int result, const char* what) {
    if (result < 0) throw std::runtime_error(std::string("sparse recording: ") + what + " failed");
}

// One encoded AC-3 frame of silence and the encoder's parameters, made once.
struct SilentFrame {
    std::vector<uint8_t> bytes;
    AVCodecParameters* parameters = nullptr;  // kept for the process
};

SilentFrame EncodeSilence() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
    if (!codec) throw std::runtime_error("sparse recording: no AC-3 encoder");
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->sample_rate = kRate;
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&encoder->ch_layout, 2);
    encoder->bit_rate = 96000;
    encoder->time_base = {1, kRate};
    Check(avcodec_open2(encoder, codec, nullptr), "opening the encoder");
    AVFrame* frame = av_frame_alloc();
    frame->nb_samples = encoder->frame_size;
    frame->format = encoder->sample_fmt;
    Check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout), "copying the layout");
    Check(av_frame_get_buffer(frame, 0), "a frame buffer");
    Check(av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, 2, encoder->sample_fmt),
          "silence");
    frame->pts = 0;
    Check(avcodec_send_frame(encoder, frame), "encoding");
    Check(avcodec_send_frame(encoder, nullptr), "flushing");
    AVPacket* packet = av_packet_alloc();
    Check(avcodec_receive_packet(encoder, packet), "receiving a packet");
    SilentFrame result{std::vector<uint8_t>(packet->data, packet->data + packet->size),
                       avcodec_parameters_alloc()};
    Check(avcodec_parameters_from_context(result.parameters, encoder), "parameters");
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    return result;
}

const SilentFrame& Silence() {
    static const SilentFrame silence = EncodeSilence();
    return silence;
}

// Packet start times in samples: 0, every `step` samples, and the last one ending at the duration.
std::vector<int64_t> PacketTimes(std::chrono::seconds duration, int64_t step) {
    const int64_t end = duration.count() * kRate;
    std::vector<int64_t> times = {0};
    for (int64_t t = step; t < end - kFrameSamples; t += step) times.push_back(t);
    if (end - kFrameSamples > times.back()) times.push_back(end - kFrameSamples);
    return times;
}

// Options of the muxer: none for a regular file; for a fragmented one, fragments of one second.
void WriteRecording(const std::string& path, const std::vector<int64_t>& times, bool fragmented = false) {
    const SilentFrame& silent = Silence();
    AVFormatContext* output = nullptr;
    Check(avformat_alloc_output_context2(&output, nullptr, "mp4", path.c_str()), "choosing MP4");
    AVStream* stream = avformat_new_stream(output, nullptr);
    Check(avcodec_parameters_copy(stream->codecpar, silent.parameters), "stream parameters");
    stream->time_base = {1, kRate};
    Check(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), "opening the file");
    AVDictionary* options = nullptr;
    if (fragmented) {
        av_dict_set(&options, "movflags", "+empty_moov+delay_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", "1000000", 0);
    }
    const int header = avformat_write_header(output, &options);
    av_dict_free(&options);
    Check(header, "writing the header");
    AVPacket* packet = av_packet_alloc();
    for (const int64_t time : times) {
        Check(av_new_packet(packet, static_cast<int>(silent.bytes.size())), "a packet");
        std::copy(silent.bytes.begin(), silent.bytes.end(), packet->data);
        packet->pts = packet->dts = av_rescale_q(time, {1, kRate}, stream->time_base);
        packet->duration = av_rescale_q(kFrameSamples, {1, kRate}, stream->time_base);
        packet->stream_index = 0;
        Check(av_write_frame(output, packet), "writing a packet");
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    Check(av_write_trailer(output), "writing the trailer");
    avio_closep(&output->pb);
    avformat_free_context(output);
}

}  // namespace

void WriteSparseRecording(const std::string& path, std::chrono::seconds duration) {
    WriteRecording(path, PacketTimes(duration, kStepSeconds * kRate));
}

void WriteDenseRecording(const std::string& path, std::chrono::seconds duration) {
    WriteRecording(path, PacketTimes(duration, kFrameSamples));
}

void WriteFragmentedRecording(const std::string& path, std::chrono::seconds duration) {
    WriteRecording(path, PacketTimes(duration, kFrameSamples), true);
}

}  // namespace vexa::test
