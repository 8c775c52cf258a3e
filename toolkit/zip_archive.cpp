#include "toolkit/zip_archive.h"

#include <zlib.h>

#include <cstring>
#include <memory>

namespace vexa::toolkit {

namespace {

constexpr std::uint32_t kEndOfCentralDirSig = 0x06054b50;
constexpr std::uint32_t kCentralHeaderSig = 0x02014b50;
constexpr std::uint32_t kLocalHeaderSig = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint32_t kMaxEntrySize = 256u << 20;  // guards against absurd sizes in damaged headers

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// The end record sits in the last 22 + 65535 bytes (its comment may be up to 64 KiB long).
std::optional<std::size_t> findEndRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kEndRecordSize) return std::nullopt;
    const std::size_t lowest =
        bytes.size() > kEndRecordSize + 0xFFFF ? bytes.size() - kEndRecordSize - 0xFFFF : 0;
    for (std::size_t pos = bytes.size() - kEndRecordSize + 1; pos-- > lowest;) {
        if (le32(bytes.data() + pos) == kEndOfCentralDirSig) return pos;
    }
    return std::nullopt;
}

bool inflateRaw(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&stream, Z_FINISH);
    const bool complete = rc == Z_STREAM_END && stream.total_out == out.size();
    inflateEnd(&stream);
    return complete;
}

}  // namespace

std::optional<ZipArchive> ZipArchive::openCopy(std::vector<std::uint8_t> bytes, std::string* error) {
    auto owned = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    auto archive = open(std::span<const std::uint8_t>(*owned), error);
    if (archive) archive->owned_ = std::move(owned);
    return archive;
}

std::optional<ZipArchive> ZipArchive::open(std::span<const std::uint8_t> bytes, std::string* error) {
    const auto end = findEndRecord(bytes);
    if (!end) {
        setError(error, "not a ZIP archive (no end of central directory)");
        return std::nullopt;
    }
    const std::uint8_t* record = bytes.data() + *end;
    const std::uint16_t count = le16(record + 10);
    const std::uint32_t dirSize = le32(record + 12);
    const std::uint32_t dirOffset = le32(record + 16);
    if (std::uint64_t{dirOffset} + dirSize > *end) {
        setError(error, "central directory lies outside the archive");
        return std::nullopt;
    }
    ZipArchive archive;
    archive.bytes_ = bytes;
    std::size_t pos = dirOffset;
    const std::size_t dirEnd = std::size_t{dirOffset} + dirSize;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (pos + kCentralHeaderSize > dirEnd || le32(bytes.data() + pos) != kCentralHeaderSig) {
            setError(error, "damaged central directory entry " + std::to_string(i));
            return std::nullopt;
        }
        const std::uint8_t* h = bytes.data() + pos;
        Entry entry{le16(h + 10), le32(h + 16), le32(h + 20), le32(h + 24), le32(h + 42)};
        const std::size_t nameLength = le16(h + 28);
        const std::size_t extraLength = le16(h + 30);
        const std::size_t commentLength = le16(h + 32);
        if (pos + kCentralHeaderSize + nameLength > dirEnd) {
            setError(error, "damaged central directory entry name");
            return std::nullopt;
        }
        std::string name(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
        if (!name.empty() && name.back() != '/') archive.entries_[name] = entry;
        pos += kCentralHeaderSize + nameLength + extraLength + commentLength;
    }
    return archive;
}

std::vector<std::string> ZipArchive::names() const {
    std::vector<std::string> result;
    for (const auto& [name, entry] : entries_) result.push_back(name);
    return result;
}

std::optional<std::vector<std::uint8_t>> ZipArchive::read(const std::string& name, std::string* error) const {
    const auto it = entries_.find(name);
    if (it == entries_.end()) {
        setError(error, "no entry " + name);
        return std::nullopt;
    }
    const Entry& entry = it->second;
    const std::size_t local = entry.localHeaderOffset;
    if (local + kLocalHeaderSize > bytes_.size() || le32(bytes_.data() + local) != kLocalHeaderSig) {
        setError(error, "damaged local header of " + name);
        return std::nullopt;
    }
    const std::size_t dataStart =
        local + kLocalHeaderSize + le16(bytes_.data() + local + 26) + le16(bytes_.data() + local + 28);
    if (std::uint64_t{dataStart} + entry.compressedSize > bytes_.size() || entry.size > kMaxEntrySize) {
        setError(error, "entry " + name + " lies outside the archive");
        return std::nullopt;
    }
    const auto packed = bytes_.subspan(dataStart, entry.compressedSize);
    std::vector<std::uint8_t> out(entry.size);
    bool ok = false;
    if (entry.method == kStored) {
        ok = entry.compressedSize == entry.size;
        if (ok && entry.size) std::memcpy(out.data(), packed.data(), entry.size);
    } else if (entry.method == kDeflated) {
        ok = inflateRaw(packed, out);
    } else {
        setError(error, "unsupported compression in " + name);
        return std::nullopt;
    }
    if (!ok || crc32(0, out.data(), static_cast<uInt>(out.size())) != entry.crc) {
        setError(error, "damaged data in " + name);
        return std::nullopt;
    }
    return out;
}

}  // namespace vexa::toolkit
