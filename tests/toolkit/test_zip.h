// Builds small ZIP archives in memory for the tests (stored or deflated entries).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vexa::toolkit::testing {

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = false;
};

inline void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

inline std::string rawDeflate(const std::string& data) {
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, data.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

inline std::vector<std::uint8_t> makeZip(const std::vector<ZipEntry>& entries) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> central;
    for (const auto& e : entries) {
        const std::string packed = e.deflate ? rawDeflate(e.data) : e.data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint16_t method = e.deflate ? 8 : 0;
        put32(out, 0x04034b50);
        put16(out, 20), put16(out, 0), put16(out, method), put16(out, 0), put16(out, 0);
        put32(out, crc), put32(out, static_cast<std::uint32_t>(packed.size())),
            put32(out, static_cast<std::uint32_t>(e.data.size()));
        put16(out, static_cast<std::uint32_t>(e.name.size())), put16(out, 0);
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.insert(out.end(), packed.begin(), packed.end());

        put32(central, 0x02014b50);
        put16(central, 20), put16(central, 20), put16(central, 0), put16(central, method);
        put16(central, 0), put16(central, 0);
        put32(central, crc), put32(central, static_cast<std::uint32_t>(packed.size())),
            put32(central, static_cast<std::uint32_t>(e.data.size()));
        put16(central, static_cast<std::uint32_t>(e.name.size())), put16(central, 0), put16(central, 0);
        put16(central, 0), put16(central, 0), put32(central, 0), put32(central, offset);
        central.insert(central.end(), e.name.begin(), e.name.end());
    }
    const auto dirOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    put32(out, 0x06054b50);
    put16(out, 0), put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size())),
        put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size())), put32(out, dirOffset);
    put16(out, 0);
    return out;
}

}  // namespace vexa::toolkit::testing
