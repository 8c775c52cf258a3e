#include "ui/device_lists.h"

#include "platform/audio/audio_system.h"
#include "platform/log/log.h"

namespace vexa::ui {

DeviceLists BuildDeviceLists() {
    DeviceLists lists;
    Result<std::unique_ptr<platform::AudioSystem>> sound = platform::ConnectSoundServer();
    if (sound.ok()) {
        lists.speakers = engine::SoundDeviceList(**sound, platform::AudioDeviceKind::kSpeaker);
        lists.microphones = engine::SoundDeviceList(**sound, platform::AudioDeviceKind::kMicrophone);
    } else {
        log::Failure(sound.error(), "sound devices");
    }
    lists.cameras = platform::EnumerateCameras();
    log::Writef(log::Level::kInfo, "devices: %zu speakers, %zu microphones, %zu cameras",
                lists.speakers.size(), lists.microphones.size(), lists.cameras.size());
    return lists;
}

}  // namespace vexa::ui
