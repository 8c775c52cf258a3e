#include "ui/camera_area.h"

#include <algorithm>
#include <memory>

#include "platform/log/log.h"
#include "ui/shell.h"

namespace vexa::ui {
namespace {

constexpr int kCameraMode = 2;
constexpr const char* kCameraGroup = "camera_area_group";
constexpr const char* kRadioImages =
    "normalimage=\"file='radiobox.png' source='0,0,21,21' dest='2,4,23,25'\" "
    "hotimage=\"file='radiobox.png' source='21,0,42,21' dest='2,4,23,25'\" "
    "selectedimage=\"file='radiobox.png' source='42,0,63,21' dest='2,4,23,25'\"";
constexpr PanelKeys kKeys{.video_quality = &settings::kCameraVideoQuality,
                          .audio_quality = &settings::kCameraAudioQuality,
                          .speaker_selection = &settings::kCameraSpeakerSel,
                          .speaker_volume = &settings::kCameraSpeakerVol,
                          .mic_selection = &settings::kCameraMicSel,
                          .mic_volume = &settings::kCameraMicVol};

}  // namespace

CCameraArea::CCameraArea(toolkit::CreateControlFn create_control)
    : SourcePanel("camera panel", kKeys, std::move(create_control)) {}

CCameraArea::~CCameraArea() {
    preview_.reset();
}

Error CCameraArea::Init(PanelHost& host) {
    AttachHost(host);
    if (Error e = InitQuality(); !e.ok()) return e;
    if (Error e = InitSoundLists(); !e.ok()) return e;
    if (Error e = BuildCameraRows(); !e.ok()) return e;
    const std::span<CameraRow> cameras = Cameras();
    for (size_t i = 0; i < cameras.size(); ++i) {
        toolkit::Option& box = *cameras[i].select_box;
        box.setGroup(kCameraGroup);
        box.applyAttributeList(kRadioImages);
        box.addNotifyHandler([this](toolkit::Notification& n) {
            OnCameraSelect(n);
            return true;
        });
        box.addEventHandler([this, i](toolkit::ControlEvent& event) {
            if (event.type == toolkit::EventType::DoubleClick) OnCameraShow(i);
            return true;
        });
    }
    if (!cameras.empty()) {
        const auto count = static_cast<uint32_t>(cameras.size());
        SelectOnly(ReadPanelSetting(settings::kCameraSelIndex, 0, count));  // 0 when stored beyond
    }
    return {};
}

void CCameraArea::ShowPanel(bool show) {
    setVisible(show);
    ClosePopList();
    if (!show) {
        CCameraWnd::ReleaseInBackground(std::move(preview_));
        return;
    }
    const int selected = SelectedCamera();
    if (selected < 0) return;
    ReplaySelectChanged(*Cameras()[static_cast<size_t>(selected)].select_box);  // opens its preview
}

bool CCameraArea::AnyCameraSelected() const {
    return SelectedCamera() >= 0;
}

int CCameraArea::SelectedCamera() const {
    const std::span<const CameraRow> cameras = CameraRows();
    const auto it = std::find_if(cameras.begin(), cameras.end(),
                                 [](const CameraRow& row) { return row.select_box->isSelected(); });
    return it == cameras.end() ? -1 : static_cast<int>(it - cameras.begin());
}

engine::CameraRef CCameraArea::AcquireCamera() {
    return preview_ ? preview_->AcquireCamera() : engine::CameraRef();
}

std::function<engine::CCamera*()> CCameraArea::CameraForRecording() {
    auto held = std::make_shared<engine::CameraRef>(AcquireCamera());
    return [held] { return held->release(); };
}

void CCameraArea::SelectOnly(size_t position) {
    const std::span<CameraRow> cameras = Cameras();
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (i != position) cameras[i].select_box->setSelected(false, false);
    }
    cameras[position].select_box->setSelected(true, false);
}

// One camera: the selected one replaces the others in the preview (which is made when missing).
void CCameraArea::OnCameraSelect(const toolkit::Notification& n) {
    if (n.type != "selectchanged") return;
    CameraRow* row = CameraRowOf(n);
    if (row && row->select_box->isSelected()) {
        const auto position = static_cast<size_t>(row - Cameras().data());
        StorePanelSetting(settings::kCameraSelIndex, static_cast<uint32_t>(position));
        for (CameraRow& other : Cameras()) {
            if (&other == row) continue;
            other.select_box->setSelected(false, false);
            SetBoxTextColor(*other.select_box, kCameraBoxTextColor);
        }
        if (!preview_) {
            (void)CreatePreview(*row, static_cast<int>(position));
        } else if (row->device->name.empty()) {
            CCameraWnd::ReleaseInBackground(std::move(preview_));
        } else if (Error e = preview_->SwitchCamera(static_cast<int>(position), row->device->name); !e.ok()) {
            log::Failure(e, PanelName());  // the preview shows the failure and tries again
        }
        if (preview_) {
            if (preview_shown_)
                preview_->show(false);
            else
                SetBoxTextColor(*row->select_box, kClosedPreviewTextColor);
        }
    }
    if (PanelHost* host = Host()) host->EnableStartFor(kCameraMode, AnyCameraSelected());
}

void CCameraArea::OnCameraShow(size_t position) {
    if (position >= Cameras().size()) return;
    CameraRow& row = Cameras()[position];
    if (!row.select_box->isSelected()) return;
    preview_shown_ = true;
    if (!preview_ && !CreatePreview(row, static_cast<int>(position))) return;
    SetBoxTextColor(*row.select_box, kCameraBoxTextColor);
    preview_->show(false);
}

bool CCameraArea::CreatePreview(const CameraRow& row, int position) {
    Shell* shell = Shell::Get();
    if (!shell) return false;
    auto preview = std::make_unique<CCameraWnd>(CameraWndOwner::kCameraPanel, Host());
    if (Error e = preview->Create(shell->MainWindow(), position, row.device->name); !e.ok()) {
        log::Failure(e, PanelName());
        return false;
    }
    preview->SetCloseHandler([this] { OnPreviewClosed(); });
    preview_ = std::move(preview);
    return true;
}

// The preview hid itself: it stays, and the selected box says so in red until a double click.
void CCameraArea::OnPreviewClosed() {
    preview_shown_ = false;
    const int selected = SelectedCamera();
    if (selected >= 0)
        SetBoxTextColor(*CameraRows()[static_cast<size_t>(selected)].select_box, kClosedPreviewTextColor);
}

}  // namespace vexa::ui
