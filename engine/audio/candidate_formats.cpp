#include "engine/audio/candidate_formats.h"

#include <algorithm>
#include <vector>

namespace vexa::engine {
namespace {

using platform::AudioFormat;
using platform::SampleType;

constexpr int kRates = static_cast<int>(kCandidateRates.size());
// Entries per rate for each depth: 32 and 64 bits have a float twin.
constexpr int EntriesPerRate(int depth) {
    return kCandidateDepths[static_cast<size_t>(depth)] >= 32 ? 2 : 1;
}

constexpr int DepthOffset(int depth) {
    int offset = 0;
    for (int d = 0; d < depth; ++d) offset += kRates * EntriesPerRate(d);
    return offset;
}
constexpr int kEntriesPerRow = DepthOffset(static_cast<int>(kCandidateDepths.size()));
static_assert(kEntriesPerRow * static_cast<int>(kChannelRows.size()) == kCandidateCount);

std::array<AudioFormat, kCandidateCount> BuildTable() {
    std::array<AudioFormat, kCandidateCount> table{};
    size_t i = 0;
    for (const ChannelRow& row : kChannelRows) {
        for (int bits : kCandidateDepths) {
            for (int rate : kCandidateRates) {
                table[i++] = AudioFormat{SampleType::kPcm, bits, row.channels, row.mask, rate};
                if (bits >= 32)
                    table[i++] = AudioFormat{SampleType::kFloat, bits, row.channels, row.mask, rate};
            }
        }
    }
    return table;
}

// Offers index (and its float twin) for a row, depth and rate position.
void AddEntry(std::vector<int>& order, int row, int depth, int rate) {
    order.push_back(CandidateIndex(row, depth, rate, false));
    if (EntriesPerRate(depth) == 2) order.push_back(CandidateIndex(row, depth, rate, true));
}

// One row in steps 1 to 3: depths of the target's bits or more ascending, each at its rates from the
// target rate up and then below it downwards; then the smaller depths from the highest down, each
// at its rates from the highest down.
void AddRow(std::vector<int>& order, int row, const FormatTarget& t) {
    const int depths = static_cast<int>(kCandidateDepths.size());
    for (int d = 0; d < depths; ++d) {
        if (kCandidateDepths[static_cast<size_t>(d)] < t.depth) continue;
        for (int r = 0; r < kRates; ++r) {
            if (kCandidateRates[static_cast<size_t>(r)] >= t.rate) AddEntry(order, row, d, r);
        }
        for (int r = kRates - 1; r >= 0; --r) {
            if (kCandidateRates[static_cast<size_t>(r)] < t.rate) AddEntry(order, row, d, r);
        }
    }
    for (int d = depths - 1; d >= 0; --d) {
        if (kCandidateDepths[static_cast<size_t>(d)] >= t.depth) continue;
        for (int r = kRates - 1; r >= 0; --r) AddEntry(order, row, d, r);
    }
}

void AddRowsWithCount(std::vector<int>& order, int channels, const FormatTarget& t) {
    for (int row = 0; row < static_cast<int>(kChannelRows.size()); ++row) {
        if (kChannelRows[static_cast<size_t>(row)].channels == channels) AddRow(order, row, t);
    }
}

// A group of rows with one channel count, its table entries from the last to the first.
void AddGroupBackwards(std::vector<int>& order, int channels) {
    for (int row = static_cast<int>(kChannelRows.size()) - 1; row >= 0; --row) {
        if (kChannelRows[static_cast<size_t>(row)].channels != channels) continue;
        for (int i = kEntriesPerRow - 1; i >= 0; --i) order.push_back(row * kEntriesPerRow + i);
    }
}

std::vector<int> ChannelCounts() {
    std::vector<int> counts;
    for (const ChannelRow& row : kChannelRows) counts.push_back(row.channels);
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;  // ascending: the table is ordered by channel count
}

// The device's own format as the last resort. A format without a mask gets the first mask of the
// table rows with its channel count, from the last row up, that the device accepts; a format with a
// mask is taken as it is.
std::optional<AudioFormat> LastResort(platform::AudioClient& client) {
    std::optional<AudioFormat> mix = client.MixFormat();
    if (!mix || SampleFormatOf(*mix) == AV_SAMPLE_FMT_NONE) return std::nullopt;
    if (mix->channel_mask != 0) return mix;
    if (mix->channels < 1 || mix->channels > 8) return std::nullopt;
    for (auto row = kChannelRows.rbegin(); row != kChannelRows.rend(); ++row) {
        if (row->channels != mix->channels) continue;
        AudioFormat candidate = *mix;
        candidate.channel_mask = row->mask;
        if (client.IsFormatSupported(candidate) == platform::FormatAnswer::kAccepted) return candidate;
    }
    return std::nullopt;
}

// 24-bit samples have no FFmpeg sample format: such a device is read in 32-bit words.
AudioFormat Widen24(AudioFormat f) {
    if (f.type == SampleType::kPcm && f.bits == 24) f.bits = 32;
    return f;
}

}  // namespace

std::span<const AudioFormat, kCandidateCount> CandidateFormatTable() {
    static const std::array<AudioFormat, kCandidateCount> table = BuildTable();  // built once, thread-safe
    return table;
}

int CandidateIndex(int row, int depth, int rate, bool is_float) {
    return row * kEntriesPerRow + DepthOffset(depth) + rate * EntriesPerRate(depth) + (is_float ? 1 : 0);
}

int SampleFormatDepth(AVSampleFormat format) {
    switch (format) {
        case AV_SAMPLE_FMT_U8:
        case AV_SAMPLE_FMT_U8P:
            return 8;
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P:
            return 16;
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_S32P:
        case AV_SAMPLE_FMT_FLTP:
            return 32;
        default:
            return 64;
    }
}

std::vector<int> CandidateOrder(const FormatTarget& t) {
    std::vector<int> order;
    order.reserve(kCandidateCount * 2);
    const std::vector<int> counts = ChannelCounts();
    // Step 1: the rows with the target's channel count and mask.
    if (t.mask <= 0xFFFFFFFFu) {
        for (int row = 0; row < static_cast<int>(kChannelRows.size()); ++row) {
            const ChannelRow& r = kChannelRows[static_cast<size_t>(row)];
            if (r.channels == t.channels && r.mask == t.mask) AddRow(order, row, t);
        }
    }
    // Step 2: every row with the channel count, or with the next larger count when none has it.
    auto first = std::lower_bound(counts.begin(), counts.end(), t.channels);
    // Step 3: the larger channel counts, ascending (step 2's count included).
    for (auto c = first; c != counts.end(); ++c) AddRowsWithCount(order, *c, t);
    // Step 4: the smaller channel counts from the largest down, each group from its end backwards.
    for (auto c = std::make_reverse_iterator(first); c != counts.rend(); ++c) AddGroupBackwards(order, *c);
    // Step 5: whatever is left, from the last entry to the first.
    for (int i = kCandidateCount - 1; i >= 0; --i) order.push_back(i);
    return order;
}

std::optional<AudioFormat> ChooseCaptureFormat(platform::AudioClient& client, const FormatTarget& target,
                                               TriedFlags& tried, bool* last_resort) {
    const auto table = CandidateFormatTable();
    for (int index : CandidateOrder(target)) {
        if (tried[static_cast<size_t>(index)]) continue;
        tried[static_cast<size_t>(index)] = 1;
        const AudioFormat& candidate = table[static_cast<size_t>(index)];
        if (client.IsFormatSupported(candidate) == platform::FormatAnswer::kAccepted)
            return Widen24(candidate);
    }
    *last_resort = true;
    std::optional<AudioFormat> mix = LastResort(client);
    if (mix) *mix = Widen24(*mix);
    return mix;
}

AVSampleFormat SampleFormatOf(const AudioFormat& f) {
    if (f.type == SampleType::kFloat) {
        return f.bits == 32 ? AV_SAMPLE_FMT_FLT : f.bits == 64 ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_NONE;
    }
    switch (f.bits) {
        case 8:
            return AV_SAMPLE_FMT_U8;
        case 16:
            return AV_SAMPLE_FMT_S16;
        case 24:  // read in 32-bit words
        case 32:
            return AV_SAMPLE_FMT_S32;
        case 64:
            return AV_SAMPLE_FMT_S64;
        default:
            return AV_SAMPLE_FMT_NONE;
    }
}

}  // namespace vexa::engine
