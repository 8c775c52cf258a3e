// A scripted sound server for tests: devices with the formats they accept, their own (mix) format,
// scripted answers to Initialize, and packets the test queues (with gaps, silent and discontinuity
// flags) that the capture reads in order. Time is the test's own (a ManualClock in the session).
//
// Ownership: the system owns its devices; clients share the device they were opened from, so a
// device outlives the system while a client uses it. Thread-safety: every call is thread-safe (one
// mutex per device), so a test may queue packets while a capture thread reads them.
#pragma once

#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/audio_system.h"

namespace vexa::platform {

struct FakeDeviceScript {
    AudioDeviceKind kind = AudioDeviceKind::kSpeaker;
    std::string id;
    std::string name;
    std::vector<AudioFormat> accepted;       // answered kAccepted
    std::vector<AudioFormat> closest_match;  // answered kClosestMatch
    std::optional<AudioFormat> mix_format;   // empty: MixFormat fails
    int64_t device_period = 0;               // 100-ns units; 0: unknown
    uint32_t buffer_frames = 480;
    std::deque<Error> init_results;  // answers of successive Initialize calls; then success
    bool has_volume = true;
    bool start_fails = false;
};

class FakeAudioDevice {
  public:
    explicit FakeAudioDevice(FakeDeviceScript script) : script_(std::move(script)) {}

    [[nodiscard]] const FakeDeviceScript& Script() const { return script_; }

    // Queues a packet of raw interleaved bytes (frames × block alignment of the initialised format)
    // and signals the capture event.
    void PushPacket(std::vector<uint8_t> bytes, uint32_t frames, uint32_t flags = 0);
    // Queues a packet whose samples are the given values (one per sample, interleaved).
    template <typename T>
    void PushSamples(const std::vector<T>& samples, uint32_t frames, uint32_t flags = 0) {
        std::vector<uint8_t> bytes(samples.size() * sizeof(T));
        if (!bytes.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
        PushPacket(std::move(bytes), frames, flags);
    }
    // From now on every read fails (the device was removed).
    void Unplug();

    // Formats offered to the format check, in order, across all clients of the device.
    [[nodiscard]] std::vector<AudioFormat> Offered();
    // Formats given to Initialize, in order.
    [[nodiscard]] std::vector<AudioFormat> Initialized();
    [[nodiscard]] float Gain();
    [[nodiscard]] bool Started();
    [[nodiscard]] size_t Pending();
    [[nodiscard]] int ClientsOpened();

  private:
    friend class FakeAudioClient;
    friend class FakeAudioSystem;
    struct Packet {
        std::vector<uint8_t> bytes;
        uint32_t frames;
        uint32_t flags;
    };
    std::mutex mutex_;
    FakeDeviceScript script_;
    std::deque<Packet> packets_;
    std::vector<AudioFormat> offered_;
    std::vector<AudioFormat> initialized_;
    AudioFormat format_;
    Event* event_ = nullptr;
    float gain_ = 1.0f;
    bool started_ = false;
    bool unplugged_ = false;
    int clients_ = 0;
};

class FakeAudioSystem final : public AudioSystem {
  public:
    // Adds a device; the first device of each kind added with is_default, or else the first one, is
    // listed first.
    std::shared_ptr<FakeAudioDevice> AddDevice(FakeDeviceScript script, bool is_default = false);
    // Takes a device off the lists (unplugged before the recording opened it).
    void RemoveDevice(const std::string& id);

    std::vector<AudioDeviceInfo> ListDevices(AudioDeviceKind kind) override;
    Result<std::unique_ptr<AudioClient>> OpenClient(AudioDeviceKind kind, const std::string& id) override;

  private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<FakeAudioDevice>> devices_;  // default ones first
};

}  // namespace vexa::platform
