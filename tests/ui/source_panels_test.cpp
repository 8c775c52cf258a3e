// The three source panels built from "MainWnd.xml" by the program's control factory in a test main
// window, with device lists of the test's own: what they show for a fresh or a hand-made settings
// store, what they store, the drop-downs, the camera windows, the record page's start control, and
// the sound entries a recording is built from.
#include <gtest/gtest.h>

#include <QColor>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/control_create.h"
#include "settings/settings_catalog.h"
#include "engine/capture.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/fake_audio_system.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/test_shell.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/file_list.h"
#include "ui/record_area.h"
#include "ui/setting_area.h"

namespace vexa::ui {
namespace {

using test::Pump;
using test::PumpUntil;
using Kind = toolkit::MouseInput::Kind;

constexpr const char* kVirtualCamera = "Virtual Camera";
constexpr const char* kHint =
    "\r\n如果找不到摄像头窗口了, 请选中摄像头后,\r\n按下Ctrl+Alt点击左边的标签来回切换几次";
const QColor kRed = QColor::fromRgba(0xFFD00000);
const QColor kGrey = QColor::fromRgba(0xFFD0D0D0);

DeviceLists Devices(int speakers, int microphones, const std::vector<std::string>& cameras = {}) {
    DeviceLists lists;
    for (int i = 0; i < speakers; ++i)
        lists.speakers.push_back({"Speaker " + std::to_string(i), "spk" + std::to_string(i)});
    for (int i = 0; i < microphones; ++i)
        lists.microphones.push_back({"Mic " + std::to_string(i), "mic" + std::to_string(i)});
    for (const std::string& name : cameras) lists.cameras.push_back({name, "/dev/none"});
    return lists;
}

toolkit::Control& Named(toolkit::Control& scope, const char* name) {
    toolkit::Control* control = toolkit::findChild(scope, name);
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return *control;
}

void Move(toolkit::Slider& slider, int value) {
    slider.setValue(value);
    slider.manager()->sendNotify(&slider, "valuechanged");
}

// Presses and releases the left button on a camera window's close button.
void PressClose(CCameraWnd& window) {
    const QPoint close = window.Shape().buttons[0].center();
    for (Kind kind : {Kind::Down, Kind::Up}) {
        toolkit::MouseInput input;
        input.kind = kind;
        input.pos = close;
        input.screenPos = window.geometry().topLeft() + close;
        (void)window.onMouse(input);
    }
}

class SourcePanels : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VEXA_VIRTUAL_CAMERA", "1", 1);
        shell_ = std::make_unique<test::TestShell>();
    }
    void TearDown() override {
        shell_.reset();
        Pump(50);
        unsetenv("VEXA_VIRTUAL_CAMERA");
    }

    // The main layout in the test main window, then the panels' Init in the record page's order.
    void Build(DeviceLists devices) {
        BuildLayout(std::move(devices));
        toolkit::PaintManager& manager = Manager();
        Page().SetParts({.desktop = Desktop(),
                         .audio = Audio(),
                         .camera = Camera(),
                         .settings = Found<CSettingArea>("main_setting_area"),
                         .files = Found<CFileList>("file_list")});
        for (const Error& e : {Desktop().Init(Page()), Audio().Init(Page()), Camera().Init(Page())})
            ASSERT_TRUE(e.ok()) << e.message();
        manager.updateLayout();
    }
    // The main layout alone: nothing is initialised.
    void BuildLayout(DeviceLists devices) {
        shell_->SetDevices(std::move(devices));
        toolkit::PaintManager& manager = Manager();
        auto root = toolkit::buildLayout("MainWnd.xml", manager, app::CControlCreate);
        ASSERT_TRUE(root.ok()) << root.error().message();
        manager.attach(std::move(root).value());
        shell_->Main().applyWindowInfo();
    }
    toolkit::PaintManager& Manager() { return shell_->Main().paintManager(); }
    void Store(const char* name, uint32_t value) {
        ASSERT_TRUE(shell_->Settings().WriteDword(name, value).ok());
    }
    std::optional<uint32_t> Stored(const std::string& name) { return shell_->Settings().ReadDword(name); }

    // The control of the main layout named `name`, as a T.
    template <class T>
    T& Found(const char* name) {
        T* control = Manager().find<T>(name);
        if (!control) throw std::runtime_error(std::string("no control ") + name);
        return *control;
    }
    CDesktopArea& Desktop() { return Found<CDesktopArea>("desktop_param_area"); }
    CAudioArea& Audio() { return Found<CAudioArea>("audio_param_area"); }
    CCameraArea& Camera() { return Found<CCameraArea>("camera_param_area"); }
    CRecordArea& Page() { return Found<CRecordArea>("main_record_area"); }
    static toolkit::Option& Box(const SourcePanel& panel, int position) {
        return *panel.CameraRows()[static_cast<size_t>(position)].select_box;
    }
    static int Value(toolkit::Control& panel, const char* slider) {
        return dynamic_cast<toolkit::Slider&>(Named(panel, slider)).value();
    }

    std::unique_ptr<test::TestShell> shell_;
};

TEST_F(SourcePanels, OneSpeakerAndNoMicrophoneShowTheSpeakerAloneAndADisabledMicrophoneRow) {
    Build(Devices(1, 0));
    for (SourcePanel* panel : std::initializer_list<SourcePanel*>{&Desktop(), &Audio(), &Camera()}) {
        SCOPED_TRACE(std::string(panel->name()));
        EXPECT_EQ(Named(*panel, "speaker_select_box").text(), "扬声器 1");
        EXPECT_EQ(Named(*panel, "speaker_select_box").toolTip(), "Speaker 0");
        EXPECT_FALSE(Named(*panel, "speaker_list_btn").isVisible());
        // The sound and camera layouts tick the first microphone; without one it is unticked.
        EXPECT_FALSE(dynamic_cast<toolkit::Option&>(Named(*panel, "mic_select_box")).isSelected());
        for (const char* name : {"mic_select_box", "mic_icon", "mic_vol_slider", "mic_vol_value"})
            EXPECT_FALSE(Named(*panel, name).isEnabled()) << name;
        EXPECT_FALSE(Named(*panel, "mic_list_btn").isVisible());
        EXPECT_TRUE(panel->Microphones().empty());
    }
    EXPECT_TRUE(Audio().AnySoundSourceSelected());  // the speaker, by default
    EXPECT_FALSE(Camera().AnyCameraSelected());     // no camera at all
    EXPECT_FALSE(Named(Camera(), "camera_select_box").isEnabled());
}

TEST_F(SourcePanels, FiveSpeakersListPositionsTwoToFiveInADropDownUnderTheButtonThatKeepsTheirState) {
    Build(Devices(5, 1));
    toolkit::Control& button = Named(Desktop(), "speaker_list_btn");
    ASSERT_TRUE(button.isVisible());
    ASSERT_TRUE(button.activate());
    CPopListWnd* pop = Desktop().PopList();
    ASSERT_NE(pop, nullptr);
    EXPECT_EQ(pop->geometry().size(), QSize(326, 4 * 28 + 16));
    EXPECT_EQ(pop->geometry().top(), shell_->Main().geometry().top() + button.rect().bottom() + 1);
    ASSERT_EQ(pop->Root()->count(), 4);
    for (int i = 0; i < 4; ++i) {
        toolkit::Control& item = *pop->Root()->itemAt(i);
        EXPECT_EQ(&item, Desktop().Speakers()[static_cast<size_t>(i + 1)].container.get());
        EXPECT_EQ(Named(item, "select_box").text(), "扬声器 " + std::to_string(i + 2));
        EXPECT_EQ(Named(item, "select_box").toolTip(), "Speaker " + std::to_string(i + 1));
    }

    const SourceRow& row = Desktop().Speakers()[3];
    auto enabled = [&] {
        return row.icon->isEnabled() && row.volume_slider->isEnabled() && row.volume_value->isEnabled();
    };
    ASSERT_FALSE(row.Selected());  // only position 0 is ticked by default
    EXPECT_FALSE(row.icon->isEnabled() || row.volume_slider->isEnabled() || row.volume_value->isEnabled());
    ASSERT_TRUE(row.select_box->activate());
    EXPECT_TRUE(enabled());
    EXPECT_EQ(Stored("desktop_speaker_3_sel"), 1u);
    ASSERT_TRUE(row.select_box->activate());
    EXPECT_FALSE(row.icon->isEnabled() || row.volume_slider->isEnabled() || row.volume_value->isEnabled());
    EXPECT_EQ(Stored("desktop_speaker_3_sel"), 0u);
    Move(*row.volume_slider, 0);
    EXPECT_EQ(row.volume_value->text(), "0");
    EXPECT_EQ(Stored("desktop_speaker_3_vol"), 0u);

    // Closed, the rows are the main window's again; the next drop-down shows them as they were.
    Desktop().ClosePopList();
    EXPECT_EQ(Desktop().PopList(), nullptr);
    EXPECT_EQ(row.container->parent(), nullptr);
    EXPECT_EQ(row.container->manager(), &Manager());
    ASSERT_TRUE(button.activate());
    ASSERT_NE(Desktop().PopList(), nullptr);
    EXPECT_EQ(Desktop().PopList()->Root()->itemAt(2), row.container.get());
    EXPECT_EQ(row.Volume(), 0);
    EXPECT_FALSE(row.Selected());
}

// The defaults themselves are the settings catalogue's test; here each panel shows what a fresh
// store reads and writes its replayed selections back.
TEST_F(SourcePanels, AFreshStoreGivesEachModeItsDefaultsAndTheReplayedSelectionsAreWrittenBack) {
    using namespace settings;
    struct Expected {
        const char* prefix;
        const settings::Setting* video;  // null: no video slider
        const settings::Setting& audio;
        const settings::Setting& speakers;
        const settings::Setting& mics;
    };
    const Expected cases[] = {
        {"desktop", &kDesktopVideoQuality, kDesktopAudioQuality, kDesktopSpeakerSel, kDesktopMicSel},
        {"audio", nullptr, kAudioAudioQuality, kAudioSpeakerSel, kAudioMicSel},
        {"camera", &kCameraVideoQuality, kCameraAudioQuality, kCameraSpeakerSel, kCameraMicSel}};
    const settings::SettingsKey& fresh = shell_->Settings();  // read before the panels write anything
    auto read = [&](const settings::Setting& setting, int position = 0) {
        return static_cast<int>(settings::ReadSetting(fresh, setting, position));
    };
    std::vector<std::vector<int>> reads;  // per mode: video, audio, speaker 0..1, microphone 0..1
    for (const Expected& c : cases)
        reads.push_back({c.video ? read(*c.video) : 0, read(c.audio), read(c.speakers, 0),
                         read(c.speakers, 1), read(c.mics, 0), read(c.mics, 1)});
    Build(Devices(2, 2, {"Cam 0", "Cam 1"}));
    SourcePanel* panels[] = {&Desktop(), &Audio(), &Camera()};
    for (size_t m = 0; m < 3; ++m) {
        const Expected& c = cases[m];
        const std::vector<int>& r = reads[m];
        SCOPED_TRACE(c.prefix);
        SourcePanel& panel = *panels[m];
        if (c.video) {
            EXPECT_EQ(Value(panel, "video_quality_slider"), r[0]);
            EXPECT_EQ(Named(panel, "video_quality_val").text(), std::to_string(r[0]));
        }
        EXPECT_EQ(Value(panel, "audio_quality_slider"), r[1]);
        EXPECT_EQ(Named(panel, "audio_quality_val").text(), std::to_string(r[1]));
        EXPECT_EQ(panel.AudioQuality(), r[1]);
        const std::string prefix = c.prefix;
        for (const auto& [rows, kind, first] :
             {std::tuple{panel.Speakers(), "speaker", 2}, std::tuple{panel.Microphones(), "mic", 4}}) {
            ASSERT_EQ(rows.size(), 2u);
            for (size_t i = 0; i < 2; ++i) {
                const bool ticked = r[static_cast<size_t>(first) + i] != 0;
                EXPECT_EQ(rows[i].Selected(), ticked) << kind << i;
                EXPECT_EQ(rows[i].icon->isEnabled(), ticked) << kind << i;
                EXPECT_EQ(rows[i].volume_value->text(), std::to_string(rows[i].Volume()));
                EXPECT_EQ(Stored(prefix + "_" + kind + "_" + std::to_string(i) + "_sel"), ticked ? 1u : 0u);
            }
        }
        EXPECT_FALSE(Stored(prefix + "_audio_quality"));  // reading writes nothing
    }
    EXPECT_EQ(Desktop().VideoQuality(), reads[0][0]);
    EXPECT_EQ(Camera().VideoQuality(), reads[2][0]);
    EXPECT_FALSE(Box(Desktop(), 0).isSelected() || Box(Desktop(), 1).isSelected());
    EXPECT_EQ(Camera().SelectedCamera(), 0);
    EXPECT_FALSE(Box(Camera(), 1).isSelected());

    // A quality moved is shown and stored at once.
    Move(dynamic_cast<toolkit::Slider&>(Named(Desktop(), "video_quality_slider")), 77);
    EXPECT_EQ(Named(Desktop(), "video_quality_val").text(), "77");
    EXPECT_EQ(Stored("desktop_video_quality"), 77u);
    EXPECT_EQ(Desktop().VideoQuality(), 77);
}

TEST_F(SourcePanels, StoredValuesOutsideTheirRangesShowTheDefaultsWhileAStoredVolumeOfZeroIsKept) {
    Store("desktop_video_quality", 0);
    Store("desktop_audio_quality", 101);
    Store("camera_video_quality", 1);
    Store("audio_audio_quality", 100);
    Store("desktop_speaker_0_vol", 0);
    Store("desktop_mic_1_vol", 101);
    Store("desktop_mic_1_sel", 1);
    Store("desktop_speaker_0_sel", 2);
    Store("desktop_camera_1_sel", 1);
    Store("camera_sel_index", 2);  // as many cameras as there are
    Build(Devices(1, 2, {"Cam 0", "Cam 1"}));
    EXPECT_EQ(Desktop().VideoQuality(), 55);
    EXPECT_EQ(Desktop().AudioQuality(), 50);
    EXPECT_EQ(Camera().VideoQuality(), 1);
    EXPECT_EQ(Audio().AudioQuality(), 100);
    EXPECT_EQ(Desktop().Speakers()[0].Volume(), 0);
    EXPECT_EQ(Desktop().Speakers()[0].volume_value->text(), "0");
    EXPECT_TRUE(Desktop().Speakers()[0].Selected());  // 2 is no selection: the default
    EXPECT_EQ(Desktop().Microphones()[1].Volume(), 100);
    EXPECT_TRUE(Desktop().Microphones()[1].Selected());
    EXPECT_TRUE(Box(Desktop(), 1).isSelected());
    EXPECT_EQ(Camera().SelectedCamera(), 0);
    EXPECT_EQ(Stored("desktop_video_quality"), 0u);  // left as it was
}

TEST_F(SourcePanels, AStoredCameraIndexBelowTheCountChoosesThatCameraAlone) {
    Store("camera_sel_index", 1);
    Build(Devices(1, 1, {"Cam 0", "Cam 1"}));
    EXPECT_EQ(Camera().SelectedCamera(), 1);
    EXPECT_FALSE(Box(Camera(), 0).isSelected());
}

TEST_F(SourcePanels, FourCamerasShowThreeBoxesAndTheListButtonWhoseDropDownHoldsTheFourth) {
    Build(Devices(1, 1, {"Cam 0", "Cam 1", "Cam 2", "Cam 3"}));
    for (SourcePanel* panel : std::initializer_list<SourcePanel*>{&Desktop(), &Camera()}) {
        SCOPED_TRACE(std::string(panel->name()));
        toolkit::Control& button = Named(*panel, "camera_list_btn");
        ASSERT_TRUE(button.isVisible());
        auto* row = dynamic_cast<toolkit::Container*>(button.parent());
        ASSERT_NE(row, nullptr);
        ASSERT_EQ(row->count(), 4);
        const std::span<const CameraRow> cameras = panel->CameraRows();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(row->itemAt(i), cameras[static_cast<size_t>(i)].select_box);
        EXPECT_EQ(row->itemAt(3), &button);
        EXPECT_EQ(cameras[3].select_box->parent(), nullptr);
        for (int i = 0; i < 4; ++i) {
            const toolkit::Option& box = *cameras[static_cast<size_t>(i)].select_box;
            EXPECT_EQ(box.text(), "摄像头 " + std::to_string(i + 1));
            EXPECT_EQ(box.padding(), i < 2 ? QMargins(0, 0, 18, 0) : QMargins(0, 0, 3, 0)) << i;
            EXPECT_EQ(box.toolTip(), "Cam " + std::to_string(i) + (i == 0 ? kHint : ""));
            EXPECT_EQ(box.group(), panel == &Camera() ? "camera_area_group" : "") << i;
        }
        ASSERT_TRUE(button.activate());
        ASSERT_NE(panel->PopList(), nullptr);
        EXPECT_EQ(panel->PopList()->geometry().size(), QSize(120 + 32, 28 + 16));
        ASSERT_EQ(panel->PopList()->Root()->count(), 1);
        EXPECT_EQ(panel->PopList()->Root()->itemAt(0), cameras[3].select_box);
        panel->ClosePopList();
    }
}

TEST_F(SourcePanels, ThreeCamerasAllFitIntoTheRowWithoutAListButton) {
    Build(Devices(1, 1, {"Cam 0", "Cam 1", "Cam 2"}));
    toolkit::Control& button = Named(Camera(), "camera_list_btn");
    EXPECT_FALSE(button.isVisible());
    EXPECT_EQ(dynamic_cast<toolkit::Container&>(*button.parent()).indexOf(&button), 3);
    EXPECT_EQ(Box(Camera(), 2).parent(), button.parent());
}

TEST_F(SourcePanels, InSoundModeTheStartControlFollowsWhetherAnySoundDeviceIsTicked) {
    Build(Devices(2, 1));
    Page().SetMode(1, -1);
    toolkit::Control& start = Named(Page(), "start_stop_btn");
    const SourceRow& speaker = Audio().Speakers()[0];
    const SourceRow& mic = Audio().Microphones()[0];
    ASSERT_TRUE(speaker.Selected() && mic.Selected());
    ASSERT_TRUE(speaker.select_box->activate());
    EXPECT_TRUE(start.isEnabled());
    ASSERT_TRUE(mic.select_box->activate());
    EXPECT_FALSE(Audio().AnySoundSourceSelected());
    EXPECT_FALSE(start.isEnabled());
    ASSERT_TRUE(Audio().Speakers()[1].select_box->activate());
    EXPECT_TRUE(start.isEnabled());

    // The screen panel leaves the start control alone.
    Page().SetMode(0, 1);
    start.setEnabled(true);
    ASSERT_TRUE(Desktop().Speakers()[0].select_box->activate());
    EXPECT_TRUE(Desktop().SoundSources().empty());
    EXPECT_TRUE(start.isEnabled());
}

// A page that only listens: what a panel tells the page that holds it.
class StandInPage : public PanelHost {
  public:
    [[nodiscard]] int RecordingState() const override { return 0; }
    [[nodiscard]] int Mode() const override { return 1; }
    void EnableStartFor(int mode, bool any_selected) override { starts.emplace_back(mode, any_selected); }
    void SetSourceVolume(const SourceRow& row, int volume) override { volumes.emplace_back(&row, volume); }
    std::vector<std::pair<int, bool>> starts;
    std::vector<std::pair<const SourceRow*, int>> volumes;
};

// The sound-only panel works with any page: it reports once when Init has built both lists, then
// after every tick whether anything is left to record, and every volume a slider moves to.
TEST_F(SourcePanels, TheSoundPanelTellsAStandInPageOfItsSelectionAndItsVolumes) {
    BuildLayout(Devices(2, 1));
    StandInPage page;
    ASSERT_TRUE(Audio().Init(page).ok());
    ASSERT_EQ(page.starts.size(), 1u);
    EXPECT_EQ(page.starts[0], (std::pair{1, true}));  // the defaults tick the first rows
    const SourceRow& speaker = Audio().Speakers()[0];
    const SourceRow& mic = Audio().Microphones()[0];
    ASSERT_TRUE(speaker.select_box->activate());
    ASSERT_TRUE(mic.select_box->activate());
    EXPECT_EQ(page.starts.back(), (std::pair{1, false}));
    const SourceRow& second = Audio().Speakers()[1];
    ASSERT_TRUE(second.select_box->activate());
    EXPECT_EQ(page.starts.back(), (std::pair{1, true}));
    EXPECT_TRUE(page.volumes.empty());
    Move(*second.volume_slider, 37);
    ASSERT_EQ(page.volumes.size(), 1u);
    EXPECT_EQ(page.volumes[0].first, &second);
    EXPECT_EQ(page.volumes[0].second, 37);
}

TEST_F(SourcePanels, InCameraModeClosingThePreviewTurnsTheLabelRedUntilADoubleClickShowsItAgain) {
    Build(Devices(0, 1, {kVirtualCamera, "Cam 1"}));
    Page().SetMode(2, -1);
    CCameraWnd* preview = Camera().Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->Name(), kVirtualCamera);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(Named(Page(), "start_stop_btn").isEnabled());

    PressClose(*preview);
    ASSERT_TRUE(PumpUntil([&] { return !Camera().PreviewShown(); }));
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(Box(Camera(), 0).textColor(), kRed);

    // Another camera goes into the same, still hidden, preview and takes the red label along.
    ASSERT_TRUE(Box(Camera(), 1).activate());
    EXPECT_EQ(Stored("camera_sel_index"), 1u);
    EXPECT_FALSE(Box(Camera(), 0).isSelected());
    EXPECT_EQ(Camera().Preview(), preview);
    EXPECT_EQ(preview->Name(), "Cam 1");
    EXPECT_EQ(preview->Index(), 1);
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(Box(Camera(), 0).textColor(), kGrey);
    EXPECT_EQ(Box(Camera(), 1).textColor(), kRed);

    Manager().doubleClick(Box(Camera(), 1).rect().center());
    EXPECT_TRUE(Camera().PreviewShown());
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(Box(Camera(), 1).textColor(), kGrey);

    Page().SetMode(0, 2);  // leaving the mode releases the preview
    EXPECT_EQ(Camera().Preview(), nullptr);
}

TEST_F(SourcePanels, ARecordingBorrowsThePreviewsCameraOnceAndNothingWithoutAPreview) {
    Build(Devices(0, 1, {kVirtualCamera}));
    std::function<engine::CCamera*()> without = Camera().CameraForRecording();
    EXPECT_EQ(without(), nullptr);  // the panel was never shown
    Page().SetMode(2, -1);
    CCameraWnd* preview = Camera().Preview();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return preview->Ready(); }));
    ASSERT_EQ(preview->OpenResult(), 0u) << preview->StatusText();
    std::function<engine::CCamera*()> borrow = Camera().CameraForRecording();
    engine::CameraRef camera = engine::CameraRef::Adopt(borrow());
    EXPECT_TRUE(camera);
    EXPECT_EQ(borrow(), nullptr);
}

TEST_F(SourcePanels, OnTheScreenPanelEveryTickedCameraHasAWindowUntilItIsUntickedClosedOrThePanelHidden) {
    Store("desktop_camera_1_sel", 1);
    Build(Devices(1, 0, {kVirtualCamera, "Cam 1"}));
    EXPECT_EQ(Desktop().CameraWindow(1), nullptr);  // set-up opens nothing
    Desktop().ShowPanel(true);
    ASSERT_NE(Desktop().CameraWindow(1), nullptr);
    EXPECT_EQ(Desktop().CameraWindow(1)->Name(), "Cam 1");
    EXPECT_TRUE(Desktop().CameraWindow(1)->isVisible());
    EXPECT_EQ(Desktop().CameraWindow(0), nullptr);

    ASSERT_TRUE(Box(Desktop(), 0).activate());
    CCameraWnd* first = Desktop().CameraWindow(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Index(), 0);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Stored("desktop_camera_0_sel"), 1u);

    PressClose(*first);  // unticks its camera
    ASSERT_TRUE(PumpUntil([&] { return Desktop().CameraWindow(0) == nullptr; }));
    EXPECT_FALSE(Box(Desktop(), 0).isSelected());
    EXPECT_EQ(Stored("desktop_camera_0_sel"), 0u);

    Desktop().ShowPanel(false);
    EXPECT_EQ(Desktop().CameraWindow(1), nullptr);
    EXPECT_TRUE(Box(Desktop(), 1).isSelected());
    Desktop().ShowPanel(true);
    EXPECT_NE(Desktop().CameraWindow(1), nullptr);
    EXPECT_EQ(Desktop().CameraWindow(0), nullptr);
}

// The live volume path up to the session: the record page hands the row of a moved slider to the
// session, which finds the input it opened for that row's entry.
TEST_F(SourcePanels, TheTickedRowsBecomeTheEntriesOfASessionWhoseInputsTheRowsThenReach) {
    Build(Devices(2, 2));
    const std::span<const SourceRow> mics = Audio().Microphones();
    ASSERT_TRUE(Audio().Speakers()[0].select_box->activate());  // unticks the default speaker
    ASSERT_TRUE(mics[1].select_box->activate());
    Move(*mics[1].volume_slider, 30);
    EXPECT_EQ(Stored("audio_mic_1_vol"), 30u);

    std::vector<engine::SoundSourceEntry> entries = Audio().SoundSources();
    ASSERT_EQ(entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(entries[i].kind, 1);
        EXPECT_EQ(entries[i].row, &mics[i]);
        EXPECT_STREQ(entries[i].endpoint_id, ("mic" + std::to_string(i)).c_str());
    }
    EXPECT_EQ(entries[0].volume, 100);
    EXPECT_EQ(entries[1].volume, 30);

    platform::FakeAudioSystem system;
    std::vector<std::shared_ptr<platform::FakeAudioDevice>> devices;
    for (const char* id : {"mic0", "mic1"}) {
        platform::FakeDeviceScript script;
        script.kind = platform::AudioDeviceKind::kMicrophone;
        script.id = id;
        script.name = id;
        script.accepted = {{platform::SampleType::kFloat, 32, 2, 0x3, 48000}};
        script.mix_format = script.accepted.front();
        devices.push_back(system.AddDevice(script));
    }
    platform::ManualClock clock;
    test::TempFolder folder;
    std::unique_ptr<engine::CCapture> session = engine::CCapture::Create(folder.File("x.m4a"), clock).value();
    entries.push_back({});
    ASSERT_TRUE(session
                    ->AddAudioStream("ac3", engine::AudioRateTriple(engine::AudioBitRateB(70)),
                                     entries.data(), system)
                    .ok());
    session->EndSetUp();
    EXPECT_FLOAT_EQ(devices[1]->Gain(), 0.3f);
    session->SetSourceVolume(&mics[0], 45);
    EXPECT_FLOAT_EQ(devices[0]->Gain(), 0.45f);
    EXPECT_FLOAT_EQ(devices[1]->Gain(), 0.3f);
}

}  // namespace
}  // namespace vexa::ui
