#include "engine/regular_mp4.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <map>
#include <utility>

namespace vexa::engine {
namespace {

constexpr uint64_t kMaxIndexBox = 256ull << 20;  // a header or fragment header larger is refused

Error Bad(const std::string& why) {
    return Error(ErrorCode::kInvalidArgument, why);
}

uint32_t Be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint64_t Be64(const uint8_t* p) {
    return (uint64_t{Be32(p)} << 32) | Be32(p + 4);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v >> 32));
    Put32(out, static_cast<uint32_t>(v));
}
void Set32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void Set64(uint8_t* p, uint64_t v) {
    Set32(p, static_cast<uint32_t>(v >> 32));
    Set32(p + 4, static_cast<uint32_t>(v));
}

// A box as read: type, payload bytes, and for the containers this touches, its children.
struct Box {
    std::string type;
    std::vector<uint8_t> payload;
    std::vector<Box> children;
    bool container = false;
};

bool IsContainer(const std::string& type) {
    return type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl" ||
           type == "edts" || type == "mvex" || type == "moof" || type == "traf";
}

// Parses the boxes in [p, p + n); false when one runs past the end.
bool ParseBoxes(const uint8_t* p, size_t n, std::vector<Box>& out, int depth = 0) {
    if (depth > 8) return false;
    size_t at = 0;
    while (at < n) {
        if (n - at < 8) return false;
        uint64_t size = Be32(p + at);
        size_t header = 8;
        if (size == 1) {
            if (n - at < 16) return false;
            size = Be64(p + at + 8);
            header = 16;
        } else if (size == 0) {
            size = n - at;
        }
        if (size < header || size > n - at) return false;
        Box box;
        box.type.assign(reinterpret_cast<const char*>(p + at + 4), 4);
        box.container = IsContainer(box.type);
        const uint8_t* body = p + at + header;
        const size_t body_size = static_cast<size_t>(size) - header;
        if (box.container) {
            if (!ParseBoxes(body, body_size, box.children, depth + 1)) return false;
        } else {
            box.payload.assign(body, body + body_size);
        }
        out.push_back(std::move(box));
        at += static_cast<size_t>(size);
    }
    return true;
}

void Serialize(const Box& box, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    Put32(out, 0);
    out.insert(out.end(), box.type.begin(), box.type.end());
    if (box.container) {
        for (const Box& child : box.children) Serialize(child, out);
    } else {
        out.insert(out.end(), box.payload.begin(), box.payload.end());
    }
    Set32(out.data() + start, static_cast<uint32_t>(out.size() - start));
}

Box* Find(Box& parent, const char* type) {
    for (Box& b : parent.children)
        if (b.type == type) return &b;
    return nullptr;
}

Box Leaf(const char* type, std::vector<uint8_t> payload) {
    Box b;
    b.type = type;
    b.payload = std::move(payload);
    return b;
}

struct TrackDefaults {
    uint32_t description = 1;
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

struct Sample {
    uint64_t offset;
    uint32_t size;
    uint32_t duration;
    int32_t composition;
    bool sync;
};

struct Track {
    uint32_t id = 0;
    Box* trak = nullptr;
    TrackDefaults defaults;
    std::vector<Sample> samples;
    std::vector<std::pair<uint64_t, uint32_t>> chunks;  // first sample's offset, sample count
    uint64_t decode_end = 0;                            // sum of durations so far
    uint64_t first_decode = 0;                          // decoding time of the first sample
};

constexpr uint32_t kNonSync = 0x10000;

// One traf: its samples appended to the track. Offsets are checked against the file.
Error ReadTraf(Box& traf, uint64_t moof_offset, uint64_t data_end, std::map<uint32_t, Track>& tracks) {
    Box* tfhd = Find(traf, "tfhd");
    if (!tfhd || tfhd->payload.size() < 8) return Bad("a fragment lacks its track header");
    const uint8_t* h = tfhd->payload.data();
    const uint32_t flags = Be32(h) & 0xFFFFFF;
    const auto it = tracks.find(Be32(h + 4));
    if (it == tracks.end()) return Bad("a fragment names a track the file does not have");
    Track& track = it->second;
    size_t at = 8;
    auto field32 = [&](uint32_t& v) {
        if (at + 4 > tfhd->payload.size()) return false;
        v = Be32(h + at);
        at += 4;
        return true;
    };
    uint64_t base = moof_offset;
    if (flags & 0x1) {
        if (at + 8 > tfhd->payload.size()) return Bad("a fragment's track header is cut");
        base = Be64(h + at);
        at += 8;
    }
    TrackDefaults d = track.defaults;
    if ((flags & 0x2) && !field32(d.description)) return Bad("a fragment's track header is cut");
    if ((flags & 0x8) && !field32(d.duration)) return Bad("a fragment's track header is cut");
    if ((flags & 0x10) && !field32(d.size)) return Bad("a fragment's track header is cut");
    if ((flags & 0x20) && !field32(d.flags)) return Bad("a fragment's track header is cut");
    if (d.description != 1) return Bad("a fragment uses a second sample description");

    if (Box* tfdt = Find(traf, "tfdt"); tfdt && tfdt->payload.size() >= 8) {
        const uint8_t* t = tfdt->payload.data();
        const uint64_t start = t[0] == 1 && tfdt->payload.size() >= 12 ? Be64(t + 4) : Be32(t + 4);
        // A track that starts late keeps its start (an empty edit says it); a gap before a later
        // fragment lengthens the sample before it.
        if (track.samples.empty()) {
            track.first_decode = start;
            track.decode_end = start;
        } else if (start > track.decode_end) {
            const uint64_t longer = track.samples.back().duration + (start - track.decode_end);
            if (longer <= UINT32_MAX) {
                track.samples.back().duration = static_cast<uint32_t>(longer);
                track.decode_end = start;
            }
        }
    }

    uint64_t next_offset = base;
    for (Box& trun : traf.children) {
        if (trun.type != "trun") continue;
        const std::vector<uint8_t>& r = trun.payload;
        if (r.size() < 8) return Bad("a fragment's sample list is cut");
        const bool signed_cto = r[0] == 1;
        const uint32_t tflags = Be32(r.data()) & 0xFFFFFF;
        const uint32_t count = Be32(r.data() + 4);
        size_t p = 8;
        uint64_t offset = next_offset;
        if (tflags & 0x1) {
            if (p + 4 > r.size()) return Bad("a fragment's sample list is cut");
            offset = base + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(Be32(&r[p]))));
            p += 4;
        }
        uint32_t first_flags = d.flags;
        const bool has_first = tflags & 0x4;
        if (has_first) {
            if (p + 4 > r.size()) return Bad("a fragment's sample list is cut");
            first_flags = Be32(&r[p]);
            p += 4;
        }
        const size_t per_sample =
            4u * (((tflags >> 8) & 1) + ((tflags >> 9) & 1) + ((tflags >> 10) & 1) + ((tflags >> 11) & 1));
        if (per_sample * count > r.size() - p) return Bad("a fragment's sample list is cut");
        if (count > 0) track.chunks.emplace_back(offset, count);
        for (uint32_t i = 0; i < count; ++i) {
            Sample s{offset, d.size, d.duration, 0, false};
            uint32_t sflags = i == 0 && has_first ? first_flags : d.flags;
            if (tflags & 0x100) s.duration = Be32(&r[p]), p += 4;
            if (tflags & 0x200) s.size = Be32(&r[p]), p += 4;
            if (tflags & 0x400) {
                const uint32_t f = Be32(&r[p]);
                p += 4;
                if (!(i == 0 && has_first)) sflags = f;
            }
            if (tflags & 0x800) {
                const uint32_t c = Be32(&r[p]);
                p += 4;
                s.composition = signed_cto ? static_cast<int32_t>(c)
                                           : static_cast<int32_t>(std::min<uint32_t>(c, INT32_MAX));
            }
            s.sync = !(sflags & kNonSync);
            // Every sample takes at least a byte of the file: the count cannot outgrow the file.
            if (s.size == 0) return Bad("a fragment has an empty sample");
            if (s.offset + s.size > data_end || s.offset < 8) return Bad("a sample lies outside the file");
            offset += s.size;
            track.decode_end += s.duration;
            track.samples.push_back(s);
        }
        next_offset = offset;
    }
    return {};
}

// The sample tables of one track, replacing the empty ones of the fragmented header.
void WriteTables(Track& t) {
    Box* mdia = Find(*t.trak, "mdia");
    Box* minf = mdia ? Find(*mdia, "minf") : nullptr;
    Box* stbl = minf ? Find(*minf, "stbl") : nullptr;
    if (!stbl) return;  // every track's boxes were checked when the header was read
    std::vector<Box> kept;
    for (Box& b : stbl->children)
        if (b.type == "stsd") kept.push_back(std::move(b));
    std::vector<uint8_t> p;

    // Decoding times: runs of equal durations.
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (const Sample& s : t.samples) {
        if (!runs.empty() && runs.back().second == s.duration) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, s.duration);
        }
    }
    Put32(p, 0);
    Put32(p, static_cast<uint32_t>(runs.size()));
    for (auto [n, d] : runs) Put32(p, n), Put32(p, d);
    kept.push_back(Leaf("stts", std::exchange(p, {})));

    // Composition offsets, when any sample has one.
    const bool any_cto =
        std::any_of(t.samples.begin(), t.samples.end(), [](const Sample& s) { return s.composition != 0; });
    if (any_cto) {
        const bool negative = std::any_of(t.samples.begin(), t.samples.end(),
                                          [](const Sample& s) { return s.composition < 0; });
        std::vector<std::pair<uint32_t, int32_t>> c;
        for (const Sample& s : t.samples) {
            if (!c.empty() && c.back().second == s.composition) {
                ++c.back().first;
            } else {
                c.emplace_back(1, s.composition);
            }
        }
        Put32(p, negative ? 0x01000000u : 0u);
        Put32(p, static_cast<uint32_t>(c.size()));
        for (auto [n, o] : c) Put32(p, n), Put32(p, static_cast<uint32_t>(o));
        kept.push_back(Leaf("ctts", std::exchange(p, {})));
    }

    // Sync samples, unless every sample is one.
    std::vector<uint32_t> sync;
    for (size_t i = 0; i < t.samples.size(); ++i)
        if (t.samples[i].sync) sync.push_back(static_cast<uint32_t>(i + 1));
    if (sync.size() != t.samples.size()) {
        Put32(p, 0);
        Put32(p, static_cast<uint32_t>(sync.size()));
        for (uint32_t n : sync) Put32(p, n);
        kept.push_back(Leaf("stss", std::exchange(p, {})));
    }

    // Chunks: one per run of samples that lie together.
    Put32(p, 0);
    const size_t entries_at = sizeof(uint32_t);  // after the version and flags
    Put32(p, 0);
    uint32_t entries = 0, last_count = 0;
    for (size_t i = 0; i < t.chunks.size(); ++i) {
        if (i > 0 && t.chunks[i].second == last_count) continue;
        Put32(p, static_cast<uint32_t>(i + 1));
        Put32(p, t.chunks[i].second);
        Put32(p, 1);
        last_count = t.chunks[i].second;
        ++entries;
    }
    Set32(p.data() + entries_at, entries);
    kept.push_back(Leaf("stsc", std::exchange(p, {})));

    Put32(p, 0);
    Put32(p, 0);
    Put32(p, static_cast<uint32_t>(t.samples.size()));
    for (const Sample& s : t.samples) Put32(p, s.size);
    kept.push_back(Leaf("stsz", std::exchange(p, {})));

    const bool wide = !t.chunks.empty() && t.chunks.back().first > UINT32_MAX;
    Put32(p, 0);
    Put32(p, static_cast<uint32_t>(t.chunks.size()));
    for (auto [offset, n] : t.chunks) wide ? Put64(p, offset) : Put32(p, static_cast<uint32_t>(offset));
    kept.push_back(Leaf(wide ? "co64" : "stco", std::exchange(p, {})));
    stbl->children = std::move(kept);
}

// Writes a duration field of a full box (mvhd, tkhd, mdhd) at the place its version gives.
bool SetDuration(Box& box, size_t v0_at, size_t v1_at, uint64_t duration) {
    if (box.payload.empty()) return false;
    const bool v1 = box.payload[0] == 1;
    const size_t at = v1 ? v1_at : v0_at;
    if (box.payload.size() < at + (v1 ? 8 : 4)) return false;
    if (v1) {
        Set64(&box.payload[at], duration);
    } else {
        if (duration > UINT32_MAX) return false;
        Set32(&box.payload[at], static_cast<uint32_t>(duration));
    }
    return true;
}

uint32_t Timescale(const Box& full_box, size_t v0_at, size_t v1_at) {
    const size_t at = !full_box.payload.empty() && full_box.payload[0] == 1 ? v1_at : v0_at;
    return full_box.payload.size() >= at + 4 ? Be32(&full_box.payload[at]) : 0;
}

uint64_t Rescale(uint64_t v, uint32_t from, uint32_t to) {
    return static_cast<uint64_t>(static_cast<long double>(v) * to / from + 0.5L);
}

struct TopBox {
    std::string type;
    uint64_t offset;
    uint64_t size;
    uint32_t header;
};

Result<std::vector<uint8_t>> ReadBody(const ReadAt& read, const TopBox& b) {
    if (b.size - b.header > kMaxIndexBox) return Bad("a " + b.type + " box is too large");
    std::vector<uint8_t> body(static_cast<size_t>(b.size - b.header));
    if (!read(b.offset + b.header, body.data(), body.size())) return Bad("cannot read a " + b.type + " box");
    return body;
}

}  // namespace

Result<InPlaceFinish> PlanInPlaceFinish(const ReadAt& read, uint64_t size) {
    // The top-level boxes, up to the last whole one (a cut tail is dropped).
    std::vector<TopBox> top;
    uint64_t at = 0;
    while (size - at >= 8) {
        uint8_t h[16];
        if (!read(at, h, 8)) break;
        uint64_t box_size = Be32(h);
        uint32_t header = 8;
        if (box_size == 1) {
            if (size - at < 16 || !read(at + 8, h + 8, 8)) break;
            box_size = Be64(h + 8);
            header = 16;
        } else if (box_size == 0) {
            box_size = size - at;
        }
        if (box_size < header || box_size > size - at) break;
        top.push_back({std::string(reinterpret_cast<const char*>(h + 4), 4), at, box_size, header});
        at += box_size;
    }
    // A cut fragment: its moof without the whole of its mdat is dropped with what follows.
    while (!top.empty() && (top.back().type == "moof")) top.pop_back();
    // The index of a finish cut short before its last write (with the copy of the fragment index
    // that follows it) comes after the fragmented header: it is written again in the same place.
    const auto first_header =
        std::find_if(top.begin(), top.end(), [](const TopBox& b) { return b.type == "moov"; });
    if (first_header != top.end()) {
        const auto second =
            std::find_if(first_header + 1, top.end(), [](const TopBox& b) { return b.type == "moov"; });
        if (second != top.end() &&
            (second + 1 == top.end() || (second + 2 == top.end() && (second + 1)->type == "mfra")))
            top.erase(second, top.end());
    }
    uint64_t data_end = top.empty() ? 0 : top.back().offset + top.back().size;

    InPlaceFinish plan;
    std::vector<Box> header;
    const TopBox* moov_box = nullptr;
    for (const TopBox& b : top) {
        if (b.type == "moov") {
            if (moov_box) return Bad("the file has two headers");
            moov_box = &b;
        }
    }
    if (!moov_box) return Bad("the file has no header");
    {
        Result<std::vector<uint8_t>> body = ReadBody(read, *moov_box);
        if (!body.ok()) return body.error();
        Box moov;
        moov.type = "moov";
        moov.container = true;
        if (!ParseBoxes(body->data(), body->size(), moov.children)) return Bad("the header is malformed");
        header.push_back(std::move(moov));
    }
    Box& moov = header[0];
    Box* mvex = Find(moov, "mvex");
    if (!mvex) return Bad("the file is not fragmented");
    Box* mvhd = Find(moov, "mvhd");
    if (!mvhd) return Bad("the header lacks the movie header");
    const uint32_t movie_scale = Timescale(*mvhd, 12, 20);
    if (movie_scale == 0) return Bad("the movie header has no time scale");

    std::map<uint32_t, Track> tracks;
    for (Box& trak : moov.children) {
        if (trak.type != "trak") continue;
        Box* tkhd = Find(trak, "tkhd");
        Box* mdia = Find(trak, "mdia");
        Box* minf = mdia ? Find(*mdia, "minf") : nullptr;
        if (!tkhd || tkhd->payload.size() < 16 || !mdia || !Find(*mdia, "mdhd") || !minf ||
            !Find(*minf, "stbl"))
            return Bad("a track header is incomplete");
        const uint32_t id = Be32(&tkhd->payload[tkhd->payload[0] == 1 ? 20 : 12]);
        tracks[id].id = id;
        tracks[id].trak = &trak;
    }
    for (const Box& trex : mvex->children) {
        if (trex.type != "trex" || trex.payload.size() < 24) continue;
        const auto it = tracks.find(Be32(&trex.payload[4]));
        if (it == tracks.end()) continue;
        it->second.defaults = {Be32(&trex.payload[8]), Be32(&trex.payload[12]), Be32(&trex.payload[16]),
                               Be32(&trex.payload[20])};
    }

    // The first box only the fragmented form reads (normally its header) starts the span that becomes
    // one media-data box.
    const TopBox* wrap_from = moov_box;
    for (const TopBox& b : top) {
        if ((b.type == "moov" || b.type == "mfra" || b.type == "moof") && b.offset < wrap_from->offset)
            wrap_from = &b;
        if (b.type != "moof") continue;
        Result<std::vector<uint8_t>> body = ReadBody(read, b);
        if (!body.ok()) return body.error();
        std::vector<Box> children;
        if (!ParseBoxes(body->data(), body->size(), children)) return Bad("a fragment header is malformed");
        for (Box& traf : children) {
            if (traf.type != "traf") continue;
            if (Error e = ReadTraf(traf, b.offset, data_end, tracks); !e.ok()) return e;
        }
    }

    uint64_t movie_duration = 0;
    for (auto& [id, t] : tracks) {
        plan.samples += t.samples.size();
        Box* mdia = Find(*t.trak, "mdia");
        Box* mdhd = mdia ? Find(*mdia, "mdhd") : nullptr;
        const uint32_t media_scale = mdhd ? Timescale(*mdhd, 12, 20) : 0;
        if (media_scale == 0) return Bad("a track has no time scale");
        // The samples' decoding span, and the end of their presentation (composition offsets move it).
        uint64_t media_duration = 0;
        int64_t shown_end = 0;
        for (const Sample& s : t.samples) {
            shown_end = std::max(shown_end, static_cast<int64_t>(media_duration) + s.composition +
                                                static_cast<int64_t>(s.duration));
            media_duration += s.duration;
        }
        if (!SetDuration(*mdhd, 16, 24, media_duration)) return Bad("a track is too long for its header");
        // The presentation starts where the edit list says (an encoder's delay); a list written
        // without a length gets the track's.
        uint64_t shown = media_duration;
        // An empty edit (the track starts late) keeps its length and adds to the track's; the edit
        // that shows the media gets the length of what it shows.
        uint64_t track_duration = 0;
        bool edited = false;
        if (Box* edts = Find(*t.trak, "edts")) {
            if (Box* elst = Find(*edts, "elst"); elst && elst->payload.size() >= 8) {
                std::vector<uint8_t>& e = elst->payload;
                const bool v1 = e[0] == 1;
                const size_t entry = v1 ? 20 : 12;
                const uint32_t count = Be32(&e[4]);
                if (count > 0 && (e.size() - 8) / entry >= count) {
                    edited = true;
                    for (uint32_t n = 0; n < count; ++n) {
                        uint8_t* p = &e[8 + n * entry];
                        const int64_t media_time =
                            v1 ? static_cast<int64_t>(Be64(p + 8)) : static_cast<int32_t>(Be32(p + 4));
                        uint64_t segment = v1 ? Be64(p) : Be32(p);
                        if (media_time >= 0) {
                            shown = static_cast<uint64_t>(std::max<int64_t>(0, shown_end - media_time));
                            segment = Rescale(shown, media_scale, movie_scale);
                            if (v1) {
                                Set64(p, segment);
                            } else {
                                Set32(p, static_cast<uint32_t>(std::min<uint64_t>(segment, UINT32_MAX)));
                            }
                        }
                        track_duration += segment;
                    }
                }
            }
        }
        if (!edited) track_duration = Rescale(shown, media_scale, movie_scale);
        if (t.first_decode > 0) {
            // The track's first sample comes this late: an empty edit before the others says so.
            const uint64_t delay = Rescale(t.first_decode, media_scale, movie_scale);
            Box* edts = Find(*t.trak, "edts");
            if (!edts) {
                Box made;
                made.type = "edts";
                made.container = true;
                std::vector<uint8_t> list;
                Put32(list, 0);
                Put32(list, 1);
                Put32(list, static_cast<uint32_t>(std::min<uint64_t>(track_duration, UINT32_MAX)));
                Put32(list, 0);
                Put32(list, 0x00010000);
                made.children.push_back(Leaf("elst", std::move(list)));
                auto mdia_at = std::find_if(t.trak->children.begin(), t.trak->children.end(),
                                            [](const Box& b) { return b.type == "mdia"; });
                edts = &*t.trak->children.insert(mdia_at, std::move(made));
            }
            Box* elst = Find(*edts, "elst");
            if (!elst || elst->payload.size() < 8) return Bad("a track's edit list is malformed");
            std::vector<uint8_t>& e = elst->payload;
            const bool v1 = e[0] == 1;
            std::vector<uint8_t> empty;
            if (v1) {
                Put64(empty, delay);
                Put64(empty, UINT64_MAX);
            } else {
                Put32(empty, static_cast<uint32_t>(std::min<uint64_t>(delay, UINT32_MAX)));
                Put32(empty, UINT32_MAX);
            }
            Put32(empty, 0x00010000);
            e.insert(e.begin() + 8, empty.begin(), empty.end());
            Set32(&e[4], Be32(&e[4]) + 1);
            track_duration += delay;
        }
        if (Box* tkhd = Find(*t.trak, "tkhd"); !tkhd || !SetDuration(*tkhd, 20, 28, track_duration))
            return Bad("a track is too long for its header");
        movie_duration = std::max(movie_duration, track_duration);
        WriteTables(t);
    }
    // A recording stopped before its first picture or sound: nothing to index, the file stays.
    if (plan.samples == 0) return InPlaceFinish{};
    if (!SetDuration(*mvhd, 16, 24, movie_duration)) return Bad("the recording is too long for its header");
    moov.children.erase(std::remove_if(moov.children.begin(), moov.children.end(),
                                       [](const Box& b) { return b.type == "mvex"; }),
                        moov.children.end());
    Serialize(moov, plan.index);
    plan.index_offset = data_end;
    // The fragment index, when it is the last box, is copied after the new index: readers that find
    // the fragments through the index at the file's end keep finding them until the file is regular.
    if (top.back().type == "mfra") {
        Result<std::vector<uint8_t>> body = ReadBody(read, top.back());
        if (!body.ok()) return body.error();
        std::vector<uint8_t> head(top.back().header);
        if (!read(top.back().offset, head.data(), head.size())) return Bad("cannot read a mfra box");
        plan.fragment_index = std::move(head);
        plan.fragment_index.insert(plan.fragment_index.end(), body->begin(), body->end());
    }
    // The new box header lies inside the box it replaces (a header holds its movie header, a
    // fragment header its sequence number: both are larger).
    if (wrap_from->size < 16) return Bad("a fragment header is malformed");
    plan.wrap_offset = wrap_from->offset;
    std::vector<uint8_t> wrap;
    Put32(wrap, 1);
    wrap.insert(wrap.end(), {'m', 'd', 'a', 't'});
    Put64(wrap, data_end - plan.wrap_offset);
    std::copy(wrap.begin(), wrap.end(), plan.wrap.begin());
    return plan;
}

Error FinishInPlace(const std::string& path) {
    const std::string what = "cannot finish " + path;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Error::FromErrno(errno, what);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return Error::FromErrno(errno, what);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    int read_error = 0;
    const ReadAt read = [&](uint64_t offset, void* buffer, size_t n) {
        auto* p = static_cast<uint8_t*>(buffer);
        while (n > 0) {
            const ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                read_error = got < 0 ? errno : 0;
                return false;
            }
            p += got, offset += static_cast<uint64_t>(got), n -= static_cast<size_t>(got);
        }
        return true;
    };
    Result<InPlaceFinish> plan = PlanInPlaceFinish(read, size);
    if (read_error != 0) return Error::FromErrno(read_error, what);
    if (!plan.ok()) return plan.error().Within(what);
    if (plan->index.empty()) return {};

    auto write_all = [&](const uint8_t* p, size_t n, uint64_t offset) {
        while (n > 0) {
            const ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(offset));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return put < 0 ? errno : EIO;
            p += put, offset += static_cast<uint64_t>(put), n -= static_cast<size_t>(put);
        }
        return 0;
    };
    // The index (and the fragment index's copy) first, on the disk before the fragments are given up.
    const uint64_t copy_offset = plan->index_offset + plan->index.size();
    int err = write_all(plan->index.data(), plan->index.size(), plan->index_offset);
    if (err == 0) err = write_all(plan->fragment_index.data(), plan->fragment_index.size(), copy_offset);
    if (err == 0 && ::ftruncate(fd, static_cast<off_t>(copy_offset + plan->fragment_index.size())) != 0)
        err = errno;
    if (err == 0 && ::fdatasync(fd) != 0) err = errno;
    if (err != 0) {
        // Back to the fragmented file's length (a cut tail overwritten here was never read).
        (void)::ftruncate(fd, static_cast<off_t>(size));
        (void)::fdatasync(fd);
        return Error::FromErrno(err, what);
    }
    // Then the one write that makes the file regular: until it is on the disk, the fragmented form
    // is read.
    if ((err = write_all(plan->wrap.data(), plan->wrap.size(), plan->wrap_offset)) != 0)
        return Error::FromErrno(err, what);
    // The copy of the fragment index becomes free space (a regular file that still ends in it reads
    // the same).
    static constexpr uint8_t kFree[4] = {'f', 'r', 'e', 'e'};
    if (!plan->fragment_index.empty() && (err = write_all(kFree, 4, copy_offset + 4)) != 0)
        return Error::FromErrno(err, what);
    if (::fdatasync(fd) != 0) return Error::FromErrno(errno, what);
    return {};
}

}  // namespace vexa::engine
