// The sound server as the sound capture sees it: device lists (default device first) and, per
// device, a client that checks formats, is initialised once with the chosen format, signals an event
// when data arrives and hands out packets.
//
// A speaker is recorded from what it plays (its loopback); a microphone directly.
//
// Ownership: the AudioSystem owns its server connection; every AudioClient it opens shares that
// connection, so clients stay valid after the system object is gone. Thread-safety: ListDevices and
// OpenClient are thread-safe. A client is set up by one thread and then read by the capture thread
// only; SetVolume is the one call that may come from any thread at any time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/sync/waitable.h"

namespace vexa::platform {

enum class AudioDeviceKind : uint8_t { kSpeaker = 0, kMicrophone = 1 };

// A device as the server lists it: its identifier and its description (the friendly name, which may
// be empty).
struct AudioDeviceInfo {
    std::string id;
    std::string name;
};

enum class SampleType : uint8_t { kPcm, kFloat };

// A complete interleaved sample format. channel_mask uses the speaker bits shared by wave formats and
// FFmpeg channel layouts (front left 0x1, front right 0x2, front centre 0x4, ...); 0 means the mask is
// not known (a plain format).
struct AudioFormat {
    SampleType type = SampleType::kPcm;
    int bits = 16;
    int channels = 2;
    uint64_t channel_mask = 0x3;
    int rate = 48000;

    [[nodiscard]] int BlockAlign() const { return channels * bits / 8; }
    [[nodiscard]] int64_t BytesPerSecond() const { return int64_t{BlockAlign()} * rate; }
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// Answer of the format check: only kAccepted lets the format through.
enum class FormatAnswer : uint8_t { kAccepted, kClosestMatch, kRefused };

// Packet flags. A discontinuity means samples were lost before this packet; a silent packet carries
// no data (its samples are zeros).
inline constexpr uint32_t kPacketDiscontinuity = 1u << 0;
inline constexpr uint32_t kPacketSilent = 1u << 1;

struct AudioPacket {
    const uint8_t* data = nullptr;  // null for a silent packet
    uint32_t frames = 0;
    uint32_t flags = 0;
};

// One device opened for capture.
class AudioClient {
  public:
    virtual ~AudioClient() = default;

    // The device's shortest period in 100-ns units; 0 or less when unknown.
    [[nodiscard]] virtual int64_t MinimumDevicePeriod() = 0;
    // Whether the device delivers this format as it is.
    [[nodiscard]] virtual FormatAnswer IsFormatSupported(const AudioFormat& format) = 0;
    // The device's own format (the format of the last resort); empty when it cannot be read.
    [[nodiscard]] virtual std::optional<AudioFormat> MixFormat() = 0;
    // Opens the capture stream once, with a buffer of about buffer_duration100ns. event is signalled
    // whenever data has arrived; it must outlive the client. Fails with kUnsupported for a format the
    // device refuses, kInvalidArgument for a bad argument or a second call (both worth a new client
    // and another format), or the server's reason (kBusy, kNotFound, kUnavailable, ...).
    [[nodiscard]] virtual Error Initialize(const AudioFormat& format, int64_t buffer_duration100ns,
                                           Event* event) = 0;
    // Frames of the stream's buffer (valid after Initialize).
    [[nodiscard]] virtual uint32_t BufferFrames() = 0;
    [[nodiscard]] virtual Error Start() = 0;
    // The next packet; false when nothing is buffered or the stream has failed. Each packet read must be
    // released before the next read.
    [[nodiscard]] virtual bool ReadPacket(AudioPacket* packet) = 0;
    virtual void ReleasePacket() = 0;
    // Why the stream will deliver no more (the device was removed, the sound server went away); ok
    // while it runs. Same thread as ReadPacket.
    [[nodiscard]] virtual Error Failure() = 0;
    // Linear gain applied to the samples read (1 leaves them untouched). False when the client has no
    // volume control. Thread-safe.
    virtual bool SetVolume(float gain) = 0;
};

class AudioSystem {
  public:
    virtual ~AudioSystem() = default;

    // The devices of a kind, the server's default first; empty when no server is reachable.
    [[nodiscard]] virtual std::vector<AudioDeviceInfo> ListDevices(AudioDeviceKind kind) = 0;
    // A new client for the device with this identifier (as listed). Fails with kNotFound when the
    // device is gone.
    [[nodiscard]] virtual Result<std::unique_ptr<AudioClient>> OpenClient(AudioDeviceKind kind,
                                                                          const std::string& id) = 0;
};

// "speaker" or "microphone", for messages.
[[nodiscard]] const char* AudioDeviceKindName(AudioDeviceKind kind);

// The system's sound server (PulseAudio, also as served by PipeWire). Fails with "cannot connect to
// the sound server: <reason>" when no server answers.
[[nodiscard]] Result<std::unique_ptr<AudioSystem>> ConnectSoundServer();

}  // namespace vexa::platform
