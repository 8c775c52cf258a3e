#include "platform/testing/fake_audio_system.h"

#include <algorithm>

#include "platform/audio/sample_gain.h"

namespace vexa::platform {

class FakeAudioClient final : public AudioClient {
  public:
    explicit FakeAudioClient(std::shared_ptr<FakeAudioDevice> device) : device_(std::move(device)) {}

    int64_t MinimumDevicePeriod() override { return device_->script_.device_period; }

    FormatAnswer IsFormatSupported(const AudioFormat& format) override {
        std::lock_guard lock(device_->mutex_);
        device_->offered_.push_back(format);
        auto has = [&](const std::vector<AudioFormat>& list) {
            return std::find(list.begin(), list.end(), format) != list.end();
        };
        if (has(device_->script_.accepted)) return FormatAnswer::kAccepted;
        return has(device_->script_.closest_match) ? FormatAnswer::kClosestMatch : FormatAnswer::kRefused;
    }

    std::optional<AudioFormat> MixFormat() override { return device_->script_.mix_format; }

    Error Initialize(const AudioFormat& format, int64_t, Event* event) override {
        std::lock_guard lock(device_->mutex_);
        if (initialized_) return Error(ErrorCode::kInvalidArgument, "the fake stream is already open");
        device_->initialized_.push_back(format);
        auto& answers = device_->script_.init_results;
        const Error result = answers.empty() ? Error{} : answers.front();
        if (!answers.empty()) answers.pop_front();
        if (!result.ok()) return result;
        initialized_ = true;
        device_->format_ = format;
        device_->event_ = event;
        return {};
    }

    uint32_t BufferFrames() override { return device_->script_.buffer_frames; }

    Error Start() override {
        std::lock_guard lock(device_->mutex_);
        if (!initialized_) return Error(ErrorCode::kInvalidArgument, "the fake stream is not open");
        if (device_->script_.start_fails)
            return Error(ErrorCode::kUnavailable,
                         "cannot start recording from '" + device_->script_.id + "'");
        device_->started_ = true;
        return {};
    }

    Error Failure() override {
        std::lock_guard lock(device_->mutex_);
        if (!device_->unplugged_) return {};
        return Error(ErrorCode::kNotFound, "'" + device_->script_.id + "' was removed");
    }

    bool ReadPacket(AudioPacket* packet) override {
        std::lock_guard lock(device_->mutex_);
        if (device_->unplugged_ || device_->packets_.empty()) return false;
        current_ = std::move(device_->packets_.front());
        device_->packets_.pop_front();
        packet->frames = current_.frames;
        packet->flags = current_.flags;
        packet->data = nullptr;
        if (!(current_.flags & kPacketSilent)) {
            current_.bytes.resize(size_t{current_.frames} *
                                  static_cast<size_t>(device_->format_.BlockAlign()));
            if (device_->gain_ != 1.0f) {
                ScaleSamples(device_->format_, current_.bytes.data(), current_.bytes.data(), current_.frames,
                             device_->gain_);
            }
            packet->data = current_.bytes.data();
        }
        return true;
    }

    void ReleasePacket() override { current_ = {}; }

    bool SetVolume(float gain) override {
        std::lock_guard lock(device_->mutex_);
        if (!device_->script_.has_volume) return false;
        device_->gain_ = gain;
        return true;
    }

  private:
    std::shared_ptr<FakeAudioDevice> device_;
    FakeAudioDevice::Packet current_;
    bool initialized_ = false;
};

void FakeAudioDevice::PushPacket(std::vector<uint8_t> bytes, uint32_t frames, uint32_t flags) {
    Event* event;
    {
        std::lock_guard lock(mutex_);
        packets_.push_back({std::move(bytes), frames, flags});
        event = event_;
    }
    if (event) event->Set();
}

void FakeAudioDevice::Unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
}

std::vector<AudioFormat> FakeAudioDevice::Offered() {
    std::lock_guard lock(mutex_);
    return offered_;
}

std::vector<AudioFormat> FakeAudioDevice::Initialized() {
    std::lock_guard lock(mutex_);
    return initialized_;
}

float FakeAudioDevice::Gain() {
    std::lock_guard lock(mutex_);
    return gain_;
}

bool FakeAudioDevice::Started() {
    std::lock_guard lock(mutex_);
    return started_;
}

size_t FakeAudioDevice::Pending() {
    std::lock_guard lock(mutex_);
    return packets_.size();
}

int FakeAudioDevice::ClientsOpened() {
    std::lock_guard lock(mutex_);
    return clients_;
}

std::shared_ptr<FakeAudioDevice> FakeAudioSystem::AddDevice(FakeDeviceScript script, bool is_default) {
    auto device = std::make_shared<FakeAudioDevice>(std::move(script));
    std::shared_ptr<FakeAudioDevice> listed = device;  // the list's reference, moved in below
    std::lock_guard lock(mutex_);
    devices_.insert(is_default ? devices_.begin() : devices_.end(), std::move(listed));
    return device;
}

void FakeAudioSystem::RemoveDevice(const std::string& id) {
    std::lock_guard lock(mutex_);
    std::erase_if(devices_, [&](const auto& d) { return d->Script().id == id; });
}

std::vector<AudioDeviceInfo> FakeAudioSystem::ListDevices(AudioDeviceKind kind) {
    std::lock_guard lock(mutex_);
    std::vector<AudioDeviceInfo> list;
    for (const auto& d : devices_) {
        if (d->Script().kind == kind) list.push_back({d->Script().id, d->Script().name});
    }
    return list;
}

Result<std::unique_ptr<AudioClient>> FakeAudioSystem::OpenClient(AudioDeviceKind kind,
                                                                 const std::string& id) {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_) {
        if (d->Script().kind == kind && d->Script().id == id) {
            std::lock_guard device_lock(d->mutex_);
            ++d->clients_;
            return std::unique_ptr<AudioClient>(std::make_unique<FakeAudioClient>(d));
        }
    }
    return Error(ErrorCode::kNotFound, std::string(AudioDeviceKindName(kind)) + " '" + id + "' is not there");
}

}  // namespace vexa::platform
