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

    StreamEntry* entry = NewVideoEntry(quality_index, rate, fps, display->CropWidth(), display->CropHeight());
    if (!entry || !display->Attach(entry)) return false;
    return LaunchStream(entry, std::move(display));
}

}  // namespace vexa::engine
