#include "app/process_entry.h"

#include <signal.h>
#include <strings.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/main_wnd.h"
#include "app/message_wnd.h"
#include "engine/codec_log.h"
#include "platform/desktop/instance.h"
#include "platform/log/log.h"
#include "toolkit/application.h"
#include "toolkit/skin_archive.h"
#include "ui/record_area.h"
#include "ui/setting_area.h"
#include "toolkit/translate.h"

namespace vexa::app {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// Steps after the window exists: centre it, then record at once, stay hidden, or show it.
void ShowAtStart(CMainWnd& window, const CommandLine& command_line) {
    window.centerOnOwner();
    const ui::CSettingArea* setting = window.SettingsPage();
    if (setting && setting->StartBeginRecord()) {
        log::Info("recording at launch");
        if (ui::CRecordArea* record = window.RecordPage()) record->ToggleRecording(false);
        return;
    }
    if (command_line.autostart) {
        log::Info("started with -autostart: the window stays hidden");
        return;
    }
    window.show();
}

// A log-out, a shutdown or Ctrl+C in a terminal asks the program to end: it ends as the Exit
// command does, so a running recording is finished, not cut off.
void WatchTerminationSignals(toolkit::Application& app, const CMainWnd& window) {
    const Error watched = app.onTerminationSignal([&window](int signal) {
        log::Writef(log::Level::kInfo, "SIG%s received: exiting (a recording is finished first)",
                    sigabbrev_np(signal));
        (void)window.postMessage({kMsgExitOrTray, 1, 0});
    });
    if (!watched.ok()) log::Failure(watched, "start-up: a log-out will end the program at once");
}

int AppMain(int argc, char** argv, const CommandLine& command_line) {
    Result<std::unique_ptr<toolkit::Application>> app = toolkit::Application::create(argc, argv);
    if (!app.ok()) {
        log::Failure(app.error(), "start-up");
        return kExitStartFailed;
    }
    // After the Application: Qt sets the process locale when it starts.
    const std::vector<std::string> languages =
        toolkit::TranslationLanguages(toolkit::LocaleVariables::FromEnvironment());
    if (const Error translated = toolkit::InitTranslation(languages, toolkit::LocaleDirectory());
        !translated.ok())
        log::Failure(translated, "translation");
    Result<std::shared_ptr<toolkit::SkinArchive>> skin = toolkit::SkinArchive::openEmbedded();
    if (!skin.ok()) {
        log::Failure(skin.error(), "start-up");
        return kExitStartFailed;
    }
    toolkit::setProcessSkin(skin.value());

    const Result<uint32_t> running = desktop::FindTopLevelWindow(kMainWindowClass, kMainWindowTitle);
    if (running.ok() && running.value() != 0) {
        const Error posted = desktop::PostWindowMessage(running.value(), kMsgActivateMain, 0, 0);
        if (posted.ok())
            log::Info("another instance runs: asked it to come to the front");
        else
            log::Failure(posted, "handing over to the running instance");
        return 0;
    }

    (*app)->acceptFromOtherProcesses(kMsgActivateMain);
    int code = kExitStartFailed;
    {
        auto window = std::make_unique<CMainWnd>();
        if (!window->create(nullptr, kMainWindowTitle, toolkit::kStylePopup | toolkit::kStyleDropShadow,
                            QRect(0, 0, 960, 593))) {
            log::Failure(window->CreateError(), "start-up");
            return kExitStartFailed;
        }
        (*app)->setIcon(window->paintManager().image("logo.png") ? *window->paintManager().image("logo.png")
                                                                 : QImage());
        // The window goes before the application: the screen watch reaches it only while it exists.
        auto target = std::make_shared<CMainWnd*>(window.get());
        (*app)->onPrimaryScreenChanged([target](QSize size) {
            if (*target) (*target)->OnDisplayChange(size);
        });
        ShowAtStart(*window, command_line);
        WatchTerminationSignals(**app, *window);
        log::Info("main window ready");
        code = (*app)->exec();
        *target = nullptr;
        window.reset();  // settings closed, pages destroyed (a running recording is finished first)
    }
    toolkit::setProcessSkin(nullptr);
    log::Writef(log::Level::kInfo, "exit code %d", code);
    return code;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (StartsWithNoCase(argument, "-autostart")) result.autostart = true;
        if (i > 0 && (argument == "--help" || argument == "-h")) result.help = true;
        // "-logid=", "-logfile=" and "-lognet=" are accepted and have no effect.
    }
    return result;
}

const char* UsageText() {
    return "Usage: VexaRecorder [-autostart]\n"
           "Records the screen (whole or a rectangle, with the cursor, system sound and microphones),\n"
           "sound alone, or a camera with sound into MP4 or M4A files; the window is titled Miravo.\n"
           "One instance runs per user: a second start brings the running window to the front.\n"
           "\n"
           "Options:\n"
           "  -autostart    start with the window hidden and no tray icon, as a login item does; the\n"
           "                show/hide hotkey (F9 by default) or a second start shows the window\n"
           "  -h, --help    print this text and exit\n"
           "\n"
           "Files:\n"
           "  $XDG_CONFIG_HOME/Vexa/VexaRecorder/settings.reg   the choices (~/.config when unset)\n"
           "  $XDG_STATE_HOME/Vexa/VexaRecorder/VexaRecorder.log   the log (~/.local/state when unset)\n"
           "\n"
           "Exit status: 0 normally (also after handing over to a running instance), 255 when\n"
           "start-up fails, 99 after a crash.\n"
           "\n"
           "vexa-record(1) records from the command line.\n";
}

int ProcessEntry(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    engine::SetCodecLogLevelFromEnvironment();
    InstallCrashFilter();
    signal(SIGPIPE, SIG_IGN);
    const CommandLine command_line = ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (command_line.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (Error log_error = log::OpenDefaultLog(); !log_error.ok())
        std::fprintf(stderr, "VexaRecorder: no log: %s\n", log_error.message().c_str());
    else if (Error report_error = ReportCrashesTo(log::DefaultLogPath()); !report_error.ok())
        log::Failure(report_error, "start-up");
    log::Info("VexaRecorder starts");
    return AppMain(argc, argv, command_line);
}

}  // namespace vexa::app
