// The screen stream of a session: a CDisplay, its H.264 encoder and its two threads.
#include "engine/capture.h"
#include "engine/screen/display.h"
#include "engine/video_encoder.h"

namespace vexa::engine {

bool CCapture::AddScreenStream(int quality_index, const BitRateTriple& rate, int fps, bool show_cursor,
                               const CaptureRect& rect, std::unique_ptr<platform::ScreenBackend> backend) {
    if (!backend) backend = platform::CreateX11ScreenBackend();
    if (!backend) return false;
    auto display = std::make_unique<CDisplay>(*this, std::move(backend));
    if (!display->Init(show_cursor, rect)) return false;

    VideoEncoderSettings settings;
    settings.quality_index = quality_index;
    settings.rate = &rate;
    settings.fps = fps;
    settings.width = display->CropWidth();
    settings.height = display->CropHeight();
    settings.global_header = OutputWantsGlobalHeader();
    CodecContextPtr encoder = OpenVideoEncoder(settings);
    if (!encoder) return false;
    Stats().video_encoder = encoder->codec->name;

    StreamEntry* entry = NewStreamEntry(std::move(encoder), AVRational{1, fps});
    if (!entry || !display->Attach(entry)) return false;
    return LaunchStream(entry, std::move(display));
}

}  // namespace vexa::engine
