// The camera video stream of a session: CCapture::AddCameraStream and the StreamSource that runs the
// camera's record and encode threads and holds the stream's own reference on the camera.
#include "engine/camera/camera.h"
#include "engine/capture.h"
#include "engine/video_encoder.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace vexa::engine {
namespace {

class CameraStreamSource final : public StreamSource {
  public:
    CameraStreamSource(CCamera* camera, CCapture& session, StreamEntry& entry)
        : camera_(CameraRef::Share(camera)), session_(session), entry_(entry), at_start_(camera->Stats()) {}

    SourceKind Kind() const override { return SourceKind::kCamera; }
    void CaptureLoop() override { camera_->RecordThread(session_, entry_); }
    void EncodeLoop() override { camera_->EncodeThread(session_, entry_); }

    // The camera is left streaming for its window (which may record again); only the recording's
    // attachment ends, and the stream's reference is given back.
    void Detach() override {
        if (!camera_) return;
        camera_->DetachFromStream();
        // The camera counts over its whole life; the recording's share goes to the session.
        const CameraStats now = camera_->Stats();
        SessionStats& stats = session_.Stats();
        stats.frames_captured.fetch_add(now.queued - at_start_.queued);
        stats.frames_encoded.fetch_add(now.queued - at_start_.queued - (now.dropped - at_start_.dropped));
        stats.frames_dropped.fetch_add(now.dropped - at_start_.dropped);
        camera_.reset();
    }

  private:
    CameraRef camera_;
    CCapture& session_;
    StreamEntry& entry_;
    const CameraStats at_start_;
};

}  // namespace

Error CCapture::AddCameraStream(int quality_index, const BitRateTriple& rate, CCamera* camera) {
    if (!camera) return Error(ErrorCode::kInvalidArgument, "no camera to record");
    if (camera->Width() <= 0 || camera->Height() <= 0 || camera->FrameRate() <= 0)
        return Error(ErrorCode::kInvalidArgument, "camera '" + camera->Name() + "' is not streaming");
    Result<StreamEntry*> entry =
        NewVideoEntry(quality_index, rate, camera->FrameRate(), camera->Width(), camera->Height());
    if (!entry.ok()) return entry.error();
    if (Error e = camera->AttachToStream(*entry, this); !e.ok()) return e;
    const AVCodecContext* encoder = (*entry)->encoder.get();
    log::Writef(log::Level::kInfo, "camera stream: '%s' %s %dx%d at %d fps, mirror %s; encoder %s %dx%d %s",
                camera->Name().c_str(), platform::FourCcText(camera->Connected().fourcc).c_str(),
                camera->Width(), camera->Height(), camera->FrameRate(), camera->Mirror() ? "on" : "off",
                encoder->codec->name, encoder->width, encoder->height, av_get_pix_fmt_name(encoder->pix_fmt));
    return LaunchStream(*entry, std::make_unique<CameraStreamSource>(camera, *this, **entry));
}

}  // namespace vexa::engine
