// The settings page built from "MainWnd.xml" by the program's control factory, in a window of the
// test display that plays the main window (of a test shell with a store and ini in a fresh home, and
// the real hotkey service). A second X client presses keys and holds chords another program took.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/control_create.h"
#include "settings/program_folder.h"
#include "settings/run_value.h"
#include "settings/settings_ini.h"
#include "settings/settings_key.h"
#include "platform/desktop/hotkey_service.h"
#include "platform/log/log.h"
#include "tests/settings/temp_home.h"
#include "tests/ui/test_shell.h"
#include "toolkit/button.h"
#include "toolkit/combo.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/label.h"
#include "toolkit/window.h"
#include "ui/setting_area.h"
// Last: Xlib's macros must not meet the Qt headers.
#include "tests/desktop/test_display.h"
#include <X11/keysym.h>

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;
using settings::testing::TempHome;

constexpr uint32_t kF7 = 0x76000000, kF8 = 0x77000000;
const QColor kGrey = QColor::fromRgba(0xFF656565);
const QColor kRed = QColor::fromRgba(0xFFFF0000);

// The main window as far as the page sees it: the main layout, in a test shell over the test's
// store and ini and the real hotkey service.
class PageHarness final : public toolkit::Window {
  public:
    PageHarness(settings::SettingsKey& key, settings::SettingsIni& ini, desktop::HotkeyService* hotkeys)
        : shell_({.main_window = this,
                  .screen_size = QSize(1920, 1080),
                  .hotkeys = hotkeys,
                  .settings = &key,
                  .ini = &ini}) {}
    ~PageHarness() override { destroy(); }

    std::string windowClassName() const override { return "Vexa_Settings_Page_Test"; }
    bool onCreate() override {
        auto root = toolkit::buildLayout("MainWnd.xml", paintManager(), app::CControlCreate);
        if (!root.ok()) return false;
        paintManager().attach(std::move(root).value());
        return true;
    }

    [[nodiscard]] test::TestShell& Services() { return shell_; }

  private:
    test::TestShell shell_;  // unregisters after the window is gone
};

class SettingAreaTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { test::UseProgramSkin(); }

    void SetUp() override {
        ASSERT_TRUE(other_.Valid());
        key_ = settings::SettingsKey::Open(home_.StorePath()).value();
        ASSERT_TRUE(key_);
        auto service = desktop::HotkeyService::Open([this](int id, uint32_t modifiers) {
            std::lock_guard lock(mutex_);
            presses_.emplace_back(id, modifiers);
            pressed_.notify_all();
        });
        ASSERT_TRUE(service.ok()) << service.error().message();
        hotkeys_ = std::move(service).value();
    }
    void TearDown() override {
        window_.reset();
        hotkeys_.reset();
    }

    // Builds the page and runs its set-up.
    Error Start() {
        window_ = std::make_unique<PageHarness>(*key_, ini_, hotkeys_.get());
        if (!window_->create(nullptr, "Miravo", toolkit::kStylePopup, QRect(0, 0, 960, 593)))
            return Error(ErrorCode::kInternal, "MainWnd.xml was not built");
        return Page().Init(window_->Services());
    }
    CSettingArea& Page() { return Find<CSettingArea>("main_setting_area"); }
    template <class T = toolkit::Control>
    T& Find(const char* name) {
        T* control = window_->paintManager().find<T>(name);
        if (!control) throw std::runtime_error(std::string("no control ") + name);
        return *control;
    }
    bool Checked(const char* name) { return Find<toolkit::Option>(name).isSelected(); }
    void Click(const char* name) { ASSERT_TRUE(Find(name).activate()) << name; }
    // What a click does to a check box, also to one the skin hides.
    void Toggle(const char* name) {
        auto& box = Find<toolkit::CheckBox>(name);
        box.setChecked(!box.isChecked());
    }
    std::string SelectedKey() {
        auto& combo = Find<toolkit::Combo>("key_combo");
        const toolkit::Control* item = combo.itemAt(combo.currentSelection());
        return item ? item->text() : "";
    }
    bool Offered(const std::string& key_text) {
        auto& combo = Find<toolkit::Combo>("key_combo");
        for (int i = 0; i < combo.count(); ++i) {
            if (combo.itemAt(i)->text() == key_text) return true;
        }
        return false;
    }
    void PickKey(const std::string& key_text) {
        auto& combo = Find<toolkit::Combo>("key_combo");
        for (int i = 0; i < combo.count(); ++i) {
            if (combo.itemAt(i)->text() == key_text) {
                ASSERT_TRUE(combo.selectItem(i));
                return;
            }
        }
        FAIL() << key_text << " is not offered";
    }
    std::optional<uint32_t> Stored(std::string_view name) const { return key_->ReadDword(name); }
    QColor KeyBorder() { return Find<toolkit::Combo>("key_combo").borderColor(); }
    std::string Tip(const char* name) { return Find(name).toolTip(); }

    // Taps the chord through XTest and tells which hotkey ids were called back for it. F12 is kept
    // as a marker: the X server handles key events in order, so when the marker arrives every
    // earlier press has been dealt with.
    std::vector<int> Press(const std::vector<KeySym>& modifiers, KeySym key) {
        static constexpr int kMarker = 1099;
        EXPECT_TRUE(hotkeys_->Register(kMarker, 0, 0x7B).ok());
        other_.Tap(modifiers, key);
        other_.Tap({}, XK_F12);
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(pressed_.wait_for(lock, 10s,
                                      [&] { return !presses_.empty() && presses_.back().first == kMarker; }));
        std::vector<int> ids;
        for (const auto& [id, modifiers_pressed] : presses_) {
            if (id != kMarker) ids.push_back(id);
        }
        presses_.clear();
        hotkeys_->Unregister(kMarker);
        return ids;
    }

    TempHome home_;
    desktop::testing::TestDisplay other_;
    std::unique_ptr<settings::SettingsKey> key_;
    settings::SettingsIni ini_{home_.Root() + "/VexaRecorder.ini"};
    std::unique_ptr<desktop::HotkeyService> hotkeys_;
    std::unique_ptr<PageHarness> window_;
    std::mutex mutex_;
    std::condition_variable pressed_;
    std::vector<std::pair<int, uint32_t>> presses_;  // under mutex_
};

// The defaults themselves are the settings catalogue's test; here what the page makes of a fresh
// store: the folder made, the values it writes back at once and those it leaves, the keys registered.
TEST_F(SettingAreaTest, AFreshStoreGetsTheDefaultFolderRatesKeysCountDownAndCloseChoice) {
    ASSERT_TRUE(Start().ok());
    const std::string folder = home_.Home() + "/Documents/Miravo文件";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(Page().OutputFolder(), folder);
    EXPECT_EQ(Find("output_dir").text(), folder);
    EXPECT_EQ(key_->Find("output_dir")->data, folder);

    EXPECT_EQ(Page().FrameRateText(), std::to_string(Page().FrameRate()));
    EXPECT_EQ(Stored("count_down"), 1u);  // written back at set-up
    EXPECT_FALSE(Stored("count_down_val"));
    EXPECT_FALSE(Checked("boot_start_program"));

    const auto& hotkeys = Page().HotkeySlots();
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(hotkeys[i].id, 1000 + i);
        EXPECT_TRUE(hotkeys[i].registered) << i;
    }
    EXPECT_TRUE(Checked("start_stop_item"));
    EXPECT_EQ(SelectedKey(), "F7");
    EXPECT_EQ(Find<toolkit::Combo>("key_combo").count(), 46);
    EXPECT_EQ(KeyBorder(), kGrey);
    EXPECT_EQ(Tip("start_stop_btn"), "开始录制\r\nF7");
    EXPECT_EQ(Tip("pause_continue_btn"), "暂停录制\r\nF8");
    EXPECT_EQ(Tip("sel_rgn_btn"), "全屏录制模式\r\nF6");
    EXPECT_FALSE(Stored("hotkey_1000"));  // reading never writes

    EXPECT_TRUE(Checked("close_to_exit"));
    EXPECT_FALSE(Checked("close_to_hide"));
    EXPECT_EQ(Tip("main_closebtn"), "退出程序");
    EXPECT_EQ(ini_.GetString("soft", "CloseWnd"), "Yes");
    EXPECT_FALSE(Find("main_setting_area").isVisible());  // hidden again after the set-up
}

TEST_F(SettingAreaTest, StoredValuesAreReadWithTheirRangesAndADeletedFolderIsMadeAgain) {
    const std::string gone = home_.Root() + "/gone";
    ASSERT_TRUE(key_->WriteString("output_dir", gone).ok());
    ASSERT_TRUE(key_->WriteDword("desktop_frames", 25).ok());
    ASSERT_TRUE(key_->WriteDword("count_down_val", 9).ok());
    ASSERT_TRUE(key_->WriteDword("count_down", 0).ok());
    ASSERT_TRUE(key_->WriteDword("record_mouse", 0).ok());
    ASSERT_TRUE(key_->WriteDword("constant_frame_rate", 1).ok());
    ASSERT_TRUE(key_->WriteDword("record_hide_wnd", 1).ok());
    ASSERT_TRUE(key_->WriteDword("hide_desk_area_wnd", 7).ok());  // out of range: the default
    ASSERT_TRUE(key_->WriteDword("start_begin_record", 1).ok());
    ASSERT_TRUE(Start().ok());

    EXPECT_EQ(Page().OutputFolder(), home_.Home() + "/Documents/Miravo文件");
    EXPECT_EQ(key_->Find("output_dir")->data, Page().OutputFolder());
    EXPECT_EQ(Page().FrameRate(), 20u);
    EXPECT_FALSE(Page().RecordMouse());
    EXPECT_TRUE(Page().ConstantFrameRate());
    EXPECT_FALSE(Tip("constant_frame_rate").empty()) << "the box says what it is for";
    EXPECT_TRUE(Page().RecordHideWnd());
    EXPECT_FALSE(Page().HideDeskAreaWnd());
    EXPECT_TRUE(Page().StartBeginRecord());
    EXPECT_EQ(Page().CountDown(), 0s);
    auto& seconds = Find<toolkit::Combo>("count_down_val");
    EXPECT_EQ(seconds.currentSelection(), 4);  // 9 reads as 5
    EXPECT_FALSE(seconds.isEnabled());
    EXPECT_FALSE(seconds.itemAt(4)->isEnabled());
    EXPECT_EQ(Stored("count_down"), 0u);

    Toggle("count_down");
    EXPECT_TRUE(seconds.isEnabled());
    EXPECT_TRUE(seconds.itemAt(4)->isEnabled());
    EXPECT_EQ(Page().CountDown(), 5s);
    ASSERT_TRUE(seconds.selectItem(1));
    EXPECT_EQ(Stored("count_down_val"), 2u);
    EXPECT_EQ(Page().CountDown(), 2s);
    Toggle("count_down");  // off again: the seconds are kept
    EXPECT_EQ(Stored("count_down"), 0u);
    EXPECT_EQ(Stored("count_down_val"), 2u);
    EXPECT_FALSE(seconds.isEnabled());

    auto& frames = Find<toolkit::Combo>("desktop_frames");
    ASSERT_TRUE(frames.selectItem(7));
    EXPECT_EQ(Stored("desktop_frames"), 50u);
    EXPECT_EQ(Page().FrameRate(), 50u);
    for (const char* box : {"record_mouse", "constant_frame_rate", "record_hide_wnd", "hide_desk_area_wnd",
                            "start_begin_record"}) {
        const bool before = Checked(box);
        Toggle(box);
        EXPECT_EQ(Stored(box), before ? 0u : 1u) << box;
    }
    EXPECT_TRUE(Page().RecordMouse());
    EXPECT_FALSE(Page().ConstantFrameRate());
    EXPECT_FALSE(Page().RecordHideWnd());
    EXPECT_TRUE(Page().HideDeskAreaWnd());
}

TEST_F(SettingAreaTest, AKeyOfAnotherSlotIsNotOfferedAndNoKeyUnregistersStoresZeroAndTurnsTheBorderRed) {
    ASSERT_TRUE(Start().ok());
    Click("pause_continue_item");
    EXPECT_FALSE(Offered("F7"));
    EXPECT_EQ(SelectedKey(), "F8");

    PickKey("无");
    EXPECT_FALSE(Page().HotkeySlots()[1].registered);
    EXPECT_EQ(Stored("hotkey_1001"), 0u);
    EXPECT_EQ(KeyBorder(), kRed);
    EXPECT_EQ(Tip("pause_continue_btn"), "暂停录制");
    EXPECT_TRUE(Press({}, XK_F8).empty());  // the key is free again

    Click("start_stop_item");  // F8 is free for start/stop now, the border shows slot 0 again
    EXPECT_TRUE(Offered("F8"));
    EXPECT_EQ(KeyBorder(), kGrey);
    Click("pause_continue_item");
    EXPECT_EQ(SelectedKey(), "无");
    PickKey("F8");
    EXPECT_TRUE(Page().HotkeySlots()[1].registered);
    EXPECT_EQ(Stored("hotkey_1001"), kF8);
    EXPECT_EQ(Tip("pause_continue_btn"), "暂停录制\r\nF8");
    EXPECT_EQ(Press({}, XK_F8), std::vector<int>{1001});
}

TEST_F(SettingAreaTest, ModifiersAndKeysChangeTheChordTheTooltipAndTheStoreAtOnce) {
    ASSERT_TRUE(Start().ok());
    Toggle("ctrl_key");
    Toggle("shift_key");
    EXPECT_EQ(Stored("hotkey_1000"), kF7 | 6u);
    EXPECT_EQ(Tip("start_stop_btn"), "开始录制\r\nCtrl+Shift+F7");
    EXPECT_TRUE(Press({}, XK_F7).empty());
    EXPECT_EQ(Press({XK_Control_L, XK_Shift_L}, XK_F7), std::vector<int>{1000});

    Click("select_desktop_rgn_item");
    EXPECT_FALSE(Checked("ctrl_key"));  // the boxes show the region slot's modifiers
    EXPECT_FALSE(Checked("shift_key"));
    Toggle("alt_key");
    PickKey("A");
    EXPECT_EQ(Stored("hotkey_1002"), 0x41000001u);
    EXPECT_EQ(Tip("sel_rgn_btn"), "全屏录制模式\r\nAlt+A");
    EXPECT_EQ(Press({XK_Alt_L}, XK_a), std::vector<int>{1002});
    EXPECT_TRUE(Press({}, XK_F6).empty());

    Click("start_stop_item");
    EXPECT_TRUE(Checked("ctrl_key"));
    EXPECT_TRUE(Checked("shift_key"));
    EXPECT_FALSE(Checked("alt_key"));
    EXPECT_FALSE(Offered("A"));
    EXPECT_TRUE(Offered("F6"));
}

// F8 is taken by another program, start/stop is stored with stray bits, show/hide with Ctrl+Space.
TEST_F(SettingAreaTest, KeysTheSystemRefusesOrTheListLacksAreKeptShowRedAndGetNoTooltipLine) {
    ASSERT_TRUE(other_.GrabKey(XK_F8, 0));
    other_.Sync();
    ASSERT_TRUE(key_->WriteDword("hotkey_1000", 0x76ABCDE0).ok());
    ASSERT_TRUE(key_->WriteDword("hotkey_1003", 0x20000002).ok());
    ASSERT_TRUE(Start().ok());
    EXPECT_EQ(Page().HotkeySlots()[0].value.Pack(), kF7);  // bits 3..23 cleared
    EXPECT_TRUE(Page().HotkeySlots()[0].registered);
    EXPECT_FALSE(Page().HotkeySlots()[1].registered);
    EXPECT_EQ(Page().HotkeySlots()[1].value.Pack(), kF8);  // kept as stored
    EXPECT_EQ(Tip("pause_continue_btn"), "暂停录制");
    EXPECT_FALSE(Page().HotkeySlots()[3].registered);
    EXPECT_EQ(Stored("hotkey_1003"), 0x20000002u);  // not until the user looks at it

    Click("pause_continue_item");
    EXPECT_EQ(SelectedKey(), "F8");
    EXPECT_EQ(KeyBorder(), kRed);
    Toggle("alt_key");  // Alt+F8 is free
    EXPECT_TRUE(Page().HotkeySlots()[1].registered);
    EXPECT_EQ(KeyBorder(), kGrey);
    EXPECT_EQ(Tip("pause_continue_btn"), "暂停录制\r\nAlt+F8");
    Toggle("alt_key");  // back to the taken chord: stored all the same
    EXPECT_FALSE(Page().HotkeySlots()[1].registered);
    EXPECT_EQ(Stored("hotkey_1001"), kF8);
    EXPECT_EQ(KeyBorder(), kRed);
    other_.UngrabKey(XK_F8, 0);

    Click("show_hide_main_wnd");
    EXPECT_EQ(SelectedKey(), "无");
    EXPECT_TRUE(Checked("ctrl_key"));
    EXPECT_EQ(Stored("hotkey_1003"), 0x00000002u);
    EXPECT_EQ(KeyBorder(), kRed);
}

TEST_F(SettingAreaTest, TheAutostartBoxWritesThisProgramsEntryAndUncheckingRemovesAnyEntry) {
    settings::RunValue entry;
    ASSERT_TRUE(entry.Write("/opt/other/VexaRecorder").ok());  // another copy of the program
    ASSERT_TRUE(Start().ok());
    EXPECT_FALSE(Checked("boot_start_program"));
    Toggle("boot_start_program");
    EXPECT_TRUE(entry.IsCheckedFor(settings::ProgramPath()));
    EXPECT_FALSE(Stored("boot_start_program"));

    window_.reset();
    ASSERT_TRUE(Start().ok());
    EXPECT_TRUE(Checked("boot_start_program"));
    ASSERT_TRUE(entry.Write("/opt/other/VexaRecorder").ok());  // the other copy takes it over meanwhile
    Toggle("boot_start_program");
    EXPECT_FALSE(std::filesystem::exists(entry.Path()));
}

// The entry cannot be written (a file where its folder belongs): the box shows that the program
// will not start with the session, and a message after the click says why and where the log is.
TEST_F(SettingAreaTest, AnAutostartEntryThatCannotBeWrittenLeavesTheBoxUncheckedAndSaysWhy) {
    test::WriteFile(home_.Config() + "/autostart", "a file where the folder belongs");
    ASSERT_TRUE(Start().ok());
    std::string text;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text().toStdString();
            box->accept();
        }
    });
    closer.start(20);
    Toggle("boot_start_program");
    EXPECT_FALSE(Checked("boot_start_program"));
    ASSERT_TRUE(test::PumpUntil([&] { return !text.empty(); }));
    EXPECT_EQ(text, "设置开机启动失败！\n" + home_.Config() + "/autostart is not a folder\n日志：" +
                        log::DefaultLogPath());
}

TEST_F(SettingAreaTest, TheIniCloseAnswerWinsAtStartAndAChangeIsStoredInBothPlaces) {
    ASSERT_TRUE(key_->WriteDword("close_to", 1).ok());
    ASSERT_TRUE(ini_.WriteString("soft", "CloseWnd", "No").ok());
    ASSERT_TRUE(Start().ok());
    EXPECT_TRUE(Checked("close_to_hide"));
    EXPECT_FALSE(Checked("close_to_exit"));
    EXPECT_EQ(Tip("main_closebtn"), "最小化到系统托盘");
    EXPECT_EQ(Stored("close_to"), 1u);  // the start writes only the ini
    EXPECT_EQ(ini_.GetString("soft", "CloseWnd"), "No");

    Click("close_to_exit");
    EXPECT_FALSE(Checked("close_to_hide"));
    EXPECT_EQ(Stored("close_to"), 1u);
    EXPECT_EQ(ini_.GetString("soft", "CloseWnd"), "Yes");
    EXPECT_EQ(Tip("main_closebtn"), "退出程序");
    Click("close_to_hide");
    EXPECT_EQ(Stored("close_to"), 0u);
    EXPECT_EQ(ini_.GetString("soft", "CloseWnd"), "No");
    EXPECT_EQ(Tip("main_closebtn"), "最小化到系统托盘");
}

std::vector<QFileDialog*> OpenChoosers() {
    std::vector<QFileDialog*> open;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog && dialog->isVisible()) open.push_back(dialog);
    }
    return open;
}

QFileDialog* OpenChooser() {
    const auto open = OpenChoosers();
    return open.size() == 1 ? open.front() : nullptr;
}

TEST_F(SettingAreaTest, TheChosenFolderIsStoredAndShownAndACancelChangesNothing) {
    ASSERT_TRUE(Start().ok());
    const std::string before = Page().OutputFolder();
    const std::string chosen = home_.Root() + "/录像 new";
    std::filesystem::create_directories(chosen);

    Click("browse_btn");
    QFileDialog* dialog = OpenChooser();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "选择录制文件存储目录");
    EXPECT_FALSE(window_->isEnabled());
    Click("browse_btn");  // a second click while it is up opens no second chooser
    EXPECT_EQ(OpenChoosers().size(), 1u);
    dialog->reject();
    EXPECT_TRUE(window_->isEnabled());
    EXPECT_EQ(Page().OutputFolder(), before);
    EXPECT_EQ(key_->Find("output_dir")->data, before);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(OpenChooser(), nullptr);

    Click("browse_btn");
    dialog = OpenChooser();
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QString::fromStdString(chosen));
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(Page().OutputFolder(), chosen);
    EXPECT_EQ(key_->Find("output_dir")->data, chosen);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    Click("browse_btn");  // the page goes while the chooser is up: nothing answers to it
    ASSERT_NE(OpenChooser(), nullptr);
    window_.reset();
    for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(OpenChoosers().empty());
}

TEST_F(SettingAreaTest, AMissingControlOrAnOutputFolderThatCannotBeMadeFailsTheSetUp) {
    std::filesystem::create_directories(home_.Home());
    {
        std::ofstream blocker(home_.Home() + "/Documents");  // a file where the folder would go
    }
    Error error = Start();
    EXPECT_FALSE(error.ok());  // the folder's own reason, naming the documents folder in the way
    EXPECT_NE(error.message().find(home_.Home() + "/Documents is not a folder"), std::string::npos)
        << error.message();
    EXPECT_FALSE(key_->Find("output_dir"));
    std::filesystem::remove(home_.Home() + "/Documents");

    window_ = std::make_unique<PageHarness>(*key_, ini_, hotkeys_.get());
    ASSERT_TRUE(window_->create(nullptr, "Miravo", toolkit::kStylePopup, QRect(0, 0, 960, 593)));
    toolkit::Control& combo = Find("key_combo");
    ASSERT_TRUE(static_cast<toolkit::Container*>(combo.parent())->remove(&combo));
    error = Page().Init(window_->Services());
    EXPECT_EQ(error.code(), ErrorCode::kNotFound);
    EXPECT_NE(error.message().find("key_combo"), std::string::npos) << error.message();
}

}  // namespace
}  // namespace vexa::ui
