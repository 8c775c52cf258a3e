// Read-only ZIP archive held in memory (the skin archive linked into the program).
// The archive owns a copy of (or a view on static) bytes; entries are inflated on request.
// Thread-safety: a ZipArchive is immutable after open(); read() may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexa::toolkit {

class ZipArchive {
  public:
    // Parses the central directory. A missing end record, entries pointing outside the data or
    // unsupported compression leave `error` set and return nothing.
    // `bytes` must outlive the archive (static data linked into the program).
    [[nodiscard]] static std::optional<ZipArchive> open(std::span<const std::uint8_t> bytes,
                                                        std::string* error);
    // Keeps its own copy of the bytes (tests, archives read from disk).
    [[nodiscard]] static std::optional<ZipArchive> openCopy(std::vector<std::uint8_t> bytes,
                                                            std::string* error);

    // Inflates one entry ("images/x.png"); nothing when absent or damaged.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> read(const std::string& name,
                                                                std::string* error = nullptr) const;
    [[nodiscard]] bool contains(const std::string& name) const { return entries_.count(name) != 0; }
    [[nodiscard]] std::vector<std::string> names() const;

  private:
    struct Entry {
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint32_t compressedSize = 0;
        std::uint32_t size = 0;
        std::uint32_t localHeaderOffset = 0;
    };
    std::span<const std::uint8_t> bytes_;
    std::shared_ptr<const std::vector<std::uint8_t>> owned_;
    std::map<std::string, Entry> entries_;
};

}  // namespace vexa::toolkit
