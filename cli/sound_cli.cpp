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

Result<Assignment> ParseAssignment(std::string_view text) {
    const auto eq = text.rfind('=');
    const std::optional<size_t> volume =
        eq == std::string_view::npos ? std::nullopt : Number(Trim(text.substr(eq + 1)));
    if (!volume || *volume > 100 || Trim(text.substr(0, eq)).empty()) {
        return Error(ErrorCode::kInvalidArgument,
                     "a volume is POS|ID=V with V from 0 to 100: \"" + std::string(text) + "\"");
    }
    return Assignment{Trim(text.substr(0, eq)), static_cast<int>(*volume)};
}

// An unknown device names the selector and, when the lists are empty because no sound server
// answered, that reason too.
Error AddRows(SoundSelection& selection, const std::vector<std::string>& selectors,
              const std::vector<engine::EndpointRecord>& list, bool microphone, const Error& server) {
    for (const std::string& selector : selectors) {
        const engine::EndpointRecord* device = FindDevice(list, selector);
        if (!device) {
            std::string message =
                std::string("no ") + (microphone ? "microphone" : "speaker") + " \"" + selector + "\"";
            if (!server.ok()) message += " (" + server.message() + ")";
            return Error(ErrorCode::kNotFound, message);
        }
        selection.rows.push_back(
            std::make_unique<SoundRow>(SoundRow{microphone, device->id, device->name, 100}));
    }
    return {};
}

}  // namespace

SoundDeviceLists ListSoundDevices() {
    const Result<std::unique_ptr<platform::AudioSystem>> system = platform::ConnectSoundServer();
    if (!system.ok()) return {{}, {}, system.error()};
    return {engine::SoundDeviceList(**system, platform::AudioDeviceKind::kSpeaker),
            engine::SoundDeviceList(**system, platform::AudioDeviceKind::kMicrophone),
            {}};
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

Result<SoundSelection> ResolveSoundSources(const SoundRequest& request, const SoundDeviceLists& lists) {
    const bool chosen = !request.speakers.empty() || !request.microphones.empty();
    if (request.no_sound && (chosen || !request.volumes.empty()))
        return Error(ErrorCode::kInvalidArgument,
                     "--no-sound cannot be combined with --speaker, --mic or --volume");
    SoundSelection selection;
    if (request.no_sound) return selection;
    std::vector<std::string> speakers = request.speakers;
    if (!chosen && request.mode == engine::RecordingMode::kScreen && !lists.speakers.empty()) {
        speakers.push_back("0");  // the panel's default: the default speaker
    }
    if (Error e = AddRows(selection, speakers, lists.speakers, false, lists.server); !e.ok()) return e;
    if (Error e = AddRows(selection, request.microphones, lists.microphones, true, lists.server); !e.ok())
        return e;
    for (const std::string& text : request.volumes) {
        const Result<Assignment> a = ParseAssignment(text);
        if (!a.ok()) return a.error();
        SoundRow* row = FindRow(selection, a->selector);
        if (!row) return Error(ErrorCode::kNotFound, "--volume names no recorded source: \"" + text + "\"");
        row->volume = a->volume;
    }
    for (const auto& row : selection.rows) {
        selection.entries.push_back({static_cast<uint8_t>(row->microphone ? 1 : 0),
                                     engine::ClampVolume(row->volume), row->id.c_str(), row.get(),
                                     row->name.c_str()});
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

Result<VolumeChange> ParseVolumeCommand(std::string_view line, const SoundSelection& selection) {
    line = Trim(line);
    constexpr std::string_view kVerb = "volume";
    if (line.substr(0, kVerb.size()) != kVerb || line.size() == kVerb.size() ||
        (line[kVerb.size()] != ' ' && line[kVerb.size()] != '\t')) {
        return Error(ErrorCode::kInvalidArgument, "unknown command (try: volume POS=V)");
    }
    const Result<Assignment> a = ParseAssignment(Trim(line.substr(kVerb.size())));
    if (!a.ok()) return a.error();
    const SoundRow* row = FindRow(selection, a->selector);
    if (!row)
        return Error(ErrorCode::kNotFound, "no recorded sound source \"" + std::string(a->selector) + "\"");
    return VolumeChange{row, a->volume};
}

}  // namespace vexa::cli
