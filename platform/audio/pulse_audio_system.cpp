// The PulseAudio implementation of AudioSystem. Speakers are the server's sinks (captured through
// their monitor sources), microphones its sources that are not monitors; a device's identifier is
// its name and its friendly name its description; the server's default sink or source comes first.
#include <algorithm>

#include "platform/audio/audio_system.h"
#include "platform/audio/pulse_capture_client.h"
#include "platform/audio/pulse_connection.h"
#include "platform/audio/pulse_format.h"

namespace vexa::platform {
namespace {

struct PulseDevice {
    std::string name;
    std::string description;
    std::string capture_source;  // the monitor for a sink, the source itself otherwise
    AudioFormat format;
};

struct DeviceQuery {
    PulseConnection* connection;
    std::vector<PulseDevice> devices;
};

template <typename Info>
PulseDevice DeviceOf(const Info& info) {
    PulseDevice d;
    d.name = info.name ? info.name : "";
    d.description = info.description ? info.description : "";
    d.format = FormatOfDevice(info.sample_spec, info.channel_map);
    return d;
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto* q = static_cast<DeviceQuery*>(data);
    if (eol || !info) {
        q->connection->Signal();
        return;
    }
    PulseDevice d = DeviceOf(*info);
    d.capture_source = info->monitor_source_name ? info->monitor_source_name : "";
    q->devices.push_back(std::move(d));
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* q = static_cast<DeviceQuery*>(data);
    if (eol || !info) {
        q->connection->Signal();
        return;
    }
    if (info->monitor_of_sink != PA_INVALID_INDEX) return;  // a speaker's loopback, not a microphone
    PulseDevice d = DeviceOf(*info);
    d.capture_source = d.name;
    q->devices.push_back(std::move(d));
}

struct DefaultQuery {
    PulseConnection* connection;
    AudioDeviceKind kind;
    std::string name;
};

void OnServer(pa_context*, const pa_server_info* info, void* data) {
    auto* q = static_cast<DefaultQuery*>(data);
    if (info) {
        const char* name =
            q->kind == AudioDeviceKind::kSpeaker ? info->default_sink_name : info->default_source_name;
        q->name = name ? name : "";
    }
    q->connection->Signal();
}

class PulseAudioSystem final : public AudioSystem {
  public:
    explicit PulseAudioSystem(std::shared_ptr<PulseConnection> connection)
        : connection_(std::move(connection)) {}

    std::vector<AudioDeviceInfo> ListDevices(AudioDeviceKind kind) override {
        std::vector<AudioDeviceInfo> list;
        for (PulseDevice& d : Devices(kind)) list.push_back({std::move(d.name), std::move(d.description)});
        return list;
    }

    Result<std::unique_ptr<AudioClient>> OpenClient(AudioDeviceKind kind, const std::string& id) override {
        for (PulseDevice& d : Devices(kind)) {
            if (d.name != id) continue;
            if (d.capture_source.empty()) {
                return Error(ErrorCode::kUnsupported,
                             std::string(AudioDeviceKindName(kind)) + " '" + id + "' has no monitor source");
            }
            return std::unique_ptr<AudioClient>(
                std::make_unique<PulseCaptureClient>(connection_, std::move(d.capture_source), d.format));
        }
        return Error(ErrorCode::kNotFound,
                     std::string(AudioDeviceKindName(kind)) + " '" + id + "' is not there");
    }

  private:
    // The devices of a kind, the default first.
    std::vector<PulseDevice> Devices(AudioDeviceKind kind) {
        MainloopLock lock(*connection_);
        DeviceQuery devices{connection_.get(), {}};
        pa_context* c = connection_->Context();
        const bool listed = kind == AudioDeviceKind::kSpeaker
                                ? connection_->Await(pa_context_get_sink_info_list(c, &OnSink, &devices))
                                : connection_->Await(pa_context_get_source_info_list(c, &OnSource, &devices));
        if (!listed) return {};
        DefaultQuery def{connection_.get(), kind, {}};
        if (connection_->Await(pa_context_get_server_info(c, &OnServer, &def))) {
            auto it = std::find_if(devices.devices.begin(), devices.devices.end(),
                                   [&](const PulseDevice& d) { return d.name == def.name; });
            if (it != devices.devices.end()) std::rotate(devices.devices.begin(), it, it + 1);
        }
        return std::move(devices.devices);
    }

    std::shared_ptr<PulseConnection> connection_;
};

}  // namespace

const char* AudioDeviceKindName(AudioDeviceKind kind) {
    return kind == AudioDeviceKind::kMicrophone ? "microphone" : "speaker";
}

Result<std::unique_ptr<AudioSystem>> ConnectSoundServer() {
    Result<std::shared_ptr<PulseConnection>> connection = PulseConnection::Connect("VexaRecorder");
    if (!connection.ok()) return connection.error();
    return std::unique_ptr<AudioSystem>(std::make_unique<PulseAudioSystem>(std::move(connection).value()));
}

}  // namespace vexa::platform
