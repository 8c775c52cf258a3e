// The camera video stream of a session: CCapture::AddCameraStream and the StreamSource that runs the
// camera's record and encode threads and holds the stream's own reference on the camera.
#include "engine/camera/camera.h"
#include "engine/capture.h"
#include "engine/video_encoder.h"

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

bool CCapture::AddCameraStream(int quality_index, const BitRateTriple& rate, CCamera* camera) {
    if (!camera || camera->Width() <= 0 || camera->Height() <= 0 || camera->FrameRate() <= 0) return false;
    StreamEntry* entry =
        NewVideoEntry(quality_index, rate, camera->FrameRate(), camera->Width(), camera->Height());
    if (!entry || !camera->AttachToStream(entry, this)) return false;
    return LaunchStream(entry, std::make_unique<CameraStreamSource>(camera, *this, *entry));
}

}  // namespace vexa::engine
