// CCapture::AddAudioStream: the session's sound stream. The encoder and the devices are set up by
// CAudio::Create; the stream entry, the mixer and the two threads follow the session's pattern.
#include "engine/audio/audio.h"
#include "engine/audio/capture_sound_session.h"
#include "engine/capture.h"
#include "platform/audio/audio_system.h"
#include "platform/log/log.h"

namespace vexa::engine {

Error CCapture::AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                               const SoundSourceEntry* sources) {
    Result<std::unique_ptr<platform::AudioSystem>> system = platform::ConnectSoundServer();
    if (!system.ok()) return system.error();
    return AddAudioStream(encoder_name, rate, sources, **system);
}

Error CCapture::AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                               const SoundSourceEntry* sources, platform::AudioSystem& system) {
    Result<CAudio::Setup> setup =
        CAudio::Create(system, encoder_name, rate, sources, OutputWantsGlobalHeader());
    if (!setup.ok()) return setup.error();  // the encoder and the devices are freed here
    AVCodecContext* encoder = setup->encoder.get();
    Stats().audio_encoder = encoder->codec->name;
    const AVRational time_base{1, encoder->sample_rate};
    Result<StreamEntry*> entry = NewStreamEntry(std::move(setup->encoder), time_base);
    if (!entry.ok()) return entry.error();  // from here on the session's teardown frees the entry
    setup->audio->Attach(std::make_unique<CaptureSoundSession>(*this, **entry));
    if (Error e = setup->audio->BuildMixer(encoder); !e.ok()) return e;
    char layout[64] = "?";
    (void)av_channel_layout_describe(&encoder->ch_layout, layout, sizeof layout);
    log::Writef(log::Level::kInfo, "sound stream: %s; encoder %s %d Hz %s %lld bit/s",
                setup->audio->Describe().c_str(), encoder->codec->name, encoder->sample_rate, layout,
                static_cast<long long>(encoder->bit_rate));
    return LaunchStream(*entry, std::move(setup->audio));
}

}  // namespace vexa::engine
