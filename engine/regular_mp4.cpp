#include "engine/regular_mp4.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/ffmpeg_ptr.h"
#include "engine/output_file.h"
#include "platform/av_error.h"

namespace vexa::engine {
namespace {

// The copy's failure: the file's own reason when it has one (a full disk), else FFmpeg's.
Error CopyFailure(int averror, const OutputFile* file, const std::string& what) {
    if (file && !file->FirstError().ok()) return file->FirstError();
    return AvError(averror, what);
}

// Streams of the copy: the same parameters and time bases as the original's.
Error AddStreams(AVFormatContext* input, AVFormatContext* output, const std::string& what) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* from = input->streams[i];
        AVStream* to = avformat_new_stream(output, nullptr);
        if (!to) return AvError(AVERROR(ENOMEM), what);
        if (const int rc = avcodec_parameters_copy(to->codecpar, from->codecpar); rc < 0)
            return AvError(rc, what);
        to->codecpar->codec_tag = 0;
        to->time_base = from->time_base;
    }
    return {};
}

Error WritePacket(AVFormatContext* input, AVFormatContext* output, AVPacket* packet, const OutputFile& file,
                  const std::string& what) {
    const int index = packet->stream_index;
    av_packet_rescale_ts(packet, input->streams[index]->time_base, output->streams[index]->time_base);
    packet->pos = -1;
    const int written = av_interleaved_write_frame(output, packet);
    return written < 0 ? CopyFailure(written, &file, what) : Error{};
}

// Every packet of the original, unchanged, into the copy; then the copy's index. A fragmented file
// gives each packet the duration up to the next one of its stream; the last one's runs to the end of
// its stream, so each stream's last packet is held until the end is known.
Error CopyPackets(AVFormatContext* input, AVFormatContext* output, const OutputFile& file,
                  const std::string& what) {
    std::vector<PacketPtr> held(input->nb_streams);
    PacketPtr packet(av_packet_alloc());
    if (!packet) return AvError(AVERROR(ENOMEM), what);
    int rc = 0;
    while ((rc = av_read_frame(input, packet.get())) >= 0) {
        PacketPtr& last = held[static_cast<size_t>(packet->stream_index)];
        if (last) {
            if (Error e = WritePacket(input, output, last.get(), file, what); !e.ok()) return e;
        } else {
            last.reset(av_packet_alloc());
            if (!last) return AvError(AVERROR(ENOMEM), what);
        }
        av_packet_move_ref(last.get(), packet.get());
    }
    if (rc != AVERROR_EOF) return AvError(rc, what);
    for (PacketPtr& last : held) {
        if (!last) continue;
        const AVStream* stream = input->streams[last->stream_index];
        const int64_t at = last->dts != AV_NOPTS_VALUE ? last->dts : last->pts;
        if (last->duration <= 0 && stream->duration != AV_NOPTS_VALUE && stream->duration > at)
            last->duration = stream->duration - at;
        if (Error e = WritePacket(input, output, last.get(), file, what); !e.ok()) return e;
    }
    if (const int written = av_write_trailer(output); written < 0) return CopyFailure(written, &file, what);
    return {};
}

// `created` tells whether the copy's file was made (and so is ours to remove).
Error WriteCopy(const std::string& path, const std::string& copy, const AVOutputFormat* format,
                bool& created) {
    const std::string what = "cannot copy " + path;
    AVFormatContext* opened = nullptr;
    if (const int rc = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); rc < 0)
        return AvError(rc, what);
    const InputPtr input(opened);
    Result<std::unique_ptr<OutputFile>> file = OutputFile::Open(copy);
    if (!file.ok()) return file.error();
    created = true;
    AVFormatContext* made = nullptr;
    if (const int rc = avformat_alloc_output_context2(&made, format, nullptr, copy.c_str()); rc < 0 || !made)
        return AvError(rc < 0 ? rc : AVERROR(ENOMEM), what);
    const FormatContextPtr output(made);
    output->pb = (*file)->Context();
    output->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (Error e = AddStreams(input.get(), output.get(), what); !e.ok()) return e;
    if (const int rc = avformat_write_header(output.get(), nullptr); rc < 0)
        return CopyFailure(rc, file->get(), what);
    if (Error e = CopyPackets(input.get(), output.get(), **file, what); !e.ok()) return e;
    return (*file)->Close();
}

}  // namespace

std::string FinishingCopyPath(const std::string& path) {
    return path + ".vexa-finish";
}

Error RewriteAsRegularMp4(const std::string& path, const AVOutputFormat* format) {
    const std::string copy = FinishingCopyPath(path);
    bool created = false;
    if (Error e = WriteCopy(path, copy, format, created); !e.ok()) {
        if (created) (void)::unlink(copy.c_str());  // never a file that was there before
        return e.Within("cannot finish " + path);
    }
    if (::rename(copy.c_str(), path.c_str()) != 0) {
        const int err = errno;
        (void)::unlink(copy.c_str());
        return Error::FromErrno(err, "cannot finish " + path + ": cannot replace it with " + copy);
    }
    OutputFile::SyncFolderOf(path);  // the new name reaches the disk
    return {};
}

}  // namespace vexa::engine
