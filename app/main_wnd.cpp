#include "app/main_wnd.h"

#include "settings/close_choice.h"
#include "app/control_create.h"
#include "app/hotkey_dispatch.h"
#include "app/left_tab_bar.h"
#include "app/message_wnd.h"
#include "settings/program_folder.h"
#include "settings/screen_cast_tokens.h"
#include "app/title_bar.h"
#include "net/network_library.h"
#include "net/update_thread.h"
#include "platform/desktop/hotkey_service.h"
#include "platform/log/log.h"
#include "toolkit/application.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/native_dialogs.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/file_list.h"
#include "ui/record_area.h"
#include "ui/setting_area.h"
#include "toolkit/translate.h"

namespace vexa::app {
namespace {

constexpr int kMenuShow = 24;
constexpr int kMenuExit = 16;
constexpr int kMenuRestore = 1;
constexpr int kMenuMinimize = 2;
constexpr int kMenuClose = 3;

net::ClientIdentity ToClientIdentity(const settings::IdentityValues& v) {
    return {.productId = v.id,
            .version = v.version,
            .channel = v.channel,
            .campaignId = v.bdvid,
            .clientId = v.uuid};
}

QImage ProgramIcon(toolkit::PaintManager& manager) {
    const QImage* logo = manager.image("logo.png");
    return logo ? *logo : QImage();
}

}  // namespace

CMainWnd::CMainWnd()
    : ini_(settings::SettingsIni::ForThisProgram()), tray_([this](toolkit::TrayClick click) {
          postMessage({kMsgTrayIcon, 0, static_cast<std::intptr_t>(click)});
      }) {
    program_folder_ = settings::ProgramFolder();
    network_ = std::make_unique<net::NetworkLibrary>();
    if (!network_->Status().ok()) {
        log::Failure(network_->Status(), "network library");
        toolkit::showMessageBox(nullptr, toolkit::Tr("初始化网络失败"), kMainWindowTitle,
                                toolkit::MessageIcon::kError);
        return;
    }
    identity_ = settings::LoadIdentityValues(ini_);
    update_ = std::make_unique<net::UpdateThread>(
        net::StartUpdateCheck(ToClientIdentity(identity_), program_folder_, ini_.Path()));
}

CMainWnd::~CMainWnd() {
    destroy();
    update_.reset();  // aborts a transfer in flight and joins the thread
    hotkeys_.reset();
    platform::SetDefaultScreenCastTokens(nullptr);  // the store goes with the window
    Unregister(this);
}

bool CMainWnd::onCreate() {
    create_error_ = Create();
    if (create_error_.ok()) return true;
    log::Failure(create_error_, "main window");
    return false;
}

// The steps of creation, in order; the first failure ends it.
Error CMainWnd::Create() {
    screen_size_ = toolkit::primaryScreenSize();
    devices_ = ui::BuildDeviceLists();
    Result<std::unique_ptr<settings::SettingsKey>> key =
        settings::SettingsKey::Open(settings::SettingsKey::DefaultPath());
    if (!key.ok()) return key.error();
    settings_ = std::move(key).value();
    platform::SetDefaultScreenCastTokens(std::make_shared<settings::SettingsScreenCastTokens>(*settings_));
    Register(this);
    StartHotkeys();
    paintManager().addNotifier(this);

    Result<std::unique_ptr<toolkit::Control>> root =
        toolkit::buildLayout("MainWnd.xml", paintManager(), CControlCreate);
    if (!root.ok()) return root.error();
    paintManager().attach(std::move(root).value());
    applyWindowInfo();

    if (Error e = FindPages(); !e.ok()) return e;
    if (Error e = title_->Init(); !e.ok()) return e;
    auto* desktop = dynamic_cast<ui::CDesktopArea*>(toolkit::findChild(*record_, "desktop_param_area"));
    auto* audio = dynamic_cast<ui::CAudioArea*>(toolkit::findChild(*record_, "audio_param_area"));
    auto* camera = dynamic_cast<ui::CCameraArea*>(toolkit::findChild(*record_, "camera_param_area"));
    if (!desktop || !audio || !camera)
        return Error(ErrorCode::kNotFound, "record page: a source panel is missing");
    if (Error e = record_->InitPage({.desktop = *desktop,
                                     .audio = *audio,
                                     .camera = *camera,
                                     .settings = *setting_,
                                     .files = *files_,
                                     .shell = *this});
        !e.ok())
        return e;
    if (Error e = setting_->Init(*this, files_); !e.ok()) return e;
    if (Error e = tabs_->Init(*settings_); !e.ok()) return e;
    ui::CSettingArea* setting = setting_;
    files_->SetFolderSource([setting] { return setting->OutputFolder(); });
    return files_->Init();
}

Error CMainWnd::FindPages() {
    title_ = paintManager().find<CTitleBar>("main_title_bar");
    if (!title_) return Error(ErrorCode::kNotFound, "MainWnd.xml has no main_title_bar");
    record_ = paintManager().find<ui::CRecordArea>("main_record_area");
    if (!record_) return Error(ErrorCode::kNotFound, "MainWnd.xml has no main_record_area");
    setting_ = paintManager().find<ui::CSettingArea>("main_setting_area");
    if (!setting_) return Error(ErrorCode::kNotFound, "MainWnd.xml has no main_setting_area");
    tabs_ = paintManager().find<CLeftTabBar>("main_left_tab");
    if (!tabs_) return Error(ErrorCode::kNotFound, "MainWnd.xml has no main_left_tab");
    files_ = dynamic_cast<ui::CFileList*>(toolkit::findChild(*record_, "file_list"));
    if (!files_) return Error(ErrorCode::kNotFound, "the record page has no file_list");
    return {};
}

void CMainWnd::StartHotkeys() {
    const toolkit::WindowHandle self = handle();
    Result<std::unique_ptr<desktop::HotkeyService>> service =
        desktop::HotkeyService::Open([self](int id, uint32_t modifiers) {
            toolkit::Window::postMessage(self, {kMsgHotkey, static_cast<std::uintptr_t>(id), modifiers});
        });
    if (service.ok())
        hotkeys_ = std::move(service).value();
    else
        log::Failure(service.error(), "global hotkeys");
}

bool CMainWnd::onCloseRequest() {
    ShowExitChoice();
    return false;  // closing is the exit prompt's decision
}

void CMainWnd::onDestroy() {
    tray_.Remove();
    if (files_) files_->StopWatching();
}

void CMainWnd::onFinalMessage() {
    toolkit::Application::quit(0);
}

std::optional<std::intptr_t> CMainWnd::handleMessage(const toolkit::Message& m) {
    switch (m.id) {
        case toolkit::kCloseMessage:
            ShowExitChoice();
            return 0;
        case kMsgHotkey:
            OnHotkey(m.wparam, m.lparam);
            return 0;
        case kMsgActivateMain:
            log::Info("another start asked for the main window");
            restore();
            show();
            bringToFront();
            return 0;
        case kMsgExitOrTray:
            ExitOrTray(m.wparam == 1);
            return 0;
        case kMsgTrayIcon:
            OnTrayIcon(static_cast<toolkit::TrayClick>(m.lparam));
            return 0;
        case ui::kMsgFolderChanges: {
            if (!files_ || m.wparam != reinterpret_cast<std::uintptr_t>(files_)) return std::nullopt;
            return files_->OnFolderChanges(m.lparam);
        }
        default:
            return std::nullopt;
    }
}

toolkit::HitTest CMainWnd::hitTest(const QPoint& client) const {
    const toolkit::HitTest code = toolkit::Window::hitTest(client);
    if (code != toolkit::HitTest::Caption) return code;
    const toolkit::Control* hit = const_cast<CMainWnd*>(this)->paintManager().findControlAt(client);
    return title_ && hit && hit == title_->Icon() ? toolkit::HitTest::SysMenu : code;
}

bool CMainWnd::onMouse(const toolkit::MouseInput& input) {
    if (input.kind != toolkit::MouseInput::Kind::Down || hitTest(input.pos) != toolkit::HitTest::SysMenu)
        return false;
    ShowWindowMenu();
    return true;
}

void CMainWnd::ShowWindowMenu() {
    const toolkit::MenuItem items[] = {{kMenuRestore, toolkit::Tr("还原")},
                                       {kMenuMinimize, toolkit::Tr("最小化")},
                                       {kMenuClose, toolkit::Tr("关闭")}};
    switch (toolkit::trackPopupMenu(this, items, toolkit::cursorPos())) {
        case kMenuRestore:
            restore();
            break;
        case kMenuMinimize:
            minimize();
            break;
        case kMenuClose:
            postMessage({toolkit::kCloseMessage, 0, 0});
            break;
        default:
            break;
    }
}

void CMainWnd::notify(toolkit::Notification& n) {
    if (n.type != "tabselect" || !n.sender || n.sender != tabs_) return;
    const int tab = static_cast<int>(n.wparam);
    if (record_) record_->SetMode(tab, static_cast<int>(n.lparam));
    if (setting_) setting_->setVisible(tab == CLeftTabBar::kSettingsTab);
}

void CMainWnd::OnHotkey(std::uintptr_t id, std::intptr_t modifiers) {
    if (!setting_) return;
    ui::CRecordArea* record = record_;
    // Esc, grabbed only while a count-down runs.
    if (id == static_cast<std::uintptr_t>(ui::CRecordArea::kCancelKeyId)) {
        if (record) record->CancelCountDown();
        return;
    }
    HotkeyContext context{.main_enabled = isEnabled()};
    if (record) {
        context.record_page = true;
        context.mode = record->Mode();
        context.state = record->RecordingState();
        context.counting_down = record->CountingDown();
        context.any_sound_selected = record->AnySoundSelected();
        context.any_camera_selected = record->AnyCameraSelected();
    }
    switch (DispatchHotkey(setting_->HotkeySlots(), id, modifiers, context)) {
        case HotkeyAction::kToggleRecording:
            record->ToggleRecording(false);
            break;
        case HotkeyAction::kTogglePause:
            record->TogglePause();
            break;
        case HotkeyAction::kSelectRegion:
            record->SelectRegion();
            break;
        case HotkeyAction::kShowHideMainWindow:
            // A minimised window counts as hidden: the key brings it back, restored.
            if (isVisible() && !isMinimized())
                hide();
            else {
                restore();
                show();
                bringToFront();
            }
            break;
        case HotkeyAction::kNone:
            break;
    }
}

void CMainWnd::ShowExitChoice() {
    if (!settings::AskOnClose(ini_)) {
        ExitOrTray(ini_.GetString("soft", "CloseWnd") == "Yes");
        return;
    }
    CCMessageWnd prompt(ini_);
    if (!prompt.create(this, kMainWindowTitle, toolkit::kStylePopup | toolkit::kStyleLayered,
                       QRect(0, 0, 960, 593)))
        return;
    prompt.centerOnOwner();
    // Without a compositor the dimming layer would be drawn black: the prompt dims the main
    // window's own picture instead.
    prompt.setBackdropFromOwner();
    (void)prompt.showModal();
}

void CMainWnd::ExitOrTray(bool exit) {
    if (exit) {
        log::Info("exit chosen: closing the main window");
        hide();
        destroy();  // removes the tray icon; the final message ends the event loop
        return;
    }
    if (!tray_.Add(ProgramIcon(paintManager()), QString::fromUtf8(kMainWindowTitle)))
        log::Warning("the desktop offers no tray: the window is hidden without an icon");
    setToolWindow(true);
    hide();
}

void CMainWnd::RestoreFromTray() {
    setToolWindow(false);
    show();
    tray_.Remove();
}

void CMainWnd::OnTrayIcon(toolkit::TrayClick click) {
    if (click == toolkit::TrayClick::kDoubleClick) {
        RestoreFromTray();
        return;
    }
    if (click != toolkit::TrayClick::kContextMenu) return;
    const toolkit::MenuItem items[] = {{kMenuShow, toolkit::Tr("显示")}, {kMenuExit, toolkit::Tr("退出")}};
    switch (toolkit::trackPopupMenu(this, items, toolkit::cursorPos())) {
        case kMenuShow:
            RestoreFromTray();
            break;
        case kMenuExit:
            tray_.Remove();
            hide();
            destroy();
            break;
        default:
            break;
    }
}

void CMainWnd::OnDisplayChange(const QSize& size) {
    screen_size_ = size;
    log::Writef(log::Level::kInfo, "primary screen is now %dx%d", size.width(), size.height());
    if (record_) record_->NotifyDisplayChange();
}

}  // namespace vexa::app
