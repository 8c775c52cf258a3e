// The capture-format search: the table of 1666 candidate formats, the order in which they are
// offered to a device, and the device's own format as the last resort.
//
// The table is built once per process and is read-only afterwards (thread-safe). A search runs on
// the thread that opens the device; its tried flags belong to that device.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/audio/audio_system.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace vexa::engine {

inline constexpr int kCandidateCount = 1666;
inline constexpr int kTriedFlagBytes = 2000;

// One row of channel count and speaker mask.
struct ChannelRow {
    int channels;
    uint64_t mask;
};
inline constexpr std::array<ChannelRow, 14> kChannelRows{{{1, 0x4},
                                                          {2, 0xC},
                                                          {2, 0x3},
                                                          {3, 0xB},
                                                          {3, 0x7},
                                                          {4, 0xF},
                                                          {4, 0x33},
                                                          {4, 0x107},
                                                          {5, 0x607},
                                                          {6, 0x3F},
                                                          {6, 0x60F},
                                                          {7, 0x637},
                                                          {8, 0xFF},
                                                          {8, 0x63F}}};
inline constexpr std::array<int, 5> kCandidateDepths{8, 16, 24, 32, 64};
inline constexpr std::array<int, 17> kCandidateRates{8000,   11025,  12000,  16000,  22050, 24000,
                                                     32000,  44100,  48000,  64000,  88200, 96000,
                                                     128000, 176400, 192000, 352800, 384000};

// Channel rows outermost, then depths, then rates; 32- and 64-bit entries are followed directly by
// their float twin.
[[nodiscard]] std::span<const platform::AudioFormat, kCandidateCount> CandidateFormatTable();
// Index of a table entry (row, depth and rate positions, float twin).
[[nodiscard]] int CandidateIndex(int row, int depth, int rate, bool is_float);

// What the capture format should come close to: the encoder's channel count and mask, the bits of its
// sample format and its rate.
struct FormatTarget {
    int channels = 2;
    uint64_t mask = 0x3;
    int depth = 32;
    int rate = 48000;
};

// Bits of an FFmpeg sample format as the target depth (64 for formats not in the list).
[[nodiscard]] int SampleFormatDepth(AVSampleFormat format);

using TriedFlags = std::array<uint8_t, kTriedFlagBytes>;

// Every candidate index, in the order the search offers them for the target.
[[nodiscard]] std::vector<int> CandidateOrder(const FormatTarget& target);

// Picks a format the device accepts: the candidates in search order, each offered at most once per
// device (tried survives between calls, so a later call goes on where an earlier one stopped), then
// the device's own format as the last resort (last_resort is set). A 24-bit candidate that the
// device accepts is recorded through its 32-bit PCM twin, which the server fills losslessly. Empty
// when nothing fits.
[[nodiscard]] std::optional<platform::AudioFormat> ChooseCaptureFormat(platform::AudioClient& client,
                                                                       const FormatTarget& target,
                                                                       TriedFlags& tried, bool* last_resort);

// The FFmpeg sample format of a capture format (interleaved); AV_SAMPLE_FMT_NONE when it has none.
[[nodiscard]] AVSampleFormat SampleFormatOf(const platform::AudioFormat& format);

}  // namespace vexa::engine
