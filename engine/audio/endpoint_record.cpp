#include "engine/audio/endpoint_record.h"

#include <new>

namespace vexa::engine {

int GetEndpointRecord(const platform::AudioDeviceInfo& endpoint, EndpointRecord* record) {
    if (endpoint.name.empty()) return kEndpointNoName;
    try {
        *record = EndpointRecord{endpoint.name, endpoint.id};
    } catch (const std::bad_alloc&) {
        return kEndpointNoMemory;
    }
    return kEndpointRecordOk;
}

std::vector<EndpointRecord> SoundDeviceList(platform::AudioSystem& system, platform::AudioDeviceKind kind) {
    std::vector<EndpointRecord> list;
    for (const platform::AudioDeviceInfo& device : system.ListDevices(kind)) {
        EndpointRecord record;
        if (GetEndpointRecord(device, &record) == kEndpointRecordOk) list.push_back(std::move(record));
    }
    return list;
}

}  // namespace vexa::engine
