// vexa-av-align: measures how well sound and picture line up in a screen recording with sound.
// It records a small screen region and the default speaker, and once a second draws a white flash
// into the region while a 1 kHz beep plays through the speaker at the same moment (the beep is
// queued behind the playback stream's latency and the flash is drawn when the beep is due). Then it
// finds the flashes in the video and the beeps in the sound and prints their offsets, the drift
// between the first and the last pair, and the durations of both tracks.
//
// Usage: vexa-av-align [SECONDS] [OUTPUT.mp4]   (needs a display and a sound server)
#include <X11/Xlib.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture.h"
#include "platform/audio/audio_system.h"
#include "tests/audio/decoded_audio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int kChunk = kRate / 100;  // 10 ms
constexpr int kSide = 256;           // the flashing square, at the screen's top-left corner

// Plays silence continuously and a 100 ms beep on request; tells when the beep will be heard.
class Beeper {
  public:
    Beeper() {
        pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = kChunk * 4 * 3;  // 30 ms ahead
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        simple_ = pa_simple_new(nullptr, "vexa-av-align", PA_STREAM_PLAYBACK, nullptr, "beeps", &spec,
                                nullptr, &attr, nullptr);
        if (simple_) thread_ = std::thread([this] { Run(); });
    }
    ~Beeper() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (simple_) pa_simple_free(simple_);
    }
    Beeper(const Beeper&) = delete;
    Beeper& operator=(const Beeper&) = delete;
    [[nodiscard]] bool Ok() const { return simple_ != nullptr; }

    // Queues a beep; returns the moment it will be heard.
    Clock::time_point Beep() {
        due_ready_ = false;
        beep_ = true;
        while (!due_ready_) std::this_thread::sleep_for(std::chrono::microseconds(200));
        return due_;
    }

  private:
    void Run() {
        std::vector<int16_t> silence(2 * kChunk, 0), tone(2 * kChunk);
        int beep_chunks = 0;
        int64_t phase = 0;
        while (running_) {
            if (beep_.exchange(false)) {
                int error = 0;
                const pa_usec_t latency = pa_simple_get_latency(simple_, &error);
                due_ = Clock::now() + std::chrono::microseconds(latency);
                if (std::getenv("VEXA_AV_VERBOSE"))
                    std::printf("playback latency %.1f ms\n", latency / 1000.0);
                due_ready_ = true;
                beep_chunks = 10;
                phase = 0;
            }
            const std::vector<int16_t>* chunk = &silence;
            if (beep_chunks > 0) {
                for (int i = 0; i < kChunk; ++i, ++phase) {
                    const auto v =
                        static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000 * phase / kRate));
                    tone[2 * static_cast<size_t>(i)] = tone[2 * static_cast<size_t>(i) + 1] = v;
                }
                chunk = &tone;
                --beep_chunks;
            }
            int error = 0;
            if (pa_simple_write(simple_, chunk->data(), chunk->size() * sizeof(int16_t), &error) < 0) return;
        }
    }

    pa_simple* simple_ = nullptr;
    std::thread thread_;
    std::atomic<bool> running_{true};
    std::atomic<bool> beep_{false};
    std::atomic<bool> due_ready_{false};
    Clock::time_point due_;
};

class FlashWindow {
  public:
    FlashWindow() {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = BlackPixel(display_, DefaultScreen(display_));
        window_ = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, kSide, kSide, 0, CopyFromParent,
                                InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XMapRaised(display_, window_);
        Fill(false);
    }
    ~FlashWindow() {
        if (!display_) return;
        XFreeGC(display_, gc_);
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    FlashWindow(const FlashWindow&) = delete;
    FlashWindow& operator=(const FlashWindow&) = delete;
    [[nodiscard]] bool Ok() const { return display_ != nullptr; }

    void Fill(bool white) {
        const int screen = DefaultScreen(display_);
        XSetForeground(display_, gc_, white ? WhitePixel(display_, screen) : BlackPixel(display_, screen));
        XFillRectangle(display_, window_, gc_, 0, 0, kSide, kSide);
        XSync(display_, False);
    }

  private:
    Display* display_ = nullptr;
    Window window_ = 0;
    GC gc_ = nullptr;
};

struct VideoTrack {
    std::vector<double> flash_onsets;
    double duration = 0;
};

// Mean luma of each frame; a flash begins where it rises above the midpoint.
VideoTrack ReadFlashes(const std::string& path) {
    VideoTrack track;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return track;
    if (avformat_find_stream_info(input, nullptr) < 0) return track;
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return track;
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool lit = false;
    int64_t end = 0;
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            double sum = 0;
            for (int y = 0; y < frame->height; ++y) {
                for (int x = 0; x < frame->width; ++x) sum += frame->data[0][y * frame->linesize[0] + x];
            }
            const double mean = sum / (frame->width * frame->height);
            const double t = static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream->time_base);
            if (!lit && mean > 128) track.flash_onsets.push_back(t);
            lit = mean > 128;
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == index) {
            end = std::max(end, packet->pts + packet->duration);
            if (avcodec_send_packet(decoder, packet) >= 0) receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    track.duration = static_cast<double>(end) * av_q2d(stream->time_base);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
    return track;
}

// A beep begins at the first loud sample after at least 200 ms of quiet.
std::vector<double> ReadBeeps(const vexa::engine::testing::DecodedAudio& audio) {
    std::vector<double> onsets;
    size_t quiet = 0;
    const auto needed = static_cast<size_t>(audio.sample_rate / 5);
    for (size_t i = 0; i < audio.samples.size(); ++i) {
        if (std::fabs(audio.samples[i]) > 0.15f) {
            if (quiet >= needed) onsets.push_back(static_cast<double>(i) / audio.sample_rate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    const std::string path = argc > 2 ? argv[2] : "/tmp/vexa-av-align.mp4";
    FlashWindow window;
    Beeper beeper;
    if (!window.Ok() || !beeper.Ok()) {
        std::fprintf(stderr, "vexa-av-align: needs a display and a sound server\n");
        return 2;
    }
    auto created = vexa::engine::CCapture::Create(path);
    std::vector<vexa::engine::SoundSourceEntry> entries;
    // The default speaker by its name: the first of the server's list.
    const auto system = vexa::platform::ConnectSoundServer();
    if (!created.ok() || !system.ok()) return 2;
    const auto speakers = (*system)->ListDevices(vexa::platform::AudioDeviceKind::kSpeaker);
    if (speakers.empty()) return 2;
    std::unique_ptr<vexa::engine::CCapture> session = std::move(created).value();
    static const int row = 0;
    entries.push_back({0, 100, speakers[0].id.c_str(), &row});
    entries.push_back(vexa::engine::SoundSourceEntry{});
    vexa::Error started =
        session->AddAudioStream("libmp3lame", vexa::engine::AudioRateTriple(vexa::engine::AudioBitRateA(70)),
                                entries.data(), **system);
    if (started.ok())
        started = session->AddScreenStream(25, vexa::engine::kVideoBitRate, 30, false, {0, 0, kSide, kSide});
    if (started.ok()) started = session->Start();
    if (!started.ok()) {
        std::fprintf(stderr, "vexa-av-align: the recording did not start: %s\n", started.message().c_str());
        return 1;
    }
    std::vector<Clock::time_point> drawn;  // when each flash was drawn (and its beep was due)
    for (int s = 1; s < seconds; ++s) {
        std::this_thread::sleep_for(std::chrono::milliseconds(850));
        std::this_thread::sleep_until(beeper.Beep());
        drawn.push_back(Clock::now());
        window.Fill(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        window.Fill(false);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session.reset();

    const VideoTrack video = ReadFlashes(path);
    const auto audio = vexa::engine::testing::DecodeAudioTrack(path);
    const std::vector<double> beeps = ReadBeeps(audio);
    if (std::getenv("VEXA_AV_VERBOSE")) {
        for (double f : video.flash_onsets) std::printf("flash %.3f\n", f);
        for (double b : beeps) std::printf("beep %.3f\n", b);
    }
    std::vector<double> offsets;
    for (double flash : video.flash_onsets) {
        auto nearest = std::min_element(beeps.begin(), beeps.end(), [&](double a, double b) {
            return std::fabs(a - flash) < std::fabs(b - flash);
        });
        if (nearest != beeps.end() && std::fabs(*nearest - flash) < 0.4)
            offsets.push_back((*nearest - flash) * 1000);
    }
    std::printf("flashes %zu, beeps %zu, pairs %zu\n", video.flash_onsets.size(), beeps.size(),
                offsets.size());
    if (offsets.empty()) return 1;
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    std::printf(
        "offset audio - video (ms): median |offset| %.1f, first %.1f, last %.1f, min %.1f, max %.1f\n",
        std::fabs(sorted[sorted.size() / 2]), offsets.front(), offsets.back(),
        *std::min_element(offsets.begin(), offsets.end()), *std::max_element(offsets.begin(), offsets.end()));
    std::printf("drift (last - first): %.1f ms\n", offsets.back() - offsets.front());
    // Which track drifts: each track's span between its first and last event against the span
    // between the first and last flash as drawn.
    if (drawn.size() == video.flash_onsets.size() && drawn.size() == beeps.size() && drawn.size() > 1) {
        const double real = std::chrono::duration<double>(drawn.back() - drawn.front()).count();
        std::printf("span against the clock: video %+.1f ms, audio %+.1f ms over %.0f s\n",
                    (video.flash_onsets.back() - video.flash_onsets.front() - real) * 1000,
                    (beeps.back() - beeps.front() - real) * 1000, real);
    }
    std::printf("durations: audio %.3f s, video %.3f s, difference %.1f ms\n", audio.duration, video.duration,
                (audio.duration - video.duration) * 1000);
    return 0;
}
