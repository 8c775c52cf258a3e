#include "ui/desktop_area.h"

#include "platform/log/log.h"
#include "ui/shell.h"

namespace vexa::ui {
namespace {

constexpr PanelKeys kKeys{.video_quality = &settings::kDesktopVideoQuality,
                          .audio_quality = &settings::kDesktopAudioQuality,
                          .speaker_selection = &settings::kDesktopSpeakerSel,
                          .speaker_volume = &settings::kDesktopSpeakerVol,
                          .mic_selection = &settings::kDesktopMicSel,
                          .mic_volume = &settings::kDesktopMicVol};

}  // namespace

CDesktopArea::CDesktopArea(toolkit::CreateControlFn create_control)
    : SourcePanel("screen panel", kKeys, std::move(create_control)) {}

CDesktopArea::~CDesktopArea() {}

Error CDesktopArea::Init(PanelHost& host) {
    AttachHost(host);
    if (Error e = InitQuality(); !e.ok()) return e;
    if (Error e = InitSoundLists(); !e.ok()) return e;
    if (Error e = BuildCameraRows(); !e.ok()) return e;
    for (size_t i = 0; i < Cameras().size(); ++i) {
        toolkit::Option& box = *Cameras()[i].select_box;
        box.setSelected(ReadPanelSetting(settings::kDesktopCameraSel, static_cast<int>(i)) != 0, false);
        box.addNotifyHandler([this](toolkit::Notification& n) {
            OnCameraSelect(n);
            return true;
        });
    }
    return {};
}

void CDesktopArea::ShowPanel(bool show) {
    setVisible(show);
    ClosePopList();
    for (CameraRow& row : Cameras()) {
        if (show) {
            // The handler opens the window of a ticked camera and drops a stray one of an unticked.
            ReplaySelectChanged(*row.select_box);
        } else {
            CCameraWnd::ReleaseInBackground(std::move(row.window));
        }
    }
}

CCameraWnd* CDesktopArea::CameraWindow(int position) const {
    if (position < 0 || static_cast<size_t>(position) >= CameraRows().size()) return nullptr;
    return CameraRows()[static_cast<size_t>(position)].window.get();
}

// Any number of cameras: a ticked one gets a fresh window, an unticked one loses its window.
void CDesktopArea::OnCameraSelect(const toolkit::Notification& n) {
    if (n.type != "selectchanged") return;
    CameraRow* row = CameraRowOf(n);
    if (!row) return;
    const int position = static_cast<int>(row - Cameras().data());
    const bool selected = row->select_box->isSelected();
    StorePanelSetting(settings::kDesktopCameraSel, selected ? 1 : 0, position);
    if (!selected) {
        CCameraWnd::ReleaseInBackground(std::move(row->window));
        return;
    }
    row->window.reset();  // stopped here, so that the new window finds the camera free
    Shell* shell = Shell::Get();
    if (!shell) return;
    auto window = std::make_unique<CCameraWnd>(CameraWndOwner::kDesktopPanel, Host());
    if (Error e = window->Create(shell->MainWindow(), position, row->device->name); !e.ok()) {
        log::Failure(e, PanelName());  // the box stays ticked
        return;
    }
    // The close button unticks the camera, which releases the window (the window allows that from
    // its close handler; nothing here touches the handler afterwards).
    toolkit::Option* box = row->select_box;
    window->SetCloseHandler([box] { box->setSelected(false, true); });
    window->show(false);
    row->window = std::move(window);
}

}  // namespace vexa::ui
