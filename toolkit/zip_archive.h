// Read-only ZIP archive held in memory (the skin archive linked into the program), read with libzip
// over a buffer source. The archive either views bytes that outlive it (static data linked into the
// program) or keeps its own copy. Entries are inflated and their CRC checked on request; a damaged
// archive or entry is an Error naming the entry and the fault, never a crash.
// Thread-safety: the entry list is immutable after open(); read() may be called from any thread
// (the libzip handle is used by one read at a time, under the archive's mutex).
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vexa::toolkit {

class ZipArchive {
  public:
    // Reads the central directory. Errors: not an archive or a damaged directory (kIo), split or
    // otherwise unsupported archives (kUnsupported); their messages say what is wrong ("not a ZIP
    // archive") for the caller to name the archive (Error::Within). `bytes` must outlive the archive.
    [[nodiscard]] static Result<ZipArchive> open(std::span<const std::uint8_t> bytes);
    // Keeps its own copy of the bytes (tests, archives read from disk).
    [[nodiscard]] static Result<ZipArchive> openCopy(std::vector<std::uint8_t> bytes);

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    ~ZipArchive();

    // Inflates one entry ("images/x.png"). Errors: kNotFound when absent, kIo when its data or
    // headers are damaged ("entry 'x.png' is damaged (CRC mismatch)"), kUnsupported for a
    // compression or encryption libzip cannot read.
    [[nodiscard]] Result<std::vector<std::uint8_t>> read(const std::string& name) const;
    [[nodiscard]] bool contains(const std::string& name) const { return entries_.count(name) != 0; }
    // Entry names as stored (bytes, not re-encoded), sorted; folders are left out.
    [[nodiscard]] std::vector<std::string> names() const;

  private:
    struct Handle;  // the libzip archive, the bytes it reads and the mutex around it
    ZipArchive(std::unique_ptr<Handle> handle, std::map<std::string, std::uint64_t> entries);
    [[nodiscard]] static Result<ZipArchive> openHandle(std::unique_ptr<Handle> handle,
                                                       std::span<const std::uint8_t> bytes);

    std::unique_ptr<Handle> handle_;
    std::map<std::string, std::uint64_t> entries_;  // name -> libzip index
};

}  // namespace vexa::toolkit
