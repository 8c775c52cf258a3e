#include "cli/sound_cli.h"

#include <strings.h>
#include <algorithm>
#include <charconv>

#include "platform/audio/audio_system.h"

namespace vexa::cli {
namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// A whole decimal number, or nothing.
std::optional<size_t> Number(std::string_view s) {
    size_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// A position (all digits) in the list, or an ID compared without case.
const engine::EndpointRecord* FindDevice(const std::vector<engine::EndpointRecord>& list,
                                         std::string_view selector) {
    if (const auto pos = Number(selector)) return *pos < list.size() ? &list[*pos] : nullptr;
    for (const auto& d : list) {
        if (d.id.size() == selector.size() && strncasecmp(d.id.data(), selector.data(), selector.size()) == 0)
            return &d;
    }
    return nullptr;
}

// The recorded source named by a position among the sources or a device ID.
SoundRow* FindRow(const SoundSelection& selection, std::string_view selector) {
    if (const auto pos = Number(selector))
        return *pos < selection.rows.size() ? selection.rows[*pos].get() : nullptr;
    for (const auto& row : selection.rows) {
        if (row->id.size() == selector.size() &&
            strncasecmp(row->id.data(), selector.data(), selector.size()) == 0) {
            return row.get();
        }
    }
    return nullptr;
}

struct Assignment {
    std::string_view selector;
    int volume;
};

std::optional<Assignment> ParseAssignment(std::string_view text, std::string* error) {
    const auto eq = text.rfind('=');
    const std::optional<size_t> volume =
        eq == std::string_view::npos ? std::nullopt : Number(Trim(text.substr(eq + 1)));
    if (!volume || *volume > 100 || Trim(text.substr(0, eq)).empty()) {
        *error = "a volume is POS|ID=V with V from 0 to 100: \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    return Assignment{Trim(text.substr(0, eq)), static_cast<int>(*volume)};
}

bool AddRows(SoundSelection& selection, const std::vector<std::string>& selectors,
             const std::vector<engine::EndpointRecord>& list, bool microphone, std::string* error) {
    for (const std::string& selector : selectors) {
        const engine::EndpointRecord* device = FindDevice(list, selector);
        if (!device) {
            *error = std::string("no ") + (microphone ? "microphone" : "speaker") + " \"" + selector + "\"";
            return false;
        }
        selection.rows.push_back(
            std::make_unique<SoundRow>(SoundRow{microphone, device->id, device->name, 100}));
    }
    return true;
}

}  // namespace

SoundDeviceLists ListSoundDevices() {
    const std::unique_ptr<platform::AudioSystem> system = platform::ConnectSoundServer();
    return {engine::SoundDeviceList(*system, platform::AudioDeviceKind::kSpeaker),
            engine::SoundDeviceList(*system, platform::AudioDeviceKind::kMicrophone)};
}

void PrintSoundDevices(std::ostream& out, const SoundDeviceLists& lists) {
    for (size_t i = 0; i < lists.speakers.size(); ++i) {
        out << "speaker " << i << ": " << lists.speakers[i].id << "  " << lists.speakers[i].name << '\n';
    }
    for (size_t i = 0; i < lists.microphones.size(); ++i) {
        out << "microphone " << i << ": " << lists.microphones[i].id << "  " << lists.microphones[i].name
            << '\n';
    }
}

std::optional<SoundSelection> ResolveSoundSources(const SoundRequest& request, const SoundDeviceLists& lists,
                                                  std::string* error) {
    const bool chosen = !request.speakers.empty() || !request.microphones.empty();
    if (request.no_sound && (chosen || !request.volumes.empty())) {
        *error = "--no-sound cannot be combined with --speaker, --mic or --volume";
        return std::nullopt;
    }
    SoundSelection selection;
    if (request.no_sound) return selection;
    std::vector<std::string> speakers = request.speakers;
    if (!chosen && request.mode == engine::RecordingMode::kScreen && !lists.speakers.empty()) {
        speakers.push_back("0");  // the panel's default: the default speaker
    }
    if (!AddRows(selection, speakers, lists.speakers, false, error) ||
        !AddRows(selection, request.microphones, lists.microphones, true, error)) {
        return std::nullopt;
    }
    for (const std::string& text : request.volumes) {
        const std::optional<Assignment> a = ParseAssignment(text, error);
        if (!a) return std::nullopt;
        SoundRow* row = FindRow(selection, a->selector);
        if (!row) {
            *error = "--volume names no recorded source: \"" + text + "\"";
            return std::nullopt;
        }
        row->volume = a->volume;
    }
    for (const auto& row : selection.rows) {
        selection.entries.push_back({static_cast<uint8_t>(row->microphone ? 1 : 0),
                                     engine::ClampVolume(row->volume), row->id.c_str(), row.get()});
    }
    return selection;
}

void PrintSoundSelection(std::ostream& out, const SoundSelection& selection) {
    for (size_t i = 0; i < selection.rows.size(); ++i) {
        const SoundRow& r = *selection.rows[i];
        out << "sound " << i << ": " << (r.microphone ? "microphone " : "speaker ") << r.id << " (" << r.name
            << ") volume " << r.volume << '\n';
    }
}

std::optional<VolumeChange> ParseVolumeCommand(std::string_view line, const SoundSelection& selection,
                                               std::string* error) {
    line = Trim(line);
    constexpr std::string_view kVerb = "volume";
    if (line.substr(0, kVerb.size()) != kVerb || line.size() == kVerb.size() ||
        (line[kVerb.size()] != ' ' && line[kVerb.size()] != '\t')) {
        *error = "unknown command (try: volume POS=V)";
        return std::nullopt;
    }
    const std::optional<Assignment> a = ParseAssignment(Trim(line.substr(kVerb.size())), error);
    if (!a) return std::nullopt;
    const SoundRow* row = FindRow(selection, a->selector);
    if (!row) {
        *error = "no recorded sound source \"" + std::string(a->selector) + "\"";
        return std::nullopt;
    }
    return VolumeChange{row, a->volume};
}

}  // namespace vexa::cli
