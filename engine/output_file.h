// OutputFile: the recording's file as the muxer writes it. It owns the file descriptor and an FFmpeg
// I/O context whose writes and seeks go straight to it, so that the session sees every write
// failure with the system's reason (a full disk, a quota, an I/O error) and can push what was
// written to the disk (Sync) once a second: a crash or a power cut then loses at most the last
// second.
//
// The file is always a new one: Open never truncates, overwrites or follows a symbolic link at the
// name. A write that fails cuts the file back to where the muxer last began a fragment (or the
// trailer), so a fragmented file ends with its last whole fragment, never with part of one.
//
// Threads: Open and Close run on the recording thread (the session's Start and stop sequence);
// between them the writer thread alone writes through Context() and calls Sync. After a failure
// every further write is refused, so the file stays what it was up to the last whole fragment.
#pragma once

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/unique_fd.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavformat/version.h>
}

namespace vexa::engine {

// path with "_<n>" before its extension ("/a/20240305_140709.mp4", 2 → "/a/20240305_140709_2.mp4");
// path itself for n = 1.
[[nodiscard]] std::string NumberedPath(const std::string& path, int n);

class OutputFile {
  public:
    // Creates the file at path, which must not exist yet (a symbolic link there counts as existing).
    // Fails with "cannot open output file <path>: <reason>" (native code EEXIST when it exists).
    [[nodiscard]] static Result<std::unique_ptr<OutputFile>> Open(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The I/O context for the muxer (AVFormatContext::pb); owned here.
    [[nodiscard]] AVIOContext* Context() const { return io_; }
    // Hands what the muxer has written to the system and waits until it is on the disk; the first
    // time, the file's name in its folder too.
    [[nodiscard]] Error Sync();
    // Whether the disk takes the file's first byte, for a file nothing was written to yet (the
    // header of a fragmented file waits for its first fragment): a full disk fails here, with
    // "<what>: <reason>", rather than a moment into the recording. The file stays empty.
    [[nodiscard]] Error ProbeRoom(const std::string& what);
    // Sync, then closes the file. A second call only repeats the outcome.
    [[nodiscard]] Error Close();
    // The first failed write, seek or sync ("cannot write to /a/b.mp4: No space left on device"), or ok.
    // A sync also fails when the file's name is gone (deleted, or its folder removed).
    [[nodiscard]] const Error& FirstError() const { return error_; }
    [[nodiscard]] const std::string& Path() const { return path_; }

    // Pushes the folder holding path to the disk, so that a name made or changed in it survives a
    // power cut. Best effort: the file's own data is synced either way.
    static void SyncFolderOf(const std::string& path);

  private:
    OutputFile(std::string path, platform::UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
    // FFmpeg 7 hands the bytes to write as const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    using WriteData = const uint8_t*;
#else
    using WriteData = uint8_t*;
#endif
    static int WritePacket(void* opaque, WriteData data, int size);
    // The muxer's writes with what they begin: a fragment or the trailer marks the end of what came
    // before as whole.
    static int WriteMarked(void* opaque, WriteData data, int size, AVIODataMarkerType type, int64_t time);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    int Fail(int err, const char* what);
    // Cuts the file back to the end of its last whole fragment.
    void CutToWhole();

    std::string path_;
    platform::UniqueFd fd_;
    AVIOContext* io_ = nullptr;
    Error error_;
    off_t whole_end_ = 0;  // where the last fragment (or the trailer) began
    bool name_synced_ = false;
};

}  // namespace vexa::engine
