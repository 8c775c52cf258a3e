#include "toolkit/zip_archive.h"

#include <zip.h>

#include <mutex>

namespace vexa::toolkit {

namespace {

constexpr std::uint64_t kMaxEntrySize = 256u << 20;  // guards against absurd sizes in damaged headers

struct ZipDiscard {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct ZipErrorFini {
    void operator()(zip_error_t* error) const { zip_error_fini(error); }
};

// What a libzip error means for the archive's reader: a code and the fault in our words.
struct Fault {
    int zipError;
    ErrorCode code;
    const char* reason;
};
constexpr Fault kFaults[] = {
    {ZIP_ER_CRC, ErrorCode::kIo, "CRC mismatch"},
    {ZIP_ER_NOZIP, ErrorCode::kIo, "not a ZIP archive"},
    {ZIP_ER_INCONS, ErrorCode::kIo, "inconsistent headers"},
    {ZIP_ER_EOF, ErrorCode::kIo, "cut short"},
    {ZIP_ER_READ, ErrorCode::kIo, "reaches past the end of the archive"},
    {ZIP_ER_SEEK, ErrorCode::kIo, "reaches past the end of the archive"},
    {ZIP_ER_ZLIB, ErrorCode::kIo, "bad compressed data"},
    {ZIP_ER_COMPRESSED_DATA, ErrorCode::kIo, "bad compressed data"},
    {ZIP_ER_COMPNOTSUPP, ErrorCode::kUnsupported, "unsupported compression method"},
    {ZIP_ER_ENCRNOTSUPP, ErrorCode::kUnsupported, "encrypted"},
    {ZIP_ER_NOPASSWD, ErrorCode::kUnsupported, "encrypted"},
    {ZIP_ER_MULTIDISK, ErrorCode::kUnsupported, "split over several disks"},
    {ZIP_ER_MEMORY, ErrorCode::kInternal, "out of memory"},
};

// "<subject> is damaged (<fault>)"; without a subject (the archive itself) "damaged (<fault>)".
Error failure(ErrorCode code, const std::string& subject, const std::string& predicate) {
    return Error(code,
                 subject.empty() ? predicate : subject + (code == ErrorCode::kIo ? " is " : " ") + predicate);
}

Error damaged(const std::string& subject, const std::string& fault) {
    return failure(ErrorCode::kIo, subject, "damaged (" + fault + ")");
}

Error zipFailure(const std::string& subject, zip_error_t* error) {
    const int zipError = zip_error_code_zip(error);
    for (const Fault& fault : kFaults) {
        if (fault.zipError != zipError) continue;
        if (fault.zipError == ZIP_ER_NOZIP) return failure(fault.code, subject, "not a ZIP archive");
        if (fault.code == ErrorCode::kIo) return damaged(subject, fault.reason);
        return failure(fault.code, subject, std::string("cannot be read (") + fault.reason + ")");
    }
    return failure(ErrorCode::kIo, subject, std::string("unreadable (") + zip_error_strerror(error) + ")");
}

}  // namespace

struct ZipArchive::Handle {
    std::vector<std::uint8_t> owned;  // the bytes, when the archive keeps its own copy
    std::unique_ptr<zip_t, ZipDiscard> zip;
    std::mutex mutex;  // guards every use of `zip` after open (libzip handles are not thread-safe)
};

ZipArchive::ZipArchive(std::unique_ptr<Handle> handle, std::map<std::string, std::uint64_t> entries)
    : handle_(std::move(handle)), entries_(std::move(entries)) {}
ZipArchive::ZipArchive(ZipArchive&& other) noexcept = default;
ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept = default;
ZipArchive::~ZipArchive() = default;

Result<ZipArchive> ZipArchive::open(std::span<const std::uint8_t> bytes) {
    return openHandle(std::make_unique<Handle>(), bytes);
}

Result<ZipArchive> ZipArchive::openCopy(std::vector<std::uint8_t> bytes) {
    auto handle = std::make_unique<Handle>();
    handle->owned = std::move(bytes);
    const std::span<const std::uint8_t> view(handle->owned);
    return openHandle(std::move(handle), view);
}

Result<ZipArchive> ZipArchive::openHandle(std::unique_ptr<Handle> handle,
                                          std::span<const std::uint8_t> bytes) {
    // libzip reads an empty buffer as a new, empty archive; here it is no archive at all.
    if (bytes.empty()) return Error(ErrorCode::kIo, "empty, not a ZIP archive");
    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_error_t, ZipErrorFini> errorGuard(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) return zipFailure({}, &error);
    handle->zip.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
    if (!handle->zip) {
        zip_source_free(source);  // still ours when the open failed
        return zipFailure({}, &error);
    }
    std::map<std::string, std::uint64_t> entries;
    const zip_int64_t count = zip_get_num_entries(handle->zip.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(handle->zip.get(), index, ZIP_FL_ENC_RAW);
        if (!name) return zipFailure({}, zip_get_error(handle->zip.get()));
        std::string key(name);
        if (!key.empty() && key.back() != '/') entries[std::move(key)] = index;
    }
    return ZipArchive(std::move(handle), std::move(entries));
}

std::vector<std::string> ZipArchive::names() const {
    std::vector<std::string> result;
    result.reserve(entries_.size());
    for (const auto& [name, index] : entries_) result.push_back(name);
    return result;
}

Result<std::vector<std::uint8_t>> ZipArchive::read(const std::string& name) const {
    const auto it = entries_.find(name);
    if (it == entries_.end()) return Error(ErrorCode::kNotFound, "no entry '" + name + "'");
    const std::string subject = "entry '" + name + "'";
    const std::lock_guard lock(handle_->mutex);
    zip_t* zip = handle_->zip.get();
    zip_stat_t stat;
    if (zip_stat_index(zip, it->second, 0, &stat) != 0) return zipFailure(subject, zip_get_error(zip));
    if (!(stat.valid & ZIP_STAT_SIZE) || stat.size > kMaxEntrySize)
        return damaged(subject, "declares " + std::to_string(stat.size) + " bytes");
    const std::unique_ptr<zip_file_t, ZipFileClose> file(zip_fopen_index(zip, it->second, 0));
    if (!file) return zipFailure(subject, zip_get_error(zip));
    std::vector<std::uint8_t> out(stat.size);
    std::uint64_t done = 0;
    while (done < out.size()) {
        const zip_int64_t n = zip_fread(file.get(), out.data() + done, out.size() - done);
        if (n < 0) return zipFailure(subject, zip_file_get_error(file.get()));
        if (n == 0) return damaged(subject, "shorter than its header says");
        done += static_cast<std::uint64_t>(n);
    }
    // libzip checks the CRC when the data runs out, so read once more to reach the end.
    std::uint8_t extra = 0;
    const zip_int64_t n = zip_fread(file.get(), &extra, 1);
    if (n < 0) return zipFailure(subject, zip_file_get_error(file.get()));
    if (n > 0) return damaged(subject, "longer than its header says");
    return out;
}

}  // namespace vexa::toolkit
