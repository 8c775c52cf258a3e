// The screen stream of a session: a CDisplay, its H.264 encoder and its two threads.
#include "engine/capture.h"
#include "engine/screen/display.h"
#include "engine/video_encoder.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace vexa::engine {

Error CCapture::AddScreenStream(int quality_index, const BitRateTriple& rate, int fps, bool show_cursor,
                                const CaptureRect& rect, std::unique_ptr<platform::ScreenBackend> backend) {
    if (!backend) {
        Result<std::unique_ptr<platform::ScreenBackend>> screen =
            platform::CreateScreenBackend(platform::MethodChoice::kAuto, {show_cursor, nullptr});
        if (!screen.ok()) return screen.error();
        backend = std::move(screen).value();
    }
    auto display = std::make_unique<CDisplay>(*this, std::move(backend));
    if (Error e = display->Init(show_cursor, rect); !e.ok()) return e;

    Result<StreamEntry*> entry =
        NewVideoEntry(quality_index, rate, fps, display->CropWidth(), display->CropHeight());
    if (!entry.ok()) return entry.error();
    if (Error e = display->Attach(*entry); !e.ok()) return e;
    const platform::ScreenRect crop = display->Crop();
    log::Writef(log::Level::kInfo,
                "screen stream: %s method, %dx%d at %d,%d, cursor %s, encoder %s %dx%d %s at %d fps",
                display->Method() == platform::CaptureMethod::kDamage ? "damage" : "polling",
                display->CropWidth(), display->CropHeight(), crop.left, crop.top, show_cursor ? "on" : "off",
                (*entry)->encoder->codec->name, (*entry)->encoder->width, (*entry)->encoder->height,
                av_get_pix_fmt_name((*entry)->encoder->pix_fmt), fps);
    return LaunchStream(*entry, std::move(display));
}

}  // namespace vexa::engine
