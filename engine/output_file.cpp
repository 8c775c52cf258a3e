#include "engine/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace vexa::engine {
namespace {

// The muxer's writes are gathered into blocks of this size before they reach the file.
constexpr int kBufferSize = 256 * 1024;

}  // namespace

std::string NumberedPath(const std::string& path, int n) {
    if (n <= 1) return path;
    const size_t slash = path.rfind('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) dot = path.size();
    return path.substr(0, dot) + "_" + std::to_string(n) + path.substr(dot);
}

Result<std::unique_ptr<OutputFile>> OutputFile::Open(const std::string& path) {
    // O_EXCL: never another recording's file, nor whatever a link planted at the name points to.
    platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.Valid()) return Error::FromErrno(errno, "cannot open output file " + path);
    std::unique_ptr<OutputFile> file(new OutputFile(path, std::move(fd)));
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer)
        file->io_ = avio_alloc_context(buffer, kBufferSize, 1, file.get(), nullptr, &WritePacket, &Seek);
    if (!file->io_) {
        av_free(buffer);
        return Error::FromErrno(ENOMEM, "cannot open output file " + path);
    }
    file->io_->write_data_type = &WriteMarked;
    return file;
}

OutputFile::~OutputFile() {
    (void)Close();
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
}

int OutputFile::Fail(int err, const char* what) {
    if (error_.ok()) error_ = Error::FromErrno(err, std::string(what) + " " + path_);
    return AVERROR(err);
}

int OutputFile::WritePacket(void* opaque, WriteData data, int size) {
    auto* self = static_cast<OutputFile*>(opaque);
    // Once a write failed nothing more is written: the file keeps what it had, without a gap.
    if (!self->error_.ok()) return AVERROR(EIO);
    for (int done = 0; done < size;) {
        const ssize_t n = ::write(self->fd_.Get(), data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int rc = self->Fail(n < 0 ? errno : ENOSPC, "cannot write to");
            self->CutToWhole();
            return rc;
        }
        done += static_cast<int>(n);
    }
    return size;
}

// The muxer flushes its buffer whenever it begins a fragment or the trailer, so such a write starts
// right after the last whole piece of the file.
int OutputFile::WriteMarked(void* opaque, WriteData data, int size, AVIODataMarkerType type, int64_t) {
    auto* self = static_cast<OutputFile*>(opaque);
    if (self->error_.ok() && (type == AVIO_DATA_MARKER_SYNC_POINT ||
                              type == AVIO_DATA_MARKER_BOUNDARY_POINT || type == AVIO_DATA_MARKER_TRAILER)) {
        const off_t at = ::lseek(self->fd_.Get(), 0, SEEK_CUR);
        if (at >= 0) self->whole_end_ = at;
    }
    return WritePacket(opaque, data, size);
}

void OutputFile::CutToWhole() {
    // Part of a fragment makes decoders report errors at the file's end; without it the file ends
    // cleanly. Freeing blocks works on a full disk.
    (void)!::ftruncate(fd_.Get(), whole_end_);
}

int64_t OutputFile::Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<OutputFile*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        if (fstat(self->fd_.Get(), &st) != 0) return AVERROR(errno);
        return st.st_size;
    }
    const off_t at = ::lseek(self->fd_.Get(), offset, whence & ~AVSEEK_FORCE);
    if (at < 0) return self->Fail(errno, "cannot seek in");
    return at;
}

Error OutputFile::ProbeRoom(const std::string& what) {
    const char zero = 0;
    ssize_t n = 0;
    do n = ::pwrite(fd_.Get(), &zero, 1, 0);
    while (n < 0 && errno == EINTR);
    if (n != 1) return Error::FromErrno(n < 0 ? errno : ENOSPC, what);
    (void)!::ftruncate(fd_.Get(), 0);  // a device in the file's place has no size to put back
    return {};
}

Error OutputFile::Sync() {
    if (!fd_.Valid()) return error_;
    avio_flush(io_);
    if (error_.ok() && ::fdatasync(fd_.Get()) != 0) (void)Fail(errno, "cannot write to");
    // Written to a file nobody can reach any more: its name (or its whole folder) was deleted.
    struct stat st {};
    if (error_.ok() && ::fstat(fd_.Get(), &st) == 0 && st.st_nlink == 0)
        error_ = Error(ErrorCode::kNotFound, path_ + " was deleted while it was being written");
    if (error_.ok() && !name_synced_) {
        SyncFolderOf(path_);
        name_synced_ = true;
    }
    return error_;
}

void OutputFile::SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    platform::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) (void)::fsync(fd.Get());
}

Error OutputFile::Close() {
    if (!fd_.Valid()) return error_;
    (void)Sync();
    fd_.Reset();  // what was written is on the disk already
    return error_;
}

}  // namespace vexa::engine
