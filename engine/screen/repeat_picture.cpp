#include "engine/screen/repeat_picture.h"

#include <algorithm>
#include <string>

namespace vexa::engine {
namespace {

constexpr int kNalSlice = 1;
constexpr int kNalIdr = 5;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

// The CABAC range table of the H.264 arithmetic coder (rangeTabLPS, by state and range quarter).
constexpr uint8_t kRangeLps[64][4] = {
    {128, 176, 208, 240}, {128, 167, 197, 227}, {128, 158, 187, 216}, {123, 150, 178, 205},
    {116, 142, 169, 195}, {111, 135, 160, 185}, {105, 128, 152, 175}, {100, 122, 144, 166},
    {95, 116, 137, 158},  {90, 110, 130, 150},  {85, 104, 123, 142},  {81, 99, 117, 135},
    {77, 94, 111, 128},   {73, 89, 105, 122},   {69, 85, 100, 116},   {66, 80, 95, 110},
    {62, 76, 90, 104},    {59, 72, 86, 99},     {56, 69, 81, 94},     {53, 65, 77, 89},
    {51, 62, 73, 85},     {48, 59, 69, 80},     {46, 56, 66, 76},     {43, 53, 63, 72},
    {41, 50, 59, 69},     {39, 48, 56, 65},     {37, 45, 54, 62},     {35, 43, 51, 59},
    {33, 41, 48, 56},     {32, 39, 46, 53},     {30, 37, 43, 50},     {29, 35, 41, 48},
    {27, 33, 39, 45},     {26, 31, 37, 43},     {24, 30, 35, 41},     {23, 28, 33, 39},
    {22, 27, 32, 37},     {21, 26, 30, 35},     {20, 24, 29, 33},     {19, 23, 27, 31},
    {18, 22, 26, 30},     {17, 21, 25, 28},     {16, 20, 23, 27},     {15, 19, 22, 25},
    {14, 18, 21, 24},     {14, 17, 20, 23},     {13, 16, 19, 22},     {12, 15, 18, 21},
    {12, 14, 17, 20},     {11, 14, 16, 19},     {11, 13, 15, 18},     {10, 12, 15, 17},
    {10, 12, 14, 16},     {9, 11, 13, 15},      {9, 11, 12, 14},      {8, 10, 12, 14},
    {8, 9, 11, 13},       {7, 9, 11, 12},       {7, 9, 10, 12},       {7, 8, 10, 11},
    {6, 8, 9, 11},        {6, 7, 9, 10},        {6, 7, 8, 9},         {2, 2, 2, 2}};

// The repeat's slice QP: the skip flag's context then starts with "skipped" as its likely value, so
// every bin of the picture is the likely one and the picture stays a few dozen bytes.
constexpr int kRepeatQp = 51;

Error Unreadable(const std::string& what) {
    return Error(ErrorCode::kInvalidArgument, "cannot read the H.264 " + what);
}

// Emulation prevention removed: the raw bits of a NAL unit's payload.
std::vector<uint8_t> Unescape(std::span<const uint8_t> nal) {
    std::vector<uint8_t> out;
    out.reserve(nal.size());
    int zeros = 0;
    for (const uint8_t b : nal) {
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

void AppendEscaped(std::vector<uint8_t>& out, std::span<const uint8_t> raw) {
    int zeros = 0;
    for (const uint8_t b : raw) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
}

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}
    uint32_t Bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
        return v;
    }
    uint32_t Bit() {
        if (pos_ >= data_.size() * 8) {
            overrun_ = true;
            return 0;
        }
        const uint32_t b = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
        ++pos_;
        return b;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (Bit() == 0 && !overrun_) {
            if (++zeros > 31) {
                overrun_ = true;
                return 0;
            }
        }
        return (1u << zeros) - 1 + Bits(zeros);
    }
    int32_t Se() {
        const uint32_t k = Ue();
        return (k & 1) ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
    }
    [[nodiscard]] size_t Position() const { return pos_; }
    [[nodiscard]] bool Overrun() const { return overrun_; }

  private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

class BitWriter {
  public:
    void Bit(uint32_t b) {
        if (used_ == 0) bytes_.push_back(0);
        if (b) bytes_.back() |= static_cast<uint8_t>(0x80u >> used_);
        used_ = (used_ + 1) % 8;
    }
    void Bits(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) Bit((v >> i) & 1u);
    }
    void Ue(uint32_t v) {
        const uint32_t x = v + 1;
        int len = 0;
        while ((x >> len) > 1) ++len;
        Bits(0, len);
        Bits(x, len + 1);
    }
    void Se(int32_t v) { Ue(v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v)); }
    [[nodiscard]] bool Aligned() const { return used_ == 0; }
    [[nodiscard]] size_t BitCount() const { return bytes_.size() * 8 - (used_ ? 8 - used_ : 0); }
    std::vector<uint8_t>& Bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

// The CABAC arithmetic coder, enough of it for the skip flags and the end-of-slice flags.
class CabacWriter {
  public:
    CabacWriter(BitWriter& out, int state) : out_(out), state_(state) {}
    // A bin of the one context in use (the skip flag); only its likely value is ever coded.
    void Likely() {
        const uint32_t lps = kRangeLps[state_][(range_ >> 6) & 3];
        range_ -= lps;
        state_ = std::min(state_ + 1, 62);
        Renormalise();
    }
    void Terminate(bool last) {
        range_ -= 2;
        if (!last) return Renormalise();
        low_ += range_;
        range_ = 2;
        Renormalise();
        Put((low_ >> 9) & 1);
        out_.Bits(((low_ >> 7) & 3) | 1, 2);  // its last bit is the stop bit of the slice
    }

  private:
    void Renormalise() {
        while (range_ < 256) {
            if (low_ < 256) {
                Put(0);
            } else if (low_ >= 512) {
                low_ -= 512;
                Put(1);
            } else {
                low_ -= 256;
                ++outstanding_;
            }
            range_ <<= 1;
            low_ <<= 1;
        }
    }
    void Put(uint32_t b) {
        if (first_) {
            first_ = false;
        } else {
            out_.Bit(b);
        }
        for (; outstanding_ > 0; --outstanding_) out_.Bit(1 - b);
    }

    BitWriter& out_;
    int state_;
    uint32_t low_ = 0;
    uint32_t range_ = 510;
    int outstanding_ = 0;
    bool first_ = true;
};

// The NAL units of an Annex B buffer: [start, end) of each unit's bytes after its start code.
std::vector<std::pair<size_t, size_t>> NalUnits(std::span<const uint8_t> data) {
    std::vector<std::pair<size_t, size_t>> units;
    size_t i = 0;
    auto next_start = [&](size_t from) {
        for (size_t k = from; k + 3 <= data.size(); ++k) {
            if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) return k;
        }
        return data.size();
    };
    i = next_start(0);
    while (i < data.size()) {
        const size_t begin = i + 3;
        size_t end = next_start(begin);
        const size_t following = end;
        while (end > begin && data[end - 1] == 0) --end;  // trailing zeros belong to the next start code
        units.emplace_back(begin, end);
        i = following;
    }
    return units;
}

// avcC: the parameter sets with 16-bit lengths; Annex B otherwise.
std::vector<std::span<const uint8_t>> ParameterSets(std::span<const uint8_t> extradata) {
    std::vector<std::span<const uint8_t>> sets;
    if (!extradata.empty() && extradata[0] == 1) {
        size_t pos = 5;
        for (int table = 0; table < 2 && pos < extradata.size(); ++table) {
            const int count = table == 0 ? extradata[pos] & 0x1f : extradata[pos];
            ++pos;
            for (int n = 0; n < count && pos + 2 <= extradata.size(); ++n) {
                const size_t len = (size_t{extradata[pos]} << 8) | extradata[pos + 1];
                pos += 2;
                if (pos + len > extradata.size()) break;
                sets.push_back(extradata.subspan(pos, len));
                pos += len;
            }
        }
        return sets;
    }
    for (const auto& [b, e] : NalUnits(extradata)) sets.push_back(extradata.subspan(b, e - b));
    return sets;
}

// Writes `width` bits of value at bit position `at` (most significant first).
void SetBits(std::vector<uint8_t>& raw, size_t at, int width, uint32_t value) {
    for (int i = 0; i < width; ++i) {
        const size_t bit = at + static_cast<size_t>(i);
        const auto mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((value >> (width - 1 - i)) & 1u) {
            raw[bit / 8] |= mask;
        } else {
            raw[bit / 8] &= static_cast<uint8_t>(~mask);
        }
    }
}

void SkipScalingList(BitReader& r, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) next = (last + r.Se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

}  // namespace

Result<RepeatPicture> RepeatPicture::FromParameterSets(std::span<const uint8_t> extradata) {
    RepeatPicture p;
    bool sps_seen = false, pps_seen = false;
    for (std::span<const uint8_t> nal : ParameterSets(extradata)) {
        if (nal.empty()) continue;
        const int type = nal[0] & 0x1f;
        const std::vector<uint8_t> raw = Unescape(nal.subspan(1));
        BitReader r(raw);
        if (type == kNalSps && !sps_seen) {
            const uint32_t profile = r.Bits(8);
            r.Bits(16);  // constraint flags, level
            r.Ue();      // sps id
            uint32_t chroma_format = 1;
            if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
                profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
                profile == 139 || profile == 134 || profile == 135) {
                chroma_format = r.Ue();
                if (chroma_format == 3 && r.Bit())
                    return Error(ErrorCode::kUnsupported, "separate colour planes");
                r.Ue();
                r.Ue();
                r.Bit();
                if (r.Bit()) {  // scaling matrices
                    for (int i = 0; i < (chroma_format != 3 ? 8 : 12); ++i)
                        if (r.Bit()) SkipScalingList(r, i < 6 ? 16 : 64);
                }
            }
            p.chroma_ = chroma_format != 0;
            p.log2_max_frame_num_ = static_cast<int>(r.Ue()) + 4;
            const uint32_t poc_type = r.Ue();
            if (r.Overrun()) return Unreadable("sequence parameter set");
            if (poc_type != 2)
                return Error(ErrorCode::kUnsupported,
                             "picture order count type " + std::to_string(poc_type) + " (only type 2)");
            const uint32_t refs = r.Ue();
            if (refs != 1)
                return Error(ErrorCode::kUnsupported,
                             std::to_string(refs) + " reference frames (a repeat needs exactly one)");
            r.Bit();  // gaps in frame numbers
            const uint32_t width = r.Ue() + 1, height = r.Ue() + 1;
            if (!r.Bit()) return Error(ErrorCode::kUnsupported, "interlaced pictures");
            if (r.Overrun() || p.log2_max_frame_num_ > 16) return Unreadable("sequence parameter set");
            p.mbs_ = static_cast<int>(width * height);
            sps_seen = true;
        } else if (type == kNalPps && !pps_seen) {
            p.pps_id_ = static_cast<int>(r.Ue());
            r.Ue();  // sps id
            p.cabac_ = r.Bit() != 0;
            r.Bit();  // bottom field order
            if (r.Ue() != 0) return Error(ErrorCode::kUnsupported, "slice groups");
            r.Ue();
            r.Ue();  // default reference counts
            p.weighted_pred_ = r.Bit() != 0;
            r.Bits(2);
            p.pic_init_qp_ = 26 + r.Se();
            r.Se();
            r.Se();
            p.deblocking_control_ = r.Bit() != 0;
            r.Bit();  // constrained intra prediction
            p.redundant_pic_cnt_ = r.Bit() != 0;
            if (r.Overrun()) return Unreadable("picture parameter set");
            p.pps_raw_ = raw;
            pps_seen = true;
        }
    }
    if (!sps_seen || !pps_seen) return Unreadable("parameter sets (none in the header)");
    return p;
}

Error RepeatPicture::Follow(std::span<const uint8_t> picture, std::vector<uint8_t>& out) {
    const uint32_t max_frame_num = 1u << log2_max_frame_num_;
    out.clear();
    bool rewritten = false;
    size_t copied = 0;
    for (const auto& [begin, end] : NalUnits(picture)) {
        if (end <= begin) continue;
        const uint8_t header = picture[begin];
        const int type = header & 0x1f;
        if (type != kNalSlice && type != kNalIdr) continue;
        // The header's first bytes suffice to find the frame number.
        const std::span<const uint8_t> payload = picture.subspan(begin + 1, end - begin - 1);
        std::vector<uint8_t> raw = Unescape(payload.first(std::min<size_t>(payload.size(), 32)));
        BitReader r(raw);
        r.Ue();
        r.Ue();
        r.Ue();  // first macroblock, slice type, picture parameter set
        const size_t at = r.Position();
        const uint32_t frame_num = r.Bits(log2_max_frame_num_);
        if (r.Overrun()) return Unreadable("slice header");
        followed_ = true;
        if (type == kNalIdr) raise_ = 0;
        const uint32_t renumbered = (frame_num + raise_) % max_frame_num;
        if ((header & 0x60) != 0) last_ref_frame_num_ = renumbered;
        if (renumbered == frame_num) continue;
        raw = Unescape(payload);
        SetBits(raw, at, log2_max_frame_num_, renumbered);
        out.insert(out.end(), picture.begin() + static_cast<ptrdiff_t>(copied),
                   picture.begin() + static_cast<ptrdiff_t>(begin + 1));
        AppendEscaped(out, raw);
        copied = end;
        rewritten = true;
    }
    if (rewritten) out.insert(out.end(), picture.begin() + static_cast<ptrdiff_t>(copied), picture.end());
    return {};
}

std::vector<uint8_t> RepeatPicture::UseOwnCavlcParameterSet() {
    if (!cabac_ || pps_id_ >= 255) return {};
    BitReader r(pps_raw_);
    r.Ue();
    const uint32_t sps_id = r.Ue();
    r.Bit();  // entropy coding mode
    BitWriter w;
    w.Ue(static_cast<uint32_t>(pps_id_ + 1));
    w.Ue(sps_id);
    w.Bit(0);  // CAVLC
    // The rest as it is, up to its stop bit, which ends the new set too.
    size_t last_one = 0;
    for (size_t bit = 0; bit < pps_raw_.size() * 8; ++bit)
        if ((pps_raw_[bit / 8] >> (7 - bit % 8)) & 1u) last_one = bit;
    for (size_t bit = r.Position(); bit <= last_one; ++bit) w.Bit((pps_raw_[bit / 8] >> (7 - bit % 8)) & 1u);
    while (!w.Aligned()) w.Bit(0);
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x68};  // a picture parameter set
    AppendEscaped(unit, w.Bytes());
    pps_id_ += 1;
    cabac_ = false;
    raw_.clear();
    return unit;
}

std::vector<uint8_t> RepeatPicture::Next() {
    const uint32_t max_frame_num = 1u << log2_max_frame_num_;
    const uint32_t frame_num = (last_ref_frame_num_ + 1) % max_frame_num;
    last_ref_frame_num_ = frame_num;
    raise_ = (raise_ + 1) % max_frame_num;
    // Every repeat is the same but for its frame number, a field of fixed width: the picture is
    // coded once and only that field written each time.
    if (raw_.empty()) raw_ = Code();
    SetBits(raw_, frame_num_at_, log2_max_frame_num_, frame_num);
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x40 | kNalSlice};  // a reference picture
    unit.reserve(raw_.size() + raw_.size() / 2 + 8);
    AppendEscaped(unit, raw_);
    return unit;
}

std::vector<uint8_t> RepeatPicture::Code() {
    BitWriter w;
    w.Ue(0);  // first macroblock
    w.Ue(5);  // P, as every slice of the picture
    w.Ue(static_cast<uint32_t>(pps_id_));
    frame_num_at_ = w.BitCount();
    w.Bits(0, log2_max_frame_num_);
    if (redundant_pic_cnt_) w.Ue(0);
    w.Bit(1);  // one reference in the list: the previous picture
    w.Ue(0);
    w.Bit(0);  // no reordering of the list
    if (weighted_pred_) {
        w.Ue(0);  // luma denominator
        if (chroma_) w.Ue(0);
        w.Bit(0);  // default luma weight
        if (chroma_) w.Bit(0);
    }
    w.Bit(0);  // sliding-window reference marking
    if (cabac_) w.Ue(0);
    w.Se(kRepeatQp - pic_init_qp_);
    if (deblocking_control_) w.Ue(1);  // no deblocking: the copy is exact
    if (cabac_) {
        while (!w.Aligned()) w.Bit(1);
        // Skip-flag context (11) initialised for cabac_init_idc 0 at the slice QP.
        constexpr int kPre = std::clamp(((23 * kRepeatQp) >> 4) + 33, 1, 126);
        static_assert(kPre > 63, "at this QP, skipped must be the likely value of the skip flag");
        CabacWriter c(w, kPre - 64);
        for (int mb = 0; mb < mbs_; ++mb) {
            c.Likely();  // skipped (the likely value at this QP)
            c.Terminate(mb + 1 == mbs_);
        }
    } else {
        w.Ue(static_cast<uint32_t>(mbs_));  // every macroblock skipped
        w.Bit(1);                           // stop bit
    }
    while (!w.Aligned()) w.Bit(0);
    return std::move(w.Bytes());
}

}  // namespace vexa::engine
