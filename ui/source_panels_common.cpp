#include "ui/source_panels_common.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "platform/log/log.h"
#include "toolkit/paint_manager.h"
#include "ui/shell.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

constexpr const char* kSoundItemLayout = "audio_list_item.xml";
constexpr const char* kCameraItemLayout = "camera_list_item.xml";

constexpr const char* kMicSliderTip = "0至100, 录制该麦克风音量";
constexpr const char* kMicIconImages =
    "normalimage=\"file='microphone.png' source='15,0,30,23' dest='5,2,20,25'\" "
    "disabledimage=\"file='microphone.png' source='0,0,15,23'  dest='5,2,20,25'\"";
constexpr const char* kFirstCameraHint =
    "\r\n如果找不到摄像头窗口了, 请选中摄像头后,\r\n按下Ctrl+Alt点击左边的标签来回切换几次";
// Boxes from position 2 on leave less room on their right than the item file's 18 pixels.
constexpr QMargins kLaterCameraBoxPadding(0, 0, 3, 0);

// The drop-downs: attributes of their root layout and what they add to the items' size.
struct PopListStyle {
    const char* attributes;
    int extra_width;
    int extra_height;
};
constexpr PopListStyle kSoundPopList{R"(bordersize="1" bordercolor="#FF656565" bkcolor="#FF303030")", 6, 16};
constexpr PopListStyle kCameraPopList{
    R"(inset="18, 8, 1, 1" bordersize="1" bordercolor="#FF656565" bkcolor="#FF303030")", 32, 16};

// Names of the fixed controls of position 0 and of the list's button, by kind.
struct SoundNames {
    const char* text;  // the box's text, "%s" standing for the position
    const char* select_box;
    const char* icon;
    const char* slider;
    const char* value;
    const char* list_button;
};
constexpr SoundNames kSpeakerNames{"扬声器 %s",          "speaker_select_box", "speaker_icon",
                                   "speaker_vol_slider", "speaker_vol_value",  "speaker_list_btn"};
constexpr SoundNames kMicNames{"麦克风 %s",      "mic_select_box", "mic_icon",
                               "mic_vol_slider", "mic_vol_value",  "mic_list_btn"};
const SoundNames& NamesOf(SoundKind kind) {
    return kind == SoundKind::kSpeaker ? kSpeakerNames : kMicNames;
}

Error Missing(std::string_view panel, std::string_view what) {
    return Error(ErrorCode::kNotFound, std::string(panel) + ": control " + std::string(what) + " is missing");
}

settings::SettingsKey* SettingsStore() {
    Shell* shell = Shell::Get();
    return shell ? &shell->Settings() : nullptr;
}

// The row index a control's tag names, when it lies below `count`.
std::optional<size_t> TagIndex(const toolkit::Control* sender, size_t count) {
    if (!sender || sender->tag() < 0 || static_cast<size_t>(sender->tag()) >= count) return std::nullopt;
    return static_cast<size_t>(sender->tag());
}

}  // namespace

uint32_t ReadPanelSetting(const settings::Setting& setting, int position, uint32_t count) {
    const settings::SettingsKey* store = SettingsStore();
    return store ? settings::ReadSetting(*store, setting, position, count)
                 : settings::DefaultOf(setting, position);
}

void StorePanelSetting(const settings::Setting& setting, uint32_t value, int position) {
    if (settings::SettingsKey* store = SettingsStore())
        settings::StoreSetting(*store, setting, value, position);
}

Error RequireControls(toolkit::Control& panel, std::string_view panel_name,
                      std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (!toolkit::findChild(panel, name)) return Missing(panel_name, name);
    }
    return {};
}

void SetBoxTextColor(toolkit::Option& box, uint32_t argb) {
    box.setTextColor(QColor::fromRgba(argb));
}

void ReplaySelectChanged(toolkit::Control& box) {
    toolkit::Notification made_up;
    made_up.type = "selectchanged";
    made_up.sender = &box;
    box.runNotifyHandlers(made_up);
}

SourcePanel::SourcePanel(std::string_view panel_name, const PanelKeys& keys,
                         toolkit::CreateControlFn create_control)
    : panel_name_(panel_name), keys_(keys), create_control_(std::move(create_control)) {
    sound_[0].kind = SoundKind::kSpeaker;
    sound_[0].selection = keys.speaker_selection;
    sound_[0].volume = keys.speaker_volume;
    sound_[1].kind = SoundKind::kMicrophone;
    sound_[1].selection = keys.mic_selection;
    sound_[1].volume = keys.mic_volume;
}

SourcePanel::~SourcePanel() {
    ClosePopList();
}

std::vector<engine::SoundSourceEntry> SourcePanel::SoundSources() const {
    std::vector<engine::SoundSourceEntry> entries;
    for (const SoundList& list : sound_) {
        for (const SourceRow& row : list.rows) {
            if (!row.Selected()) continue;
            entries.push_back({.kind = static_cast<uint8_t>(row.kind),
                               .volume = engine::ClampVolume(row.Volume()),
                               .endpoint_id = row.device->id.c_str(),
                               .row = &row,
                               .name = row.device->name.c_str()});
        }
    }
    return entries;
}

std::vector<std::string> SourcePanel::UntickSoundRows(const std::vector<const void*>& rows) {
    std::vector<std::string> names;
    for (SoundList& list : sound_) {
        for (SourceRow& row : list.rows) {
            if (!row.Selected() || std::find(rows.begin(), rows.end(), &row) == rows.end()) continue;
            row.select_box->setSelected(false, true);  // its handler stores the choice
            names.push_back(row.device->name);
        }
    }
    return names;
}

int SourcePanel::AudioQuality() const {
    return quality_[1].slider ? quality_[1].slider->value()
                              : static_cast<int>(settings::DefaultOf(*keys_.audio_quality));
}

int SourcePanel::VideoQualityValue() const {
    if (quality_[0].slider) return quality_[0].slider->value();
    return keys_.video_quality ? static_cast<int>(settings::DefaultOf(*keys_.video_quality)) : 0;
}

void SourcePanel::ClosePopList() {
    pop_list_.reset();  // its window gives the rows back to the main window as it goes
}

CPopListWnd* SourcePanel::PopList() const {
    return pop_list_ && pop_list_->isCreated() ? pop_list_.get() : nullptr;
}

// --- quality -----------------------------------------------------------------------------------------

Error SourcePanel::InitQuality() {
    if (keys_.video_quality) {
        if (Error e = InitQualityControl(quality_[0], "video_quality_slider", "video_quality_val",
                                         keys_.video_quality);
            !e.ok())
            return e;
    }
    return InitQualityControl(quality_[1], "audio_quality_slider", "audio_quality_val", keys_.audio_quality);
}

Error SourcePanel::InitQualityControl(Quality& quality, const char* slider, const char* value,
                                      const settings::Setting* key) {
    quality.slider = dynamic_cast<toolkit::Slider*>(toolkit::findChild(*this, slider));
    quality.value = toolkit::findChild(*this, value);
    if (!quality.slider) return Missing(panel_name_, slider);
    if (!quality.value) return Missing(panel_name_, value);
    quality.key = key;
    const int stored = static_cast<int>(ReadPanelSetting(*key));
    quality.slider->setValue(stored);
    quality.value->setText(std::to_string(stored));
    quality.slider->addNotifyHandler([this](toolkit::Notification& n) { return OnPanelNotify(n); });
    return {};
}

// --- speakers and microphones -------------------------------------------------------------------------

Error SourcePanel::InitSoundLists() {
    const Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kUnavailable, panel_name_ + ": there is no main window");
    if (Error e = InitSoundList(sound_[0], shell->Devices().speakers); !e.ok()) return e;
    if (Error e = InitSoundList(sound_[1], shell->Devices().microphones); !e.ok()) return e;
    // Told once every row of both lists exists: a handler may look at all of them.
    OnSoundSelection();
    return {};
}

Error SourcePanel::InitSoundList(SoundList& list, const std::vector<engine::EndpointRecord>& devices) {
    const SoundNames& names = NamesOf(list.kind);
    list.list_button = toolkit::findChild(*this, names.list_button);
    if (!list.list_button) return Missing(panel_name_, names.list_button);
    if (devices.empty()) {
        auto* box = dynamic_cast<toolkit::Option*>(toolkit::findChild(*this, names.select_box));
        if (!box) return Missing(panel_name_, names.select_box);
        box->setSelected(false, true);
        for (const char* name : {names.select_box, names.icon, names.slider, names.value}) {
            if (toolkit::Control* control = toolkit::findChild(*this, name)) control->setEnabled(false);
        }
    } else {
        list.rows.resize(devices.size());  // once: rows never move afterwards
        for (size_t i = 0; i < devices.size(); ++i) {
            SourceRow& row = list.rows[i];
            row.kind = list.kind;
            row.position = static_cast<int>(i);
            row.device = &devices[i];
            if (Error e = BindSoundRow(list, row); !e.ok()) return e;
        }
    }
    list.list_button->setVisible(list.rows.size() > 1);
    list.list_button->addNotifyHandler([this](toolkit::Notification& n) { return OnPanelNotify(n); });
    return {};
}

// Finds the row's controls (the panel's fixed ones for position 0, a new item's for the others),
// shows the stored choice and connects the handlers.
Error SourcePanel::BindSoundRow(SoundList& list, SourceRow& row) {
    const SoundNames& names = NamesOf(list.kind);
    toolkit::Control* scope = this;
    const bool fixed = row.position == 0;
    if (!fixed) {
        Result<std::unique_ptr<toolkit::Control>> built = BuildItem(kSoundItemLayout);
        if (!built.ok()) return built.error().Within(panel_name_);
        row.container = std::move(built).value();
        scope = row.container.get();
    }
    auto find = [&](const char* fixed_name, const char* item_name) {
        return toolkit::findChild(*scope, fixed ? fixed_name : item_name);
    };
    row.select_box = dynamic_cast<toolkit::Option*>(find(names.select_box, "select_box"));
    row.icon = dynamic_cast<toolkit::Button*>(find(names.icon, "icon"));
    row.volume_slider = dynamic_cast<toolkit::Slider*>(find(names.slider, "vol_slider"));
    row.volume_value = find(names.value, "vol_value");
    if (!row.select_box || !row.icon || !row.volume_slider || !row.volume_value) {
        return Missing(panel_name_, std::string(fixed ? "the first " : "a further ") +
                                        (list.kind == SoundKind::kSpeaker ? "speaker" : "microphone") +
                                        " row's box, icon, slider or value");
    }

    row.select_box->setText(toolkit::TrFormat(names.text, {std::to_string(row.position + 1)}));
    row.select_box->setToolTip(row.device->name);
    if (list.kind == SoundKind::kMicrophone) {
        row.volume_slider->setToolTip(toolkit::Tr(kMicSliderTip));
        row.icon->applyAttributeList(kMicIconImages);
    }
    row.select_box->setSelected(ReadPanelSetting(*list.selection, row.position) != 0, false);
    const int volume = static_cast<int>(ReadPanelSetting(*list.volume, row.position));
    row.volume_slider->setValue(volume);
    row.volume_value->setText(std::to_string(row.volume_slider->value()));

    row.select_box->setTag(row.position);
    row.volume_slider->setTag(row.position);
    row.select_box->addNotifyHandler([this, &list](toolkit::Notification& n) {
        OnRowSelect(list, n);
        return true;
    });
    row.volume_slider->addNotifyHandler([this, &list](toolkit::Notification& n) {
        OnRowVolume(list, n);
        return true;
    });
    // The enabled state follows the selection from the start; the panel hears of the selection only
    // when every row is built (InitSoundLists), since later rows do not exist yet.
    ShowRowSelection(list, row);
    return {};
}

Result<std::unique_ptr<toolkit::Control>> SourcePanel::BuildItem(const std::string& layout) {
    if (!manager()) return Error(ErrorCode::kInvalidArgument, layout + ": the panel is in no window");
    return toolkit::buildLayout(layout, *manager(), create_control_);
}

SourceRow* SourcePanel::RowOf(SoundList& list, const toolkit::Notification& n, bool by_slider) {
    const std::optional<size_t> index = TagIndex(n.sender, list.rows.size());
    if (!index) return nullptr;
    SourceRow& row = list.rows[*index];
    const toolkit::Control* expected = by_slider ? static_cast<const toolkit::Control*>(row.volume_slider)
                                                 : static_cast<const toolkit::Control*>(row.select_box);
    return n.sender == expected ? &row : nullptr;
}

void SourcePanel::OnRowSelect(SoundList& list, const toolkit::Notification& n) {
    if (n.type != "selectchanged") return;
    SourceRow* row = RowOf(list, n, false);
    if (!row) return;
    ShowRowSelection(list, *row);
    OnSoundSelection();
}

// The row's icon and volume are enabled exactly while it is ticked; the tick is stored.
void SourcePanel::ShowRowSelection(const SoundList& list, SourceRow& row) {
    const bool selected = row.Selected();
    row.icon->setEnabled(selected);
    row.volume_slider->setEnabled(selected);
    row.volume_value->setEnabled(selected);
    StorePanelSetting(*list.selection, selected ? 1 : 0, row.position);
}

void SourcePanel::OnRowVolume(SoundList& list, const toolkit::Notification& n) {
    if (n.type != "valuechanged") return;
    SourceRow* row = RowOf(list, n, true);
    if (!row) return;
    const int volume = row->Volume();
    row->volume_value->setText(std::to_string(volume));
    StorePanelSetting(*list.volume, static_cast<uint32_t>(volume), row->position);
    OnSoundVolume(*row, volume);
}

// --- cameras -------------------------------------------------------------------------------------------

Error SourcePanel::BuildCameraRows() {
    const Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kUnavailable, panel_name_ + ": there is no main window");
    auto* first = dynamic_cast<toolkit::Option*>(toolkit::findChild(*this, "camera_select_box"));
    camera_list_button_ = toolkit::findChild(*this, "camera_list_btn");
    if (!first) return Missing(panel_name_, "camera_select_box");
    if (!camera_list_button_) return Missing(panel_name_, "camera_list_btn");
    auto* camera_row = dynamic_cast<toolkit::Container*>(camera_list_button_->parent());
    if (!camera_row) return Missing(panel_name_, "the camera row around camera_list_btn");

    const std::vector<platform::CameraInfo>& devices = shell->Devices().cameras;
    if (devices.empty()) {
        first->setSelected(false, true);
        first->setEnabled(false);
    }
    cameras_.resize(devices.size());  // once: rows never move afterwards
    for (size_t i = 0; i < devices.size(); ++i) {
        CameraRow& row = cameras_[i];
        row.device = &devices[i];
        if (i == 0) {
            row.select_box = first;
        } else {
            Result<std::unique_ptr<toolkit::Control>> built = BuildItem(kCameraItemLayout);
            if (!built.ok()) return built.error().Within(panel_name_);
            row.select_box =
                dynamic_cast<toolkit::Option*>(toolkit::findChild(*built.value(), "camera_select_box"));
            if (!row.select_box)
                return Missing(panel_name_, std::string(kCameraItemLayout) + " camera_select_box");
            row.own_box = std::move(built).value();
        }
        row.select_box->setText(toolkit::TrFormat("摄像头 %s", {std::to_string(i + 1)}));
        if (i >= 2) row.select_box->setPadding(kLaterCameraBoxPadding);
        row.select_box->setToolTip(i == 0 ? row.device->name + toolkit::Tr(kFirstCameraHint)
                                          : row.device->name);
        row.select_box->setTag(static_cast<std::intptr_t>(i));
    }
    // Positions 1 and 2 join the panel's camera row, ahead of the list button; the rest wait for
    // the drop-down.
    for (size_t i = 1; i < std::min<size_t>(cameras_.size(), kVisibleCameraBoxes); ++i)
        camera_row->addAt(std::move(cameras_[i].own_box), camera_row->indexOf(camera_list_button_));
    camera_list_button_->setVisible(cameras_.size() > kVisibleCameraBoxes);
    camera_list_button_->addNotifyHandler([this](toolkit::Notification& n) { return OnPanelNotify(n); });
    return {};
}

CameraRow* SourcePanel::CameraRowOf(const toolkit::Notification& n) {
    const std::optional<size_t> index = TagIndex(n.sender, cameras_.size());
    if (!index || cameras_[*index].select_box != n.sender) return nullptr;
    return &cameras_[*index];
}

// --- the panel's own notifications ----------------------------------------------------------------------

bool SourcePanel::OnPanelNotify(const toolkit::Notification& n) {
    if (n.type == "valuechanged") {
        for (Quality& quality : quality_) {
            if (!quality.slider || n.sender != quality.slider) continue;
            const int value = quality.slider->value();
            quality.value->setText(std::to_string(value));
            StorePanelSetting(*quality.key, static_cast<uint32_t>(value));
        }
    } else if (n.type == "click") {
        for (SoundList& list : sound_) {
            if (n.sender != list.list_button || list.rows.size() < 2) continue;
            std::vector<toolkit::Control*> items;
            for (size_t i = 1; i < list.rows.size(); ++i) items.push_back(list.rows[i].container.get());
            OpenPopList(*list.list_button, std::move(items), PopItemKind::kSoundRows,
                        kSoundPopList.attributes, kSoundPopList.extra_width, kSoundPopList.extra_height);
        }
        if (n.sender == camera_list_button_ && cameras_.size() > kVisibleCameraBoxes) {
            std::vector<toolkit::Control*> items;
            for (size_t i = kVisibleCameraBoxes; i < cameras_.size(); ++i)
                items.push_back(cameras_[i].select_box);
            OpenPopList(*camera_list_button_, std::move(items), PopItemKind::kCameraBoxes,
                        kCameraPopList.attributes, kCameraPopList.extra_width, kCameraPopList.extra_height);
        }
    }
    return true;
}

void SourcePanel::OpenPopList(toolkit::Control& anchor, std::vector<toolkit::Control*> items,
                              PopItemKind kind, std::string_view attributes, int extra_width,
                              int extra_height) {
    ClosePopList();
    auto pop_list = std::make_unique<CPopListWnd>();
    pop_list->SetSelfDelete(false);  // closing hides it; the panel deletes it
    if (Error e = pop_list->Init(&anchor, items, kind, attributes, extra_width, extra_height); !e.ok()) {
        log::Failure(e, panel_name_);
        return;
    }
    pop_list->show();
    pop_list_ = std::move(pop_list);
}

}  // namespace vexa::ui
