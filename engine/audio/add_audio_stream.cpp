// CCapture::AddAudioStream: the session's sound stream. The encoder and the devices are set up by
// CAudio::Create; the stream entry, the mixer and the two threads follow the session's pattern.
#include "engine/audio/audio.h"
#include "engine/audio/capture_sound_session.h"
#include "engine/capture.h"
#include "platform/audio/audio_system.h"

namespace vexa::engine {

bool CCapture::AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                              const SoundSourceEntry* sources) {
    const std::unique_ptr<platform::AudioSystem> system = platform::ConnectSoundServer();
    return AddAudioStream(encoder_name, rate, sources, *system);
}

bool CCapture::AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                              const SoundSourceEntry* sources, platform::AudioSystem& system) {
    std::optional<CAudio::Setup> setup =
        CAudio::Create(system, encoder_name, rate, sources, OutputWantsGlobalHeader());
    if (!setup) return false;  // the encoder and the devices are freed here
    AVCodecContext* encoder = setup->encoder.get();
    Stats().audio_encoder = encoder->codec->name;
    const AVRational time_base{1, encoder->sample_rate};
    StreamEntry* entry = NewStreamEntry(std::move(setup->encoder), time_base);
    if (!entry) return false;  // from here on the session's teardown frees the entry
    setup->audio->Attach(std::make_unique<CaptureSoundSession>(*this, *entry));
    if (!setup->audio->BuildMixer(encoder)) return false;
    return LaunchStream(entry, std::move(setup->audio));
}

}  // namespace vexa::engine
