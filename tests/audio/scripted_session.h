// A SoundSession whose clock, state flags and stop position the test sets by hand, and which keeps
// the packets the encoder produced instead of writing them.
#pragma once

#include <cstring>
#include <vector>

#include "engine/audio/sound_session.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace vexa::engine::testing {

struct KeptPacket {
    int64_t pts = 0;
    int64_t duration = 0;
    int stream_index = -1;
    std::vector<uint8_t> data;
};

class ScriptedSession final : public SoundSession {
  public:
    explicit ScriptedSession(AVRational time_base) : time_base_(time_base) {}

    platform::Waitable& StartGate() override { return gate; }
    void CountReady() override { ++ready; }
    int64_t SessionTimeNow() override { return now; }
    int64_t Frequency() const override { return kFrequency; }
    int64_t StopPosition() const override { return stop_position; }
    bool Started() const override { return started; }
    bool Stopped() const override { return stopped; }
    bool Paused() const override { return paused; }
    bool CaptureRunning() const override { return capture_running; }
    bool EncodeRunning() const override { return encode_running; }
    platform::Event& DataEvent() override { return data; }
    void QueuePacket(PacketNode* node) override {
        const AVPacket* p = node->packet;
        packets.push_back(
            {p->pts, p->duration, p->stream_index, std::vector<uint8_t>(p->data, p->data + p->size)});
        PacketPool::Instance().Give(node);
    }
    int StreamIndex() const override { return 0; }
    AVRational StreamTimeBase() const override { return time_base_; }

    // Session ticks of a duration in milliseconds.
    static constexpr int64_t Ms(int64_t ms) { return ms * 1'000'000; }
    // Stops the session at the current time: the stop position is now and encoding winds down.
    void StopNow() {
        stop_position = now;
        stopped = true;
        capture_running = false;
        encode_running = false;
    }
    // Every byte of every packet, in order.
    [[nodiscard]] std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> all;
        for (const KeptPacket& p : packets) all.insert(all.end(), p.data.begin(), p.data.end());
        return all;
    }
    template <typename T>
    [[nodiscard]] std::vector<T> Samples() const {
        const std::vector<uint8_t> bytes = Bytes();
        std::vector<T> out(bytes.size() / sizeof(T));
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
        return out;
    }

    static constexpr int64_t kFrequency = 1'000'000'000;
    platform::Semaphore gate;
    platform::Event data;
    int ready = 0;
    int64_t now = 0;
    int64_t stop_position = 0;
    bool started = true;
    bool stopped = false;
    bool paused = false;
    bool capture_running = true;
    bool encode_running = true;
    std::vector<KeptPacket> packets;

  private:
    AVRational time_base_;
};

}  // namespace vexa::engine::testing
