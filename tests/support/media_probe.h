// Reading back a recorded file in tests: its streams, every packet's time stamps, and decoded
// pictures. Shared by the engine, sound and camera tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa::test {

struct ProbedPacket {
    int stream = 0;
    int64_t pts = 0;
    int64_t dts = 0;
    int64_t duration = 0;
    bool key = false;
    int64_t pos = -1;  // byte offset of its data in the file; -1 when unknown
};

struct ProbedStream {
    std::string codec;  // e.g. "h264", "mp3", "ac3"
    bool video = false;
    int width = 0;
    int height = 0;
    int sample_rate = 0;
    int channels = 0;
    int tb_num = 1;
    int tb_den = 1;
};

struct ProbedFile {
    std::vector<ProbedStream> streams;
    std::vector<ProbedPacket> packets;
    double duration_seconds = 0;  // the container's

    // Packets of one stream, in the order the demuxer returns them (an MP4 reader may reorder far
    // apart samples by time; `pos` gives their place in the file).
    [[nodiscard]] std::vector<ProbedPacket> PacketsOf(int stream) const;
    // End of the stream in seconds: last packet's pts + duration.
    [[nodiscard]] double StreamEndSeconds(int stream) const;
    [[nodiscard]] int FirstStreamOf(bool video) const;
};

// Null when the file cannot be opened or read.
[[nodiscard]] std::optional<ProbedFile> ProbeFile(const std::string& path);

// A decoded picture converted to 8-bit grey (luma), top row first.
struct GreyPicture {
    int width = 0;
    int height = 0;
    int64_t pts = 0;
    std::vector<uint8_t> luma;
    [[nodiscard]] uint8_t At(int x, int y) const { return luma[static_cast<size_t>(y) * width + x]; }
};

// Every picture of the first video stream, decoded.
[[nodiscard]] std::vector<GreyPicture> DecodeVideo(const std::string& path);

// Every sample of the first audio stream, decoded and mixed to mono float, with its rate.
struct DecodedSound {
    int sample_rate = 0;
    std::vector<float> samples;
};
[[nodiscard]] std::optional<DecodedSound> DecodeSound(const std::string& path);

// What ffprobe reports while it decodes every frame of the file ("partial file", "Invalid NAL unit
// size"): an independent reader's verdict, empty for a clean file. The path holds no single quote.
[[nodiscard]] std::string FfprobeDecodeErrors(const std::string& path);

}  // namespace vexa::test
