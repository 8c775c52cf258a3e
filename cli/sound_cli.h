// The sound side of vexa-record: listing speakers and microphones, turning --speaker/--mic POS|ID and
// --volume POS|ID=V into the sound entries of a recording, and the live "volume POS=V" command read
// from standard input while recording.
//
// Positions in --speaker and --mic are those of the device lists (default device first). Positions
// in --volume and in the volume command are those of the recorded sources: the chosen speakers
// first, then the chosen microphones, as PrintSoundSelection numbers them. Runs on the command line's
// threads; a SoundSelection must outlive the recording that uses its entries.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/audio/endpoint_record.h"
#include "engine/recording_params.h"
#include "engine/session_slot.h"
#include "platform/error.h"

namespace vexa::cli {

struct SoundDeviceLists {
    std::vector<engine::EndpointRecord> speakers;
    std::vector<engine::EndpointRecord> microphones;
    Error server;  // why both lists are empty when no sound server answered
};

// Both lists from the sound server (empty, with the reason in server, when none is reachable).
[[nodiscard]] SoundDeviceLists ListSoundDevices();
// "speaker 0: ID  NAME" and "microphone 0: ID  NAME" lines.
void PrintSoundDevices(std::ostream& out, const SoundDeviceLists& lists);

struct SoundRequest {
    engine::RecordingMode mode = engine::RecordingMode::kScreen;
    bool no_sound = false;
    std::vector<std::string> speakers;     // --speaker POS|ID
    std::vector<std::string> microphones;  // --mic POS|ID
    std::vector<std::string> volumes;      // --volume POS|ID=V
};

// One recorded source. Its address is the "panel row" that live volume changes name.
struct SoundRow {
    bool microphone = false;
    std::string id;
    std::string name;
    int volume = 100;
};

struct SoundSelection {
    std::vector<std::unique_ptr<SoundRow>> rows;    // speakers first, then microphones
    std::vector<engine::SoundSourceEntry> entries;  // one per row, pointing into it (no end entry)
};

// Resolves the options against the device lists. Screen mode without any sound option records the
// default speaker; --no-sound records none. Fails (kInvalidArgument, kNotFound) when a device is
// unknown, a volume is malformed or out of 0..100, or the options contradict each other.
[[nodiscard]] Result<SoundSelection> ResolveSoundSources(const SoundRequest& request,
                                                         const SoundDeviceLists& lists);
// "sound 0: speaker ID (NAME) volume V" per recorded source.
void PrintSoundSelection(std::ostream& out, const SoundSelection& selection);

struct VolumeChange {
    const SoundRow* row = nullptr;
    int volume = 0;
};
// Parses "volume POS|ID=V" (surrounding blanks ignored). Fails when malformed or when no recorded
// source matches.
[[nodiscard]] Result<VolumeChange> ParseVolumeCommand(std::string_view line, const SoundSelection& selection);

// Handles one line of standard input: a volume command changes the source's volume in the running
// session (under the slot's lock). Fails for a line that is not a valid command.
[[nodiscard]] inline Error ApplyVolumeCommand(std::string_view line, const SoundSelection& selection,
                                              engine::SessionSlot& slot) {
    const Result<VolumeChange> change = ParseVolumeCommand(line, selection);
    if (!change.ok()) return change.error();
    (void)slot.With([&](engine::CCapture& session) { session.SetSourceVolume(change->row, change->volume); });
    return {};
}

}  // namespace vexa::cli
