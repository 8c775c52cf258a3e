#include "ui/record_area.h"

#include <chrono>
#include <filesystem>
#include <string>

#include "settings/settings_catalog.h"
#include "platform/desktop/hotkey_service.h"
#include "platform/log/log.h"
#include "toolkit/button.h"
#include "toolkit/native_dialogs.h"
#include "toolkit/window.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/failure_text.h"
#include "ui/file_list.h"
#include "ui/setting_area.h"
#include "ui/shell.h"
#include "ui/source_panels_common.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

constexpr const char* kFullScreenText = "全屏";
constexpr const char* kRegionText = "区域";
// Windows hidden just before the screen is frozen need this long to leave the picture.
constexpr std::chrono::milliseconds kSelectionSettle(120);
constexpr const char* kCaption = "Miravo";

// What the recording thread posts to the page's message window: wparam the start's number, lparam
// the RunEvent; and that the output folder was just created.
constexpr std::uint32_t kMsgRunEvent = toolkit::kUserMessage + 40;
constexpr std::uint32_t kMsgFolderCreated = toolkit::kUserMessage + 41;

// The left tab bar's buttons, in tab order.
constexpr const char* kTabButtons[] = {"desktop_btn", "sound_btn", "camera_btn", "setting_btn"};

// The three 100 x 100 cells (normal, hot, pushed) of the region button's image.
std::string ButtonCell(const char* file, int cell) {
    return std::string("file='") + file + "' source='" + std::to_string(cell * 100) + ",0," +
           std::to_string(cell * 100 + 100) + ",100' dest='0,0,100,100'";
}

}  // namespace

// The window the recording thread posts to: never shown; it hands the messages to the page.
class CRecordArea::Messages final : public toolkit::Window {
  public:
    explicit Messages(CRecordArea& page) : page_(page) {}
    ~Messages() override { destroy(); }
    [[nodiscard]] std::string windowClassName() const override { return "VexaRecorder_Record_Messages"; }
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& m) override {
        if (m.id == kMsgRunEvent) {
            page_.OnRunEvent(m.wparam, static_cast<RunEvent>(m.lparam));
            return 0;
        }
        if (m.id == kMsgFolderCreated) {
            page_.OnFolderCreated();
            return 0;
        }
        return std::nullopt;
    }

  private:
    CRecordArea& page_;
};

CRecordArea::CRecordArea() {
    if (Shell* shell = Shell::Get())
        float_auto_hide_ = ReadSetting(shell->Settings(), settings::kFloatWndAutoHide) != 0;
}

CRecordArea::~CRecordArea() {
    if (files_) files_->SetInUse({});  // the list may outlive the page
    count_down_.reset();
    float_wnd_.reset();
    MarkSessionStopped();
    run_.reset();  // releases a thread waiting for the count-down; the file is finished meanwhile
    messages_.reset();
    sel_rgn_wnd_.reset();
    region_wnd_.reset();
}

void CRecordArea::SetParts(const RecordPageParts& parts) {
    desktop_ = &parts.desktop;
    audio_ = &parts.audio;
    camera_ = &parts.camera;
    settings_ = &parts.settings;
    files_ = &parts.files;
    shell_ = &parts.shell;
    files_->SetInUse([this](const std::string& path) { return IsBeingRecorded(path); });
}

bool CRecordArea::IsBeingRecorded(const std::string& path) const {
    if (!run_ || (!starting_ && state_.load() == kIdle)) return false;
    std::error_code unknown;  // a file that cannot be compared is not the recording's
    return std::filesystem::equivalent(path, run_->Path(), unknown);
}

Error CRecordArea::InitPage(const RecordPageParts& parts) {
    SetParts(parts);
    if (Error missing =
            RequireControls(*this, "record page",
                            {"desktop_param_area", "audio_param_area", "camera_param_area", "sel_rgn_area",
                             "sel_rgn_btn", "pause_continue_btn", "start_stop_btn"});
        !missing.ok()) {
        return missing;
    }
    start_stop_ = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "start_stop_btn"));
    pause_continue_ = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "pause_continue_btn"));
    region_area_ = toolkit::findChild(*this, "sel_rgn_area");
    if (!start_stop_ || !pause_continue_)
        return Error(ErrorCode::kNotFound, "record page: start_stop_btn or pause_continue_btn is no button");
    messages_ = std::make_unique<Messages>(*this);
    if (!messages_->create(nullptr, "", toolkit::kStylePopup | toolkit::kStyleToolWindow, QRect(0, 0, 1, 1)))
        return Error(ErrorCode::kInternal, "record page: the message window cannot be created");
    if (Error e = CreateRegionFrame(); !e.ok()) return e;
    AttachHandlers();
    if (Error e = desktop_->Init(*this); !e.ok()) return e;
    if (Error e = audio_->Init(*this); !e.ok()) return e;
    return camera_->Init(*this);
}

// Shows the panel of the mode; a panel is hidden when it was the previous mode's or at the first
// selection.
void CRecordArea::SetMode(int mode, int previous) {
    if (mode == mode_) return;
    mode_ = mode;
    auto hide_unless = [&](int panel_mode) {
        return mode == panel_mode || previous == panel_mode || previous < 0;
    };
    if (hide_unless(0)) desktop_->ShowPanel(mode == 0);
    if (hide_unless(1)) {
        audio_->setVisible(mode == 1);
        audio_->ClosePopList();
    }
    if (hide_unless(2)) camera_->ShowPanel(mode == 2);
    UpdateButtons();
    if (region_wnd_) region_wnd_->HideFrame();
    sel_rgn_wnd_.reset();
}

// The region frame around the stored region (else the whole screen), interactive.
Error CRecordArea::CreateRegionFrame() {
    Shell* shell = shell_;
    if (!shell) return Error(ErrorCode::kUnavailable, "record page: there is no main window");
    region_wnd_ =
        std::make_unique<CRegionWnd>([this](int kind, bool full_screen, const settings::Rect& region) {
            OnRegionFrame(kind, full_screen, region);
        });
    if (Error e = region_wnd_->Create(&shell->MainWindow(), shell->ScreenSize()); !e.ok())
        return e.Within("record page");
    const QSize screen = shell->ScreenSize();
    const settings::Rect stored =
        ReadRectSetting(shell->Settings(), settings::kDesktopSelectRgn)
            .value_or(settings::Rect{0, 0, screen.width() - 1, screen.height() - 1});
    region_wnd_->SetRegion(stored);  // reports (and so stores) any region but the whole screen
    ShowRegionMode(region_wnd_->IsFullScreen());
    region_wnd_->SetRecordingStyle(false);
    return {};
}

// One handler for the page's buttons. Clicks count only while the main window is enabled (not
// between a start and the moment the recording runs); "stop_record" always does.
void CRecordArea::AttachHandlers() {
    struct Action {
        const char* type;
        const char* sender;
        void (*run)(CRecordArea&);
    };
    static constexpr Action kActions[] = {
        {"stop_record", "start_stop_btn", [](CRecordArea& p) { p.ToggleRecording(true); }},
        {"click", "sel_rgn_btn", [](CRecordArea& p) { p.SelectRegion(); }},
        {"click", "switch_btn", [](CRecordArea& p) { p.ToggleRegionMode(); }},
        {"click", "pause_continue_btn", [](CRecordArea& p) { p.TogglePause(); }},
        {"click", "start_stop_btn", [](CRecordArea& p) { p.ToggleRecording(false); }},
    };
    for (const char* name : {"sel_rgn_btn", "switch_btn", "pause_continue_btn", "start_stop_btn"}) {
        toolkit::Control* control = toolkit::findChild(*this, name);
        if (!control) continue;  // "switch_btn" is optional
        control->addNotifyHandler([this, name](toolkit::Notification& n) {
            for (const Action& action : kActions) {
                if (n.type != action.type || std::string_view(name) != action.sender) continue;
                Shell* shell = shell_;
                if (n.type == "click" && (!shell || !shell->MainWindow().isEnabled())) break;
                action.run(*this);
                break;
            }
            return true;
        });
    }
}

void CRecordArea::OnRegionFrame(int kind, bool full_screen, const settings::Rect& region) {
    Shell* shell = shell_;
    if (!shell) return;
    ShowRegionMode(full_screen);
    StoreRectSetting(shell->Settings(), settings::kDesktopSelectRgn, region);
    if (kind == region::kDragBegins) {
        desktop_->ClosePopList();
        sel_rgn_wnd_.reset();
        shell->MainWindow().hide();
    } else if (kind == region::kDragEnded && RecordingState() == kIdle) {
        shell->MainWindow().show();
    }
}

// The label, the switch and the region button tell full-screen mode from region mode.
void CRecordArea::ShowRegionMode(bool full_screen) {
    if (toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info"))
        info->setText(toolkit::Tr(full_screen ? kFullScreenText : kRegionText));
    if (toolkit::Control* toggle = toolkit::findChild(*this, "switch_btn"))
        toggle->setText(toolkit::Tr(full_screen ? "切换到区域" : "切换到全屏"));
    auto* button = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "sel_rgn_btn"));
    if (!button) return;
    const char* file = full_screen ? "fullscreen.png" : "region.png";
    button->setToolTip(toolkit::Tr(full_screen ? "全屏录制模式" : region::SelectRegionTip()));
    button->setNormalImage(ButtonCell(file, 0));
    button->setHotImage(ButtonCell(file, 1));
    button->setPushedImage(ButtonCell(file, 2));
}

void CRecordArea::ShowRegionFrameAndMainWindow() {
    if (region_wnd_) region_wnd_->ShowTopMost();
    if (Shell* shell = shell_) shell->MainWindow().show();
}

void CRecordArea::ToggleRegionMode() {
    const toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info");
    const bool region_mode = !info || info->text() == toolkit::Tr(kRegionText);
    if (region_mode) {
        ShowRegionMode(true);
        if (const Shell* shell = shell_) {
            const QSize screen = shell->ScreenSize();
            region_wnd_->SetRegion(settings::Rect{0, 0, screen.width() - 1, screen.height() - 1});
        }
        region_wnd_->ShowTopMost();
        return;
    }
    ShowRegionMode(false);
    if (toolkit::Control* button = toolkit::findChild(*this, "sel_rgn_btn")) {
        if (toolkit::PaintManager* manager = button->manager()) manager->sendNotify(button, "click");
    }
}

void CRecordArea::SelectRegion() {
    const toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info");
    if (info && info->text() != toolkit::Tr(kRegionText)) return;
    Shell* shell = shell_;
    if (!shell || !region_wnd_) return;
    sel_rgn_wnd_.reset();
    sel_rgn_wnd_ = std::make_unique<CSelRgnWnd>();
    const bool was_shown = region_wnd_->FrameShown() || shell->MainWindow().isVisible();
    region_wnd_->HideFrame();
    shell->MainWindow().hide();
    desktop_->ClosePopList();
    Error started = sel_rgn_wnd_->BeginSelection(
        &shell->MainWindow(),
        [this](int result, bool /*full_screen*/, const settings::Rect& region) {
            OnSelectionFinished(result, region);
        },
        was_shown ? kSelectionSettle : std::chrono::milliseconds(0));
    if (!started.ok()) {
        log::Failure(started);
        ShowRegionFrameAndMainWindow();
        sel_rgn_wnd_.reset();
    }
}

void CRecordArea::OnSelectionFinished(int result, const settings::Rect& region) {
    if (result == region::kCandidateChanged) return;
    if (result == region::kChosen) region_wnd_->SetRegion(region);
    ShowRegionFrameAndMainWindow();
}

void CRecordArea::SetSourceVolume(const SourceRow& row, int volume) {
    if (RecordingState() == kIdle) return;
    (void)slot_.With([&](engine::CCapture& session) { session.SetSourceVolume(&row, volume); });
}

void CRecordArea::EnableStartFor(int mode, bool any_selected) {
    if (RecordingState() != kIdle || mode_ != mode) return;
    if (toolkit::Control* start = toolkit::findChild(*this, "start_stop_btn"))
        start->setEnabled(any_selected);
}

void CRecordArea::NotifyDisplayChange() {
    if (sel_rgn_wnd_) sel_rgn_wnd_->Cancel();
    if (region_wnd_) {
        if (const Shell* shell = shell_) region_wnd_->OnDisplayChange(shell->ScreenSize());
    }
    if (RecordingState() == kIdle) return;
    if (slot_.With([](engine::CCapture& session) { session.NotifyDisplayChange(); }))
        log::Info("the display change is passed to the running recording");
}

// --- buttons and locking ---------------------------------------------------------------------------

bool CRecordArea::AnySoundSelected() const {
    return audio_ && audio_->AnySoundSourceSelected();
}

bool CRecordArea::AnyCameraSelected() const {
    return camera_ && camera_->AnyCameraSelected();
}

void CRecordArea::UpdateButtons() {
    if (!start_stop_ || !pause_continue_) return;
    const RecordButtons b = ButtonsFor(mode_, RecordingState(), AnySoundSelected(), AnyCameraSelected());
    if (region_area_) region_area_->setVisible(b.region_area_visible);
    pause_continue_->setVisible(b.pause_visible);
    auto apply = [](toolkit::Button& button, const ButtonLook& look) {
        button.setText("");
        button.setToolTip(toolkit::Tr(std::string(look.tooltip)));
        button.setNormalImage(ButtonImage(look.image_file, 0));
        button.setHotImage(ButtonImage(look.image_file, 1));
        button.setPushedImage(ButtonImage(look.image_file, 2));
        button.setDisabledImage(ButtonImage(look.image_file, 3));
        button.setEnabled(look.enabled);
    };
    if (b.pause_visible) apply(*pause_continue_, b.pause);
    apply(*start_stop_, b.start_stop);
    start_stop_->setPadding(b.start_stop.padding);
    AppendHotkeyToTooltip(*start_stop_, settings_->HotkeySlots()[0]);
    AppendHotkeyToTooltip(*pause_continue_, settings_->HotkeySlots()[1]);
}

void CRecordArea::Lock(toolkit::Control* control) {
    if (!control || !control->isEnabled()) return;
    control->setEnabled(false);
    locked_.push_back(control);
}

void CRecordArea::LockControls(bool recording) {
    if (!recording) {
        for (toolkit::Control* control : locked_) control->setEnabled(true);
        locked_.clear();
    }
    if (toolkit::PaintManager* m = manager()) {
        for (int tab = 0; tab < 4; ++tab) {
            toolkit::Control* button = m->find<toolkit::Control>(kTabButtons[tab]);
            if (recording && !TabEnabled(tab, mode_, true)) Lock(button);
        }
    }
    if (recording) {
        auto lock_all = [this](toolkit::Control& root) {
            root.forEach([this](toolkit::Control& c) {
                Lock(&c);
                return true;
            });
        };
        if (mode_ == 0) lock_all(*desktop_);
        if (mode_ == 1) {
            CAudioArea& panel = *audio_;
            Lock(toolkit::findChild(panel, "audio_quality_slider"));
            Lock(toolkit::findChild(panel, "audio_quality_val"));
            for (const SourceRow& row : panel.Speakers()) Lock(row.select_box);
            for (const SourceRow& row : panel.Microphones()) Lock(row.select_box);
        }
        if (mode_ == 2) {
            lock_all(*camera_);
            for (const CameraRow& row : camera_->CameraRows()) Lock(row.select_box);
        }
        Lock(toolkit::findChild(*this, "sel_rgn_btn"));
        Lock(toolkit::findChild(*this, "switch_btn"));
    }
    if (mode_ == 0 && region_wnd_) {
        region_wnd_->SetRecordingStyle(recording);
        if (recording && settings_->HideDeskAreaWnd())
            region_wnd_->HideFrame();
        else
            region_wnd_->ShowTopMost();
    }
}

const HotkeySlot* CRecordArea::Hotkey(std::size_t slot) const {
    return settings_ && slot < settings_->HotkeySlots().size() ? &settings_->HotkeySlots()[slot] : nullptr;
}

SourcePanel* CRecordArea::CurrentPanel() const {
    switch (mode_) {
        case 0:
            return desktop_;
        case 1:
            return audio_;
        case 2:
            return camera_;
        default:
            return nullptr;
    }
}

void CRecordArea::ClosePopups() {
    if (SourcePanel* panel = CurrentPanel()) panel->ClosePopList();
    sel_rgn_wnd_.reset();
}

void CRecordArea::ShowError(const std::string& text) {
    Shell* shell = shell_;
    toolkit::showMessageBox(shell ? &shell->MainWindow() : nullptr, text, kCaption,
                            toolkit::MessageIcon::kError);
}

// --- start and stop --------------------------------------------------------------------------------

void CRecordArea::ToggleRecording(bool force) {
    if (!force && RecordingState() == kIdle && !starting_) {
        StartRecording();
        return;
    }
    if (!force && counting_down_) {
        CancelCountDown();
        return;
    }
    StopRecording();
}

void CRecordArea::StartRecording() {
    Shell* shell = shell_;
    const CSettingArea* setting = settings_;
    if (!shell || !setting) return;
    if (!SourcesUsable(mode_, AnySoundSelected(), AnyCameraSelected())) {
        log::Writef(log::Level::kWarning, "start refused: mode %d has nothing to record", mode_);
        ShowError(kWrongSourcesText);
        return;
    }
    const SteadyTime pressed = std::chrono::steady_clock::now();
    log::Writef(log::Level::kInfo, "recording requested in mode %d", mode_);
    if (!setting->RecordHideWnd() && !CreateFloatWnd()) return;

    engine::RecordingRequest request = BuildRequest(*setting);
    const std::uint64_t id = ++run_id_;
    const toolkit::WindowHandle messages = messages_->handle();
    auto run = std::make_unique<RecordingRun>(
        std::move(request), slot_, std::move(run_), [messages, id](RunEvent event) {
            toolkit::Window::postMessage(messages, {kMsgRunEvent, id, static_cast<std::intptr_t>(event)});
        });
    shell->MainWindow().setEnabled(false);
    if (Error e = run->Launch(); !e.ok()) {
        log::Failure(e, "recording thread");
        run.reset();  // waits for the previous recording's thread
        shell->MainWindow().setEnabled(true);
        float_wnd_.reset();
        ShowError(kThreadFailedText);
        return;
    }
    run_ = std::move(run);
    starting_ = true;

    const CountDownPlan plan = PlanCountDown(setting->CountDown(), pressed);
    if (float_wnd_) {
        float_wnd_->ScheduleDocking(plan.docking_deadline);
        float_wnd_->show(false);
    }
    shell->MainWindow().hide();
    ClosePopups();
    LockControls(true);
    StartCountDown(plan, pressed);
}

bool CRecordArea::CreateFloatWnd() {
    auto bar = std::make_unique<CFloatWnd>(*this);
    if (Error e = bar->Create(&shell_->MainWindow()); !e.ok()) {
        log::Failure(e, "floating bar");
        ShowError(kFloatWndFailedText);
        return false;
    }
    bar->PlaceAtWorkAreaCorner();
    float_wnd_ = std::move(bar);
    return true;
}

// What the mode's panel, the settings page and the region frame show now.
engine::RecordingRequest CRecordArea::BuildRequest(const CSettingArea& setting) const {
    engine::RecordingRequest r;
    r.mode = static_cast<engine::RecordingMode>(mode_);
    r.output_dir = setting.OutputFolder();
    r.frame_rate_text = setting.FrameRateText();
    r.show_cursor = setting.RecordMouse();
    r.constant_frame_rate = setting.ConstantFrameRate();
    const toolkit::WindowHandle messages = messages_->handle();
    r.folder_created = [messages] { toolkit::Window::postMessage(messages, {kMsgFolderCreated, 0, 0}); };
    const SourcePanel* panel = nullptr;
    if (mode_ == 0) {
        panel = desktop_;
        r.video_quality_slider = desktop_->VideoQuality();
        const settings::Rect region = region_wnd_->Region();
        r.region = engine::RegionRect{region.left, region.top, region.right, region.bottom};
    } else if (mode_ == 1) {
        panel = audio_;
    } else if (mode_ == 2) {
        panel = camera_;
        r.video_quality_slider = camera_->VideoQuality();
        r.acquire_camera = camera_->CameraForRecording();
    }
    if (panel) {
        r.sound_sources = panel->SoundSources();
        r.audio_quality_slider = panel->AudioQuality();
    }
    return r;
}

// The count-down window counts from the press; without one (or when it cannot be shown) the
// recording thread may start at once.
void CRecordArea::StartCountDown(const CountDownPlan& plan, SteadyTime pressed) {
    if (plan.window) {
        const std::uint64_t id = run_id_;
        Result<std::unique_ptr<CCountDownWnd>> shown = CCountDownWnd::Show(*plan.window, pressed, [this, id] {
            if (id != run_id_ || !run_) return;
            counting_down_ = false;
            GrabCancelKey(false);
            run_->CountDownDone();
        });
        if (shown.ok()) {
            count_down_ = std::move(shown).value();
            counting_down_ = true;
            GrabCancelKey(true);
            return;
        }
        log::Failure(shown.error(), "count-down");
    }
    run_->CountDownDone();
}

void CRecordArea::CancelCountDown() {
    if (!counting_down_) return;
    log::Info("start taken back during the count-down: nothing is recorded");
    StopRecording();
}

void CRecordArea::GrabCancelKey(bool grab) {
    Shell* shell = shell_;
    desktop::HotkeyService* keys = shell ? shell->Hotkeys() : nullptr;
    if (!keys || grab == cancel_key_) return;
    cancel_key_ = grab;
    if (!grab) {
        keys->Unregister(kCancelKeyId);
        return;
    }
    constexpr std::uint32_t kEscape = 0x1B;
    if (Error e = keys->Register(kCancelKeyId, 0, kEscape); !e.ok()) {
        cancel_key_ = false;
        log::Failure(e, "Esc cannot take back the count-down");
    }
}

// Ends the recorded time now; the recording thread finishes the file in the background.
void CRecordArea::StopRecording() {
    counting_down_ = false;
    GrabCancelKey(false);
    MarkSessionStopped();
    if (run_) run_->RequestStop();
    if (RecordingState() != kIdle) log::Info("recording stop requested");
    starting_ = false;
    state_.store(kIdle, std::memory_order_release);
    Shell* shell = shell_;
    if (shell) shell->MainWindow().setEnabled(true);
    float_wnd_.reset();
    count_down_.reset();
    ClosePopups();
    LockControls(false);
    UpdateButtons();
    if (region_wnd_) region_wnd_->HideFrame();
    if (shell) {
        shell->MainWindow().show();
        shell->MainWindow().bringToFront();
    }
}

// A running session's recorded time ends here; one still waiting for its start is never started.
void CRecordArea::MarkSessionStopped() {
    (void)slot_.With([](engine::CCapture& session) {
        if (session.Started()) session.MarkStopped();
    });
}

void CRecordArea::TogglePause() {
    const int state = RecordingState();
    if (state == kIdle) return;
    const bool pause = state == kRecording;
    (void)slot_.With([&](engine::CCapture& session) {
        pause ? session.Pause() : session.Resume();
        state_.store(pause ? kPaused : kRecording, std::memory_order_release);
    });
    log::Info(pause ? "recording paused" : "recording resumed");
    if (float_wnd_) float_wnd_->SetRecordingState();
    UpdateButtons();
}

void CRecordArea::OnFloatCommand(FloatCommand command) {
    toolkit::PaintManager* m = manager();
    switch (command) {
        case FloatCommand::kPauseContinue:
            if (m) m->sendNotify(pause_continue_, "click", 0, 0, true);
            break;
        case FloatCommand::kStop:
            if (counting_down_)  // the page's button ignores clicks until the recording runs
                CancelCountDown();
            else if (m)
                m->sendNotify(start_stop_, "click", 0, 0, true);
            break;
        case FloatCommand::kShowMainWindow:
            if (Shell* shell = shell_) {
                shell->MainWindow().show();
                shell->MainWindow().bringToFront();
            }
            break;
    }
}

// --- what the recording thread reports ---------------------------------------------------------------

void CRecordArea::OnRunEvent(std::uint64_t run_id, RunEvent event) {
    if (run_id != run_id_ || !run_) return;  // an earlier start's late news
    switch (event) {
        case RunEvent::kStarted:
            OnStarted();
            break;
        case RunEvent::kPrepareFailed:
        case RunEvent::kStartFailed:
            OnStartFailed(event);
            break;
        case RunEvent::kEndedItself:
            OnEndedItself();
            break;
        case RunEvent::kFailedAtStop:  // the page is idle already; the thread has logged it
            ShowError(EndedItselfText(run_->Failure()));
            break;
    }
}

void CRecordArea::OnStarted() {
    if (!starting_) return;  // stopped meanwhile: the thread deletes the session at once
    starting_ = false;
    counting_down_ = false;
    GrabCancelKey(false);
    if (Shell* shell = shell_) shell->MainWindow().setEnabled(true);
    state_.store(kRecording, std::memory_order_release);
    if (float_wnd_) float_wnd_->SetRecordingState();
    UpdateButtons();
    // From here the start/stop and show/hide hotkeys act again (the disabled main window ignored them).
    log::Info("record page: recording");
}

// The thread has logged the cause; the page says that the start failed, why and where the log is,
// and returns to idle through "stop_record" once the message is closed. Sound devices that are gone
// are unticked first (and stored so), so that the next start records the other sources.
void CRecordArea::OnStartFailed(RunEvent event) {
    if (!starting_) return;
    const std::uint64_t id = run_id_;
    std::string note;
    if (event == RunEvent::kPrepareFailed) {
        SourcePanel* panel = CurrentPanel();
        const std::vector<std::string> unticked =
            panel ? panel->UntickSoundRows(run_->UnconnectedSoundRows()) : std::vector<std::string>{};
        for (const std::string& name : unticked)
            log::Writef(log::Level::kInfo, "'%s' is not connected: unticked", name.c_str());
        note = UntickedNote(unticked);
    }
    ShowError(event == RunEvent::kPrepareFailed
                  ? PrepareFailedText(run_->Failure(), log::DefaultLogPath(), note)
                  : LogPointingText(kStartFailedText, run_->Failure(), log::DefaultLogPath(), note));
    if (id != run_id_ || !starting_) return;
    if (toolkit::PaintManager* m = manager()) m->sendNotify(start_stop_, "stop_record");
}

// The file could not grow (a full disk): the recording is stopped as the user would, keeping what
// was written, and the cause is shown.
void CRecordArea::OnEndedItself() {
    if (RecordingState() == kIdle) return;
    const Error cause = run_->Failure();
    log::Failure(cause, "the recording was stopped");
    StopRecording();
    ShowError(EndedItselfText(cause));
}

void CRecordArea::OnFolderCreated() {
    if (!files_) return;
    files_->StopWatching();
    if (Error e = files_->Init(); !e.ok()) log::Failure(e, "recordings list");
}

}  // namespace vexa::ui
