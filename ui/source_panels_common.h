// What the three source panels (screen, sound only, camera) share: the quality sliders, the speaker
// and microphone rows with their volumes, the camera boxes, and the drop-down that shows the rows
// which do not fit into the panel. Every choice is stored the moment it is made, under the panel's
// keys and the device's position in its list; a recording reads the live controls (SoundSources,
// the quality values), never the store.
//
// Rows: position 0 of each list uses the panel's fixed controls ("speaker_select_box", ...);
// positions 1 and up are rows built from "audio_list_item.xml" with the program's control factory,
// owned by the panel and shown only in the drop-down. Camera boxes 1 and 2 go into the panel's
// camera row (the layout owns them then); boxes 3 and up belong to the panel and show only in the
// drop-down. The row arrays are built once by Init and never resized, so a row's address
// identifies it for the rest of the process (a recording's SoundSourceEntry::row).
//
// Ownership: the panel owns its drop-down, its further rows and boxes, and its camera windows; it
// closes the drop-down before anything it borrowed goes. The device lists are the ui::Shell's and
// outlive the panels.
// Threads: user-interface thread only. A closed camera window is released on a short-lived thread
// of its own (CCameraWnd::ReleaseInBackground), which touches nothing of the panel.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_catalog.h"
#include "engine/audio/endpoint_record.h"
#include "engine/recording_params.h"
#include "platform/camera/camera_device.h"
#include "platform/error.h"
#include "toolkit/button.h"
#include "toolkit/container.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/slider.h"
#include "ui/camera_wnd.h"
#include "ui/panel_host.h"
#include "ui/pop_list_wnd.h"

namespace vexa::ui {

// kNotFound naming the first of `names` that `panel` lacks; success when all are there.
[[nodiscard]] Error RequireControls(toolkit::Control& panel, std::string_view panel_name,
                                    std::initializer_list<std::string_view> names);

// The settings store of the ui::Shell under the catalogue's read rule; the default without a shell.
// `count` bounds values below a device count.
[[nodiscard]] uint32_t ReadPanelSetting(const settings::Setting& setting, int position = 0,
                                        uint32_t count = std::numeric_limits<uint32_t>::max());
// Writes it at once; nothing without a shell.
void StorePanelSetting(const settings::Setting& setting, uint32_t value, int position = 0);

// The value kinds of SoundSourceEntry: 0 speaker (system sound), 1 microphone.
enum class SoundKind : uint8_t { kSpeaker = 0, kMicrophone = 1 };

// One speaker or microphone of a panel.
struct SourceRow {
    SoundKind kind = SoundKind::kSpeaker;
    int position = 0;
    toolkit::Option* select_box = nullptr;
    toolkit::Button* icon = nullptr;
    // Positions 1 and up: the row built from "audio_list_item.xml"; empty for position 0.
    std::unique_ptr<toolkit::Control> container;
    toolkit::Slider* volume_slider = nullptr;
    toolkit::Control* volume_value = nullptr;  // read-only edit showing the slider's value
    const engine::EndpointRecord* device = nullptr;

    [[nodiscard]] bool Selected() const { return select_box->isSelected(); }
    [[nodiscard]] int Volume() const { return volume_slider->value(); }
};

// One camera of the screen or camera panel.
struct CameraRow {
    toolkit::Option* select_box = nullptr;
    // Positions 3 and up: the box built from "camera_list_item.xml"; empty while the layout owns it.
    std::unique_ptr<toolkit::Control> own_box;
    // Screen panel: the camera's overlay window while the camera is ticked and the panel shown.
    std::unique_ptr<CCameraWnd> window;
    const platform::CameraInfo* device = nullptr;
};

// The store keys of a panel; a null video key for the sound-only panel.
struct PanelKeys {
    const settings::Setting* video_quality = nullptr;
    const settings::Setting* audio_quality = nullptr;
    const settings::Setting* speaker_selection = nullptr;
    const settings::Setting* speaker_volume = nullptr;
    const settings::Setting* mic_selection = nullptr;
    const settings::Setting* mic_volume = nullptr;
};

inline constexpr int kVisibleCameraBoxes = 3;  // the camera row shows positions 0 to 2

class SourcePanel : public toolkit::Container {
  public:
    ~SourcePanel() override;

    // --- read when a recording starts ---
    [[nodiscard]] std::span<const SourceRow> Speakers() const { return sound_[0].rows; }
    [[nodiscard]] std::span<const SourceRow> Microphones() const { return sound_[1].rows; }
    // The ticked rows, speakers first, each in position order: kind, volume slider, endpoint id of
    // the device list (valid for the process's life) and the row.
    [[nodiscard]] std::vector<engine::SoundSourceEntry> SoundSources() const;
    [[nodiscard]] int AudioQuality() const;
    // The cameras in position order (none in the sound-only panel).
    [[nodiscard]] std::span<const CameraRow> CameraRows() const { return cameras_; }

    // Unticks the ticked sound rows among `rows` (addresses of this panel's rows; others are ignored)
    // as the user would, so that the choice is stored; returns their devices' names.
    std::vector<std::string> UntickSoundRows(const std::vector<const void*>& rows);

    // Destroys the open drop-down, if any; the rows it showed come back to the main window.
    void ClosePopList();
    // The drop-down while its window is open, else null.
    [[nodiscard]] CPopListWnd* PopList() const;

  protected:
    // `create_control` builds the program's own controls of the row layouts.
    SourcePanel(std::string_view panel_name, const PanelKeys& keys, toolkit::CreateControlFn create_control);

    // Init's steps, in this order.
    [[nodiscard]] Error InitQuality();
    [[nodiscard]] Error InitSoundLists();
    // The camera boxes' texts, tooltips and places; the panel adds its own behaviour afterwards.
    [[nodiscard]] Error BuildCameraRows();

    [[nodiscard]] int VideoQualityValue() const;
    [[nodiscard]] std::span<CameraRow> Cameras() { return cameras_; }
    // The row whose box sent `n`, found by the box's tag; null when it is none of them.
    [[nodiscard]] CameraRow* CameraRowOf(const toolkit::Notification& n);
    [[nodiscard]] std::string_view PanelName() const { return panel_name_; }
    // The page that holds the panel, from the start of Init on (null before).
    void AttachHost(PanelHost& host) { host_ = &host; }
    [[nodiscard]] PanelHost* Host() const { return host_; }

    // Called after a speaker or microphone was ticked or unticked, and once when InitSoundLists has
    // built every row of both lists (never while a list is half built).
    virtual void OnSoundSelection() {}
    // Called after a row's volume slider moved.
    virtual void OnSoundVolume(const SourceRow& row, int volume) { (void)row, (void)volume; }

  private:
    struct SoundList {
        SoundKind kind = SoundKind::kSpeaker;
        const settings::Setting* selection = nullptr;
        const settings::Setting* volume = nullptr;
        std::vector<SourceRow> rows;
        toolkit::Control* list_button = nullptr;
    };
    struct Quality {
        toolkit::Slider* slider = nullptr;
        toolkit::Control* value = nullptr;
        const settings::Setting* key = nullptr;
    };

    [[nodiscard]] Error InitQualityControl(Quality& quality, const char* slider, const char* value,
                                           const settings::Setting* key);
    [[nodiscard]] Error InitSoundList(SoundList& list, const std::vector<engine::EndpointRecord>& devices);
    [[nodiscard]] Error BindSoundRow(SoundList& list, SourceRow& row);
    [[nodiscard]] Result<std::unique_ptr<toolkit::Control>> BuildItem(const std::string& layout);
    [[nodiscard]] SourceRow* RowOf(SoundList& list, const toolkit::Notification& n, bool by_slider);
    void OnRowSelect(SoundList& list, const toolkit::Notification& n);
    void ShowRowSelection(const SoundList& list, SourceRow& row);
    void OnRowVolume(SoundList& list, const toolkit::Notification& n);
    bool OnPanelNotify(const toolkit::Notification& n);
    void OpenPopList(toolkit::Control& anchor, std::vector<toolkit::Control*> items, PopItemKind kind,
                     std::string_view attributes, int extra_width, int extra_height);

    const std::string panel_name_;
    const PanelKeys keys_;
    const toolkit::CreateControlFn create_control_;
    PanelHost* host_ = nullptr;         // from Init on
    std::array<Quality, 2> quality_{};  // video (absent in the sound-only panel), audio
    std::array<SoundList, 2> sound_{};  // speakers, microphones
    std::vector<CameraRow> cameras_;
    toolkit::Control* camera_list_button_ = nullptr;
    // Last: goes first, so that the rows it borrowed are given back before they go.
    std::unique_ptr<CPopListWnd> pop_list_;
};

// Text colours of a camera box: normal, and the selected camera whose preview the user closed.
inline constexpr uint32_t kCameraBoxTextColor = 0xFFD0D0D0;
inline constexpr uint32_t kClosedPreviewTextColor = 0xFFD00000;
void SetBoxTextColor(toolkit::Option& box, uint32_t argb);

// Runs the box's own handlers with a made-up "selectchanged", as if its state had just changed.
void ReplaySelectChanged(toolkit::Control& box);

}  // namespace vexa::ui
