// CPU of the sound path per recorded minute: the capture thread's reading and cutting of packets and
// the mix thread's alignment, mixing and MP3 encoding, for one input (a 48 kHz float speaker,
// resampled to the encoder's format) and for three (two speakers at 48 and 44.1 kHz and a mono
// microphone, through the amix graph). The devices are scripted and deliver 10 ms packets; the
// session clock moves with them, so one iteration is one minute of sound.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "engine/audio/audio.h"
#include "platform/testing/fake_audio_system.h"
#include "tests/audio/scripted_session.h"

namespace vexa::engine {
namespace {

using platform::AudioDeviceKind;
using platform::AudioFormat;
using platform::SampleType;

struct Input {
    AudioDeviceKind kind;
    const char* id;
    AudioFormat format;
};

std::vector<uint8_t> TonePacket(const AudioFormat& f, int frames) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * static_cast<size_t>(f.BlockAlign()));
    for (int i = 0; i < frames; ++i) {
        const double v = 0.3 * std::sin(2 * std::numbers::pi * 440 * i / f.rate);
        for (int c = 0; c < f.channels; ++c) {
            const size_t at =
                (static_cast<size_t>(i) * static_cast<size_t>(f.channels) + static_cast<size_t>(c));
            if (f.type == SampleType::kFloat) {
                const auto s = static_cast<float>(v);
                std::memcpy(bytes.data() + at * 4, &s, 4);
            } else {
                const auto s = static_cast<int16_t>(v * 32767);
                std::memcpy(bytes.data() + at * 2, &s, 2);
            }
        }
    }
    return bytes;
}

void MixOneMinute(benchmark::State& state, const std::vector<Input>& inputs) {
    platform::FakeAudioSystem system;
    std::vector<std::shared_ptr<platform::FakeAudioDevice>> devices;
    std::vector<SoundSourceEntry> entries;
    static const int rows[8] = {};
    for (size_t i = 0; i < inputs.size(); ++i) {
        platform::FakeDeviceScript s;
        s.kind = inputs[i].kind;
        s.id = inputs[i].id;
        s.accepted = {inputs[i].format};
        s.mix_format = inputs[i].format;
        s.buffer_frames = static_cast<uint32_t>(inputs[i].format.rate / 100);
        devices.push_back(system.AddDevice(s));
        entries.push_back({static_cast<uint8_t>(inputs[i].kind), 100, inputs[i].id, &rows[i]});
    }
    entries.push_back({});
    auto setup =
        CAudio::Create(system, "libmp3lame", AudioRateTriple(AudioBitRateA(70)), entries.data(), false);
    if (!setup.ok()) {
        state.SkipWithError(setup.error().message().c_str());
        return;
    }
    auto owned = std::make_unique<testing::ScriptedSession>(AVRational{1, setup->encoder->sample_rate});
    testing::ScriptedSession& session = *owned;
    setup->audio->Attach(std::move(owned));
    if (Error e = setup->audio->BuildMixer(setup->encoder.get()); !e.ok()) {
        state.SkipWithError(e.message().c_str());
        return;
    }
    std::vector<std::vector<uint8_t>> packets;
    for (const Input& in : inputs) packets.push_back(TonePacket(in.format, in.format.rate / 100));

    // One iteration is one recorded minute, so the CPU column reads as CPU per recorded minute. The
    // scripted devices' copying of the packets is included (it stands in for the server's).
    for (auto _ : state) {
        for (int tick = 0; tick < 6000; ++tick) {  // 10 ms steps
            for (size_t i = 0; i < devices.size(); ++i) {
                devices[i]->PushPacket(packets[i], static_cast<uint32_t>(inputs[i].format.rate / 100));
            }
            session.now += testing::ScriptedSession::Ms(10);
            (void)setup->audio->CapturePass();
            (void)setup->audio->MixPass();
            session.packets.clear();
        }
    }
}

void BM_MixOneInput(benchmark::State& state) {
    MixOneMinute(state, {{AudioDeviceKind::kSpeaker, "spk", {SampleType::kFloat, 32, 2, 0x3, 48000}}});
}
void BM_MixThreeInputs(benchmark::State& state) {
    MixOneMinute(state, {{AudioDeviceKind::kSpeaker, "spk", {SampleType::kFloat, 32, 2, 0x3, 48000}},
                         {AudioDeviceKind::kSpeaker, "spk2", {SampleType::kPcm, 16, 2, 0x3, 44100}},
                         {AudioDeviceKind::kMicrophone, "mic", {SampleType::kFloat, 32, 1, 0x4, 48000}}});
}
BENCHMARK(BM_MixOneInput)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MixThreeInputs)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vexa::engine

BENCHMARK_MAIN();
