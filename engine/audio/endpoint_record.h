// The sound device lists that the panels and the command line show: speakers and microphones,
// the default device first, each entry its friendly name and identifier. Position n of a list is
// the device the settings of row n belong to. Pure functions over the sound system; thread-safe as
// the system is.
#pragma once

#include <string>
#include <vector>

#include "platform/audio/audio_system.h"

namespace vexa::engine {

struct EndpointRecord {
    std::string name;
    std::string id;
};

inline constexpr int kEndpointRecordOk = 0;
inline constexpr int kEndpointNoName = -1;  // the device has no (or an empty) friendly name
inline constexpr int kEndpointNoMemory = -2;

// Builds the record of one listed device: kEndpointRecordOk, or one of the errors above.
[[nodiscard]] int GetEndpointRecord(const platform::AudioDeviceInfo& endpoint, EndpointRecord* record);

// The speakers or microphones, the default first; devices without a name are left out. Empty when
// no sound server is reachable.
[[nodiscard]] std::vector<EndpointRecord> SoundDeviceList(platform::AudioSystem& system,
                                                          platform::AudioDeviceKind kind);

}  // namespace vexa::engine
